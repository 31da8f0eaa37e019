// qdxctl's frame commands: grab into each file kind, still, and stream health.
#include <gtest/gtest.h>
#include <png.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "BmpReader.h"
#include "CtlFixture.h"
#include "core/model/Settings.h"

namespace qdx::ctl::test {
namespace {

using nlohmann::json;
using std::chrono::milliseconds;

// A decoded picture, three bytes a pixel red-green-blue, rows top first.
struct Picture {
    int side = 0;
    bool grey = false;  // stored with one channel
    std::vector<uint8_t> rgb;

    const uint8_t* at(int x, int y) const { return &rgb[(static_cast<std::size_t>(y) * side + x) * 3]; }
    int luma(int x, int y) const { return (at(x, y)[0] + at(x, y)[1] + at(x, y)[2]) / 3; }
};

std::optional<Picture> readPng(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()) || image.width != image.height)
        return std::nullopt;
    Picture picture;
    picture.side = static_cast<int>(image.width);
    picture.grey = (image.format & PNG_FORMAT_FLAG_COLOR) == 0;
    image.format = PNG_FORMAT_RGB;
    picture.rgb.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, picture.rgb.data(), 0, nullptr))
        return std::nullopt;
    return picture;
}

std::optional<Picture> readNetpbm(const std::string& path)
{
    const std::string bytes = fileBytes(path);
    char magic[3] = {};
    int width = 0, height = 0, maxValue = 0, headerLength = 0;
    if (std::sscanf(bytes.c_str(), "%2s %d %d %d%n", magic, &width, &height, &maxValue, &headerLength) != 4 ||
        width != height || maxValue != 255)
        return std::nullopt;
    Picture picture;
    picture.side = width;
    picture.grey = std::string(magic) == "P5";
    const std::size_t channels = picture.grey ? 1 : 3;
    const std::size_t start = static_cast<std::size_t>(headerLength) + 1;  // one whitespace byte ends the header
    if (bytes.size() != start + static_cast<std::size_t>(width) * height * channels)
        return std::nullopt;
    for (std::size_t i = start; i < bytes.size(); i += channels)
        for (int c = 0; c < 3; ++c)
            picture.rgb.push_back(static_cast<uint8_t>(bytes[i + (picture.grey ? 0 : c)]));
    return picture;
}

// A BMP has three channels; a grey one has them equal.
std::optional<Picture> readBmpPicture(const std::string& path)
{
    const auto bmp = qdx::test::readBmp(path);
    if (!bmp || bmp->width != bmp->height)
        return std::nullopt;
    return Picture{bmp->width, bmp->grey(), bmp->rgb};
}

struct GrabCase {
    const char* file;
    std::vector<std::string> options;
    int side;     // 0: a raw frame
    bool grey;
    const char* command = "grab";
};

void PrintTo(const GrabCase& c, std::ostream* os)
{
    *os << c.command << " " << c.file << testing::PrintToString(c.options);
}

class CtlGrabTest : public CtlTest, public testing::WithParamInterface<GrabCase> {};

// Guards grab for each file kind, and still (the viewer's BMP): the size and
// channels the kind and format call for, rows top first and the 2-pixel border cut off unless --border
// (the chart's saturated red patch and its white and black grey patches read
// as such where the simulated camera shows them), a raw frame as received
// with its markers, and no temporary file left beside the result.
TEST_P(CtlGrabTest, WritesThePictureAsTheViewerShowsIt)
{
    const GrabCase& c = GetParam();
    QDXSim_SetScene(0);  // the colour chart
    TempDir dir;
    const std::string path = dir.file(c.file);
    std::vector<std::string> args{c.command, path};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const CtlRun run = runCtl(args);
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(dir.names(), std::vector<std::string>{c.file});

    if (c.side == 0) {
        const std::string frame = fileBytes(path);
        ASSERT_EQ(frame.size(), static_cast<std::size_t>(QDX_FRAME_BYTES));
        EXPECT_EQ(frame.substr(0, 4), std::string("\x00\xFF\x80\x00", 4));
        EXPECT_EQ(frame.substr(frame.size() - 4), std::string("\x00\xFF\x9D\x00", 4));
        return;
    }
    const std::string name = c.file;
    const auto picture = name.ends_with(".png")   ? readPng(path)
                         : name.ends_with(".bmp") ? readBmpPicture(path)
                                                  : readNetpbm(path);
    ASSERT_TRUE(picture.has_value()) << "not a readable picture";
    EXPECT_EQ(picture->side, c.side);
    EXPECT_EQ(picture->grey, c.grey);

    // Patch centres in camera pixels; the picture starts 2 pixels in when the border is cut off.
    const int shift = (QDX_FRAME_WIDTH - c.side) / 2;
    const auto at = [&](int x, int y) { return std::pair{x - shift, y - shift}; };
    const auto [whiteX, whiteY] = at(42, 174);
    const auto [blackX, blackY] = at(332, 174);
    EXPECT_GT(picture->luma(whiteX, whiteY), picture->luma(blackX, blackY) + 100);
    if (!c.grey) {
        const auto [redX, redY] = at(42, 221);
        const uint8_t* red = picture->at(redX, redY);
        EXPECT_GT(red[0], 150);
        EXPECT_LT(red[1], 90);
        EXPECT_LT(red[2], 90);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CtlGrabTest,
    testing::Values(GrabCase{"colour.ppm", {}, 400, false}, GrabCase{"grey.pgm", {}, 400, true},
                    GrabCase{"colour.png", {"--frames", "2"}, 400, false},
                    GrabCase{"luma.png", {"--format", "1"}, 400, true},
                    GrabCase{"border.png", {"--border"}, 404, false}, GrabCase{"frame.raw", {}, 0, false},
                    GrabCase{"still.bmp", {}, 400, false, "still"},
                    GrabCase{"calibration.bmp", {"--grey", "--border"}, 404, true, "still"}),
    [](const auto& test) {
        std::string name = test.param.file;
        return name.replace(name.find('.'), 1, "_");
    });

// A 16-bit Netpbm picture: its # lines as "key: value", and its samples.
struct DeepNetpbm {
    std::map<std::string, std::string> text;
    int side = 0;
    int channels = 0;
    std::vector<int> samples;  // channels a pixel, rows top first
};

std::optional<DeepNetpbm> readDeepNetpbm(const std::string& path)
{
    std::istringstream in(fileBytes(path));
    std::string magic, line;
    std::getline(in, magic);
    DeepNetpbm picture;
    while (in.peek() == '#' && std::getline(in, line))
        if (const auto colon = line.find(": "); colon != std::string::npos)
            picture.text[line.substr(2, colon - 2)] = line.substr(colon + 2);
    int height = 0, maxValue = 0;
    in >> picture.side >> height >> maxValue;
    in.get();  // one whitespace byte ends the header
    picture.channels = magic == "P5" ? 1 : 3;
    if (!in || picture.side != height || maxValue != 4095)
        return std::nullopt;
    for (int i = 0; i < picture.side * height * picture.channels; ++i) {
        const int high = in.get(), low = in.get();
        if (!in)
            return std::nullopt;
        picture.samples.push_back(high << 8 | low);
    }
    return picture;
}

// Guards --depth 16 against facts that are not the frame's own or not the
// camera's: each file names its frame by the library's process-wide index
// (a later grab, a later frame), its arrival on both clocks within the run,
// and every setting of the table with the value the camera has (exposure as
// --set left it); and against a picture that loses the 12 bits or the grab's
// side and grey decisions.
TEST_F(CtlTest, GrabAtDepth16NamesItsFrameAndTheCameraSettings)
{
    TempDir dir;
    const auto nowNs = [](auto clock) {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(clock.now().time_since_epoch()).count();
    };
    struct Deep {
        const char* file;
        std::vector<std::string> options;
        int side, channels;
    };
    const Deep kinds[] = {{"grey.pgm", {}, 400, 1}, {"border.ppm", {"--border"}, 404, 3}};
    unsigned long long previousIndex = 0;
    for (const Deep& k : kinds) {
        SCOPED_TRACE(k.file);
        std::vector<std::string> args{"--set", "exposure=300", "grab", dir.file(k.file), "--depth", "16"};
        args.insert(args.end(), k.options.begin(), k.options.end());
        const long long wallBefore = nowNs(std::chrono::system_clock());
        const long long monoBefore = nowNs(std::chrono::steady_clock());
        const CtlRun run = runCtl(args);
        const long long wallAfter = nowNs(std::chrono::system_clock());
        const long long monoAfter = nowNs(std::chrono::steady_clock());
        ASSERT_EQ(run.status, kExitOk) << run.err;
        const auto picture = readDeepNetpbm(dir.file(k.file));
        ASSERT_TRUE(picture.has_value()) << "not a 16-bit Netpbm picture";
        EXPECT_EQ(picture->side, k.side);
        EXPECT_EQ(picture->channels, k.channels);

        const unsigned long long index = std::stoull(picture->text.at("QDX frame index"));
        EXPECT_GT(index, previousIndex);
        previousIndex = index;
        const long long monotonic = std::stoll(picture->text.at("QDX monotonic ns"));
        EXPECT_TRUE(monotonic >= monoBefore && monotonic <= monoAfter) << monotonic;
        std::tm utc{};
        long long nanoseconds = -1;
        const std::string created = picture->text.at("Creation Time");
        std::istringstream(created) >> std::get_time(&utc, "%Y-%m-%dT%H:%M:%S");
        ASSERT_EQ(std::sscanf(created.c_str() + 19, ".%9lldZ", &nanoseconds), 1) << created;
        const long long wall = static_cast<long long>(timegm(&utc)) * 1000000000 + nanoseconds;
        EXPECT_TRUE(wall >= wallBefore && wall <= wallAfter) << created;
        const json settings = json::parse(picture->text.at("QDX settings"));
        for (const viewer::Setting& setting : viewer::settings())
            EXPECT_TRUE(settings.contains(setting.name)) << setting.name;
        EXPECT_EQ(settings.value("exposure", -1), 300);

        EXPECT_TRUE(std::any_of(picture->samples.begin(), picture->samples.end(), [](int v) { return v & 0xF; }))
            << "the low 4 bits are empty: 8-bit values scaled up";
    }
}

json streamJson(const std::vector<std::string>& args)
{
    const CtlRun run = runCtl(args);
    EXPECT_EQ(run.status, kExitOk) << run.err;
    const json summary = json::parse(run.out, nullptr, false);
    EXPECT_FALSE(summary.is_discarded()) << run.out;
    return summary;
}

// Guards csv: the frame count's files as the viewer names and writes them
// (400 lines of 400 values, 404 of 404 with --border, CR LF), listed on
// stdout, and the camera's colour data back afterwards.
TEST_F(CtlTest, CsvWritesTheViewersFilesAndPutsTheFormatBack)
{
    TempDir dir;
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> files;
        int side;
    } cases[] = {
        {{"csv", dir.file("scan.csv"), "--frames", "2"}, {"scan_001.csv", "scan_002.csv"}, 400},
        {{"csv", dir.file("edge.txt"), "--border"}, {"edge_001.csv"}, 404},
    };
    for (const auto& c : cases) {
        const CtlRun run = runCtl(c.args);
        ASSERT_EQ(run.status, kExitOk) << run.err;
        std::string listed;
        for (const std::string& name : c.files) {
            listed += dir.file(name) + ": " + std::to_string(c.side) + " x " + std::to_string(c.side) + " values\n";
            const std::string text = fileBytes(dir.file(name));
            std::size_t lines = 0, commas = 0;
            for (std::size_t i = 0; i < text.size(); ++i) {
                lines += text[i] == '\n' && i > 0 && text[i - 1] == '\r';
                commas += text[i] == ',';
            }
            EXPECT_EQ(lines, static_cast<std::size_t>(c.side)) << name;
            EXPECT_EQ(commas, static_cast<std::size_t>(c.side * (c.side - 1))) << name;
        }
        EXPECT_EQ(run.out, listed);
    }
    EXPECT_EQ(dir.names().size(), 3u);
    ASSERT_NO_FATAL_FAILURE(qdx::test::startConnected());
    int format = -1;
    EXPECT_EQ(QDX_Get_DataFormat(&format), QDX_OK);
    EXPECT_EQ(format, 0);
}

// Guards against stream rates on different bases (frames/s counted what the
// camera delivered, MB/s what was taken): the taken rates agree with each
// other and with the counts over the time streamed, the camera's rate is
// apart and named, the old keys keep their meanings, every frame taken was
// delivered by the camera (none counted twice), none damaged; and against
// frames left unseen before the stream began counted as skipped by it.
TEST_F(CtlTest, StreamFiguresAccountForTheFramesTaken)
{
    ASSERT_NO_FATAL_FAILURE(qdx::test::startConnected());
    ASSERT_NO_FATAL_FAILURE(qdx::test::waitForFrames(10));
    unsigned long long sentBefore = 0, sentAfter = 0;
    QDXSim_GetBulkStats(&sentBefore, nullptr, nullptr);
    const json s = streamJson({"stream", "--seconds", "1", "--json"});
    QDXSim_GetBulkStats(&sentAfter, nullptr, nullptr);

    const double seconds = s.value("seconds", 0.0);
    const long long taken = s.value("frames_taken", 0LL), delivered = s.value("frames_delivered", 0LL);
    EXPECT_GE(seconds, 1.0) << "ended before the time asked for";
    EXPECT_GE(taken, 1);
    // The index read at the start may already count the first frame taken.
    EXPECT_GE(delivered, taken - 1);
    // Each frame from the first taken to the last was taken or skipped.
    EXPECT_LE(taken + s.value("skipped_frames", 1000000LL), delivered + 1);
    EXPECT_LE(delivered, static_cast<long long>(sentAfter - sentBefore));
    const auto near = [](double value) { return 0.001 * value + 0.01; };  // the figures' rounding
    const double takenRate = static_cast<double>(taken) / seconds;
    const double deliveredRate = static_cast<double>(delivered) / seconds;
    const double megabytes = static_cast<double>(taken * QDX_FRAME_BYTES) / 1e6 / seconds;
    const struct {
        const char* key;
        double expected;
    } rates[] = {
        {"taken_frames_per_second", takenRate},      {"taken_megabytes_per_second", megabytes},
        {"delivered_frames_per_second", deliveredRate}, {"frames_per_second", deliveredRate},
        {"megabytes_per_second", megabytes},
    };
    for (const auto& rate : rates)
        EXPECT_NEAR(s.value(rate.key, -1.0), rate.expected, near(rate.expected)) << rate.key;
    const double takenMegabytes = s.value("taken_frames_per_second", 0.0) * double{QDX_FRAME_BYTES} / 1e6;
    EXPECT_NEAR(s.value("taken_megabytes_per_second", 0.0), takenMegabytes, near(takenMegabytes) * 2)
        << "one basis: the byte rate is the frame rate times the frame";
    EXPECT_LE(s.value("largest_gap_ms", 1e9), seconds * 1000 + 1);
    EXPECT_EQ(s.value("short_frames", -1), 0);
    EXPECT_EQ(s.value("damaged_frames", -1), 0);
    EXPECT_EQ(s.value("disconnections", -1), 0);
    EXPECT_EQ(s.value("reconnections", -1), 0);
}

// Guards the fault counts: short frames and frames with a wrong end marker
// are told apart (each stream sees only one kind, every frame of it), and an
// unplugged camera shows as one disconnection and one reconnection.
TEST_F(CtlTest, StreamCountsDamageAndReconnections)
{
    const struct {
        int kind;
        const char* counted;
        const char* other;
    } faults[] = {{1, "short_frames", "damaged_frames"}, {2, "damaged_frames", "short_frames"}};
    for (const auto& fault : faults) {
        QDXSim_InjectFrames(fault.kind, 1000000);
        const json s = streamJson({"stream", "--seconds", "1", "--json"});
        EXPECT_GE(s.value(fault.counted, 0), 1) << fault.counted;
        EXPECT_EQ(s.value(fault.counted, -1), s.value("frames_taken", -2)) << fault.counted;
        EXPECT_EQ(s.value(fault.other, -1), 0) << fault.counted;
    }
    QDXSim_InjectFrames(1, 0);

    std::thread plug([] {
        // Frames flowing: the stream has started counting. The camera then
        // stays away for four of the stream's status checks (one each 100 ms
        // at most), which cannot all be missed.
        if (!qdx::test::waitUntil([] { return qdx::test::frameIndex() >= 10; }, milliseconds(30000)))
            return;
        QDXSim_SetPlugged(0, 0);
        qdx::test::waitUntil([] { return qdx::test::status() == 0; }, milliseconds(30000));
        std::this_thread::sleep_for(milliseconds(400));
        QDXSim_SetPlugged(0, 1);
    });
    const json s = streamJson({"stream", "--seconds", "3", "--json"});
    plug.join();
    EXPECT_EQ(s.value("disconnections", -1), 1);
    EXPECT_EQ(s.value("reconnections", -1), 1);
}

}  // namespace
}  // namespace qdx::ctl::test
