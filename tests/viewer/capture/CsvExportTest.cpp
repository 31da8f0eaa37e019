// CSV export: the file names, the text against the plain fprintf version and
// the frame's words, the hand-over between the GUI and display threads, and
// whole exports through the display thread on the simulated camera.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <fstream>
#include <future>
#include <mutex>
#include <random>
#include <sstream>

#include "TempDir.h"
#include "api/SimCameraFixture.h"
#include "capture/CsvExport.h"
#include "live/DisplayLoop.h"
#include "viewer/FrameBuilder.h"
#include "viewer/capture/CsvReference.h"

namespace qdx::viewer::test {
namespace {

using qdx::test::TempDir;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string formatted(const std::vector<uint8_t>& frame, bool showBoundary)
{
    std::string text(kCsvMostBytes, '\0');
    text.resize(formatCsvFrame(frame.data(), showBoundary, text.data()));
    return text;
}

// A whole frame of random words, markers in place.
std::vector<uint8_t> randomFrame(unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> frame = makeFrame();
    for (std::size_t i = 2; i < kFrameWords - 2; ++i)
        setWord(frame, i, static_cast<uint16_t>(random()));
    return frame;
}

// Guards the name rule: the four-character extension goes, and nothing of
// a folder is ever cut off ("/tmp/ab" must not become "/t_001.csv").
TEST(CsvFileName, KeepsTheFolderAndNumbersFromOne)
{
    const struct {
        const char* chosen;
        int number;
        const char* file;
    } cases[] = {
        {"scan.csv", 1, "scan_001.csv"},           {"scan.csv", 12, "scan_012.csv"},
        {"data.txt", 1, "data_001.csv"},           {"/tmp/ab", 1, "/tmp/ab_001.csv"},
        {"/tmp/abcd", 2, "/tmp/abcd_002.csv"},     {"/tmp/x.dir/noext", 3, "/tmp/x.dir/noext_003.csv"},
        {"/tmp/.csv", 1, "/tmp/.csv_001.csv"},     {"d/scan.csv", 1000, "d/scan_1000.csv"},
        {"a", 1, "a_001.csv"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(csvFileName(c.chosen, c.number), c.file) << c.chosen << " " << c.number;
}

class CsvText : public ::testing::TestWithParam<bool> {};

// Guards the file's text: byte for byte what one fprintf per value writes,
// and independently: 400 x 400 or 404 x 404 values, each the pixel's luma
// word (word 2x + 1 of the row) shifted right by 4, commas between values
// only, CR LF after every line.
TEST_P(CsvText, MatchesFprintfAndTheFrameWords)
{
    const bool border = GetParam();
    std::vector<uint8_t> frame = randomFrame(7);
    // Luma of pixels 2, 3, 4 of row 2: the edges of the shift.
    setPair(frame, 2, 1, {0x1230, 0xFFF0, 0x4560, 0x0010});
    setPair(frame, 2, 2, {0x7890, 0x000F, 0x0000, 0x8000});
    const std::string text = formatted(frame, border);

    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    writeCsvWithFprintf(file, frame.data(), border);
    std::string reference(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    ASSERT_EQ(std::fread(reference.data(), 1, reference.size(), file), reference.size());
    std::fclose(file);
    EXPECT_TRUE(text == reference) << "differs from the fprintf version";

    const int side = border ? 404 : 400, m = border ? 0 : 2;
    std::istringstream lines(text);
    std::string line;
    int row = 0;
    while (std::getline(lines, line, '\n')) {
        ASSERT_LT(row, side);
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << "line " << row;
        line.pop_back();
        std::istringstream values(line);
        std::string value;
        int x = 0;
        while (std::getline(values, value, ',')) {
            const int pixel = x + m, frameRow = row + m;
            const unsigned word = frameWord(frame.data(), static_cast<std::size_t>(frameRow) * 808 + 2 * pixel + 1);
            ASSERT_EQ(value, std::to_string(word >> 4)) << "row " << frameRow << " pixel " << pixel;
            ++x;
        }
        ASSERT_EQ(x, side) << "line " << row;
        ++row;
    }
    EXPECT_EQ(row, side);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    EXPECT_NE(text.find("4095,1,0,2048,"), std::string::npos);  // pixels 2..5 of row 2
    if (border) {
        EXPECT_EQ(text.substr(0, 2), "8,") << "row 0 starts with the marker word 0x0080";
    }
}

INSTANTIATE_TEST_SUITE_P(BorderCutOrShown, CsvText, ::testing::Bool());

// Guards the hand-over of an export: a file finished for an export aborted
// meanwhile is not counted against the export started after it, which runs
// its full count from _001; a failed file ends an export at once.
TEST(CsvExportJob, StartAbortAndFinishAreEachOneStep)
{
    CsvExportJob job;
    EXPECT_FALSE(job.start("scan.csv", 0));
    ASSERT_TRUE(job.start("first.csv", 3));
    EXPECT_FALSE(job.start("other.csv", 3)) << "a running export keeps its path";
    const auto stale = job.next();
    ASSERT_TRUE(stale);
    EXPECT_EQ(stale->chosenPath, "first.csv");

    EXPECT_TRUE(job.abort());
    EXPECT_FALSE(job.abort());
    ASSERT_TRUE(job.start("second.csv", 2));
    EXPECT_EQ(job.finish(*stale, true), CsvExportJob::Outcome::Stale);
    EXPECT_EQ(job.remaining(), 2);

    auto step = job.next();
    ASSERT_TRUE(step);
    EXPECT_EQ(step->chosenPath, "second.csv");
    EXPECT_EQ(step->number, 1);
    EXPECT_EQ(job.finish(*step, true), CsvExportJob::Outcome::Continue);
    step = job.next();
    EXPECT_EQ(step->number, 2);
    EXPECT_EQ(job.finish(*step, true), CsvExportJob::Outcome::Done);
    EXPECT_FALSE(job.active());
    EXPECT_FALSE(job.next());

    ASSERT_TRUE(job.start("third.csv", 5));
    EXPECT_EQ(job.finish(*job.next(), false), CsvExportJob::Outcome::Failed);
    EXPECT_FALSE(job.active());
    EXPECT_EQ(job.remaining(), 0);
}

// Records the export's end and every frame the display thread hands on.
class FrameRecorder final : public LiveViewSink, public FrameConsumer {
public:
    void pictureReady(int) override {}
    void ratesChanged(int, const std::string&) override {}
    void csvExportEnded(const std::string& failure) override
    {
        std::lock_guard lock(mutex_);
        ends_.push_back(failure);
    }
    void frameShown(const ShownFrame& shown) override
    {
        std::lock_guard lock(mutex_);
        frames_.emplace_back(shown.frame, shown.frame + kFrameBytes);
        indexes_.push_back(loop ? loop->lastIndex() : 0);
    }
    std::vector<std::string> ends() { std::lock_guard lock(mutex_); return ends_; }
    std::vector<std::vector<uint8_t>> frames() { std::lock_guard lock(mutex_); return frames_; }
    std::vector<uint32_t> indexes() { std::lock_guard lock(mutex_); return indexes_; }

    const DisplayLoop* loop = nullptr;  // set before the loop starts

private:
    std::mutex mutex_;  // Protects the records
    std::vector<std::string> ends_;
    std::vector<std::vector<uint8_t>> frames_;
    std::vector<uint32_t> indexes_;
};

class CsvExportTest : public qdx::test::SimCameraTest {
protected:
    ViewerState state;
    TempDir dir;
};

// Guards against the display thread writing the files itself: while the
// writer thread is held, the display thread goes on showing frames (20 for
// the export and more) and writes none. Once the writer runs, the 20 frames
// give exactly scan_001..020.csv, from the first 20 frames shown one after
// another, none skipped and none twice, and one end report.
TEST_F(CsvExportTest, TwentyFramesGoToTheWriterWithoutHoldingTheDisplay)
{
    constexpr int kFrames = 20;
    ASSERT_NO_FATAL_FAILURE(qdx::test::startConnected());
    ASSERT_EQ(QDX_Set_DataFormat(1), QDX_OK);
    state.calibrationView = 1;
    DisplayImage image;
    FrameRecorder sink;
    FileWriter writer("test-files");
    CsvExport exporter(state.csvExport, sink, writer);
    FrameRecorder frames;
    DisplayLoop loop(state, image, sink, {&exporter, &frames});
    frames.loop = &loop;
    std::promise<void> release;
    writer.post([held = release.get_future().share()] { held.wait(); });
    ASSERT_TRUE(state.csvExport.start(dir.file("scan.csv"), kFrames));
    loop.start();
    const bool shown = qdx::test::waitUntil([&] { return frames.indexes().size() > kFrames; }, std::chrono::seconds(30));
    const std::vector<std::string> namesWhileHeld = dir.names();
    release.set_value();
    ASSERT_TRUE(shown) << "the display thread waited for the files: " << frames.indexes().size() << " frames shown";
    EXPECT_TRUE(namesWhileHeld.empty()) << namesWhileHeld.front() << " written by the display thread";
    writer.flush();
    loop.stop();

    EXPECT_EQ(sink.ends(), std::vector<std::string>{""});
    std::vector<std::string> names = dir.names();
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), std::size_t{kFrames});
    const auto recorded = frames.frames();
    const auto indexes = frames.indexes();
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], csvFileName("scan.csv", static_cast<int>(i + 1)));
        EXPECT_TRUE(readFile(dir.file(names[i])) == formatted(recorded[i], false)) << names[i];
        if (i > 0) {
            EXPECT_GT(indexes[i], indexes[i - 1]) << "the same frame twice";
        }
    }
}

// Guards a full disk: the file that cannot be written whole leaves nothing
// behind (no truncated CSV, no temporary file), the export ends at once and
// the end report says why. Before it, a colour frame is passed over.
TEST_F(CsvExportTest, AFailedWriteLeavesNoFileAndEndsTheExport)
{
    FrameRecorder sink;
    FileWriter writer("test-files");
    CsvExport exporter(state.csvExport, sink, writer);
    const std::vector<uint8_t> frame = makeFrame();
    ASSERT_TRUE(state.csvExport.start(dir.file("scan.csv"), 3));
    // A colour frame still on its way from before the Calibration page came
    // up neither ends the export nor counts.
    exporter.frameShown({frame.data(), false, false});
    EXPECT_TRUE(state.csvExport.active());
    EXPECT_EQ(state.csvExport.remaining(), 3);
    EXPECT_TRUE(sink.ends().empty());

    // Files of this process may grow to 100 kB only: a disk that fills up.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 100 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    exporter.frameShown({frame.data(), true, false});
    writer.flush();
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(state.csvExport.active());
    ASSERT_EQ(sink.ends().size(), 1u);
    EXPECT_NE(sink.ends()[0], "");
    EXPECT_TRUE(dir.names().empty()) << dir.names().front();
    exporter.frameShown({frame.data(), true, false});
    writer.flush();
    EXPECT_TRUE(dir.names().empty()) << "nothing more after the end";
    EXPECT_EQ(sink.ends().size(), 1u);
}

}  // namespace
}  // namespace qdx::viewer::test
