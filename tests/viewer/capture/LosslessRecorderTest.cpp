// The lossless recorder fed with the simulated camera's frames, read back by
// ffmpeg and ffprobe: the 12-bit values and the arrival times in the file
// against an oracle written from the frame layout, not from the writer.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "api/SimCameraFixture.h"
#include "capture/FrameTimes.h"
#include "capture/LosslessRecorder.h"
#include "live/FrameReader.h"
#include "viewer/FrameBuilder.h"
#include "viewer/capture/AviFiles.h"

namespace qdx::viewer::test {
namespace {

using namespace std::chrono_literals;

// What a player decodes: every frame once (no frames repeated to make a
// constant rate) as planar little-endian 16-bit samples.
std::string decoded(const std::string& path, bool grey)
{
    return commandOutput("ffmpeg -v error -i '" + path + "' -fps_mode passthrough -f rawvideo -pix_fmt " +
                         (grey ? "gray12le" : "yuv422p12le") + " - 2>/dev/null");
}

// The same through GStreamer (gst-libav's FFV1 decoder); colour only, as
// GStreamer has no 12-bit grey format.
std::string decodedByGStreamer(const std::string& path)
{
    return commandOutput("gst-launch-1.0 -q filesrc location='" + path +
                         "' ! matroskademux ! avdec_ffv1 ! video/x-raw,format=I422_12LE ! fdsink fd=1 2>/dev/null");
}

// Each frame's time in the file, in ms, as ffprobe reads it.
std::vector<long long> framePts(const std::string& path)
{
    std::istringstream lines(commandOutput("ffprobe -v error -select_streams v:0 -show_entries frame=pts -of csv=p=0 '" +
                                           path + "' 2>/dev/null"));
    std::vector<long long> pts;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            pts.push_back(std::stoll(line));
    return pts;
}

// The oracle: camera pixel (x, y) holds its chroma word then its luma word
// (Cb for an even x, Cr for an odd one); a value is the word's top 12 bits.
// Planes follow one another, rows top first, 2 bytes a sample.
std::vector<uint8_t> expectedPlanes(const std::vector<uint8_t>& frame, bool grey, int side)
{
    const int first = (kCameraSide - side) / 2;
    auto value = [&](int x, int y, int word) {
        const std::size_t at = (static_cast<std::size_t>(y) * kCameraSide + static_cast<std::size_t>(x)) * 2 + word;
        return static_cast<uint16_t>(frameWord(frame.data(), at) >> 4);
    };
    std::vector<uint8_t> out;
    auto put = [&](uint16_t v) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    };
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            put(value(first + x, first + y, 1));
    if (!grey)
        for (int chroma = 0; chroma < 2; ++chroma)  // Cb from the even pixels, then Cr from the odd
            for (int y = 0; y < side; ++y)
                for (int x = 0; x < side; x += 2)
                    put(value(first + x + chroma, first + y, 0));
    return out;
}

struct Layout {
    const char* name;
    bool grey;
    int side;
};

void PrintTo(const Layout& layout, std::ostream* os)
{
    *os << layout.name;
}

class LosslessRecorderTest : public ::testing::TestWithParam<Layout> {
protected:
    void SetUp() override
    {
        qdx::test::resetSimCamera();
        QDXSim_SetScene(0);  // the chart with its moving disc: every frame differs, all 12 bits in use
        qdx::test::startConnected();
    }
    void TearDown() override { QDX_Term(); }

    qdx::test::TempDir dir;
    std::string path = dir.file("rec.mkv");
};

// Guards against planes de-interleaved wrongly (Cb and Cr swapped, luma taken
// from chroma words, values not shifted down to 12 bits, the 400 x 400 region
// off by a pixel), frames lost or reordered between the queue and the file,
// and times in the file other than each frame's arrival after the first.
TEST_P(LosslessRecorderTest, FileHoldsEveryFrameBitExactAtItsArrivalTime)
{
    const Layout layout = GetParam();
    constexpr int kFrames = 6;
    LosslessRecorder recorder;
    std::string why;
    ASSERT_TRUE(recorder.start(path, layout.side, layout.grey, nullptr, why)) << why;
    FrameReader reader;
    std::vector<std::vector<uint8_t>> given;
    std::vector<int64_t> arrivals;
    std::vector<uint8_t> frame(kFrameBytes);
    for (int round = 0; given.size() < kFrames && round < 600; ++round) {
        if (!reader.wait(100ms))
            continue;
        const auto taken = reader.take(frame.data());
        if (!taken || !taken->whole())
            continue;
        recorder.offer(frame.data(), &taken->info);
        given.push_back(frame);
        arrivals.push_back(taken->info.monotonicNs);
        // One frame at a time, so that none is skipped for the test's sake.
        ASSERT_TRUE(qdx::test::waitUntil([&] { return recorder.frames() == given.size(); }, 30s));
    }
    ASSERT_EQ(given.size(), kFrames);
    const LosslessReport report = recorder.stop();
    ASSERT_TRUE(report.fileOk) << report.why;
    EXPECT_EQ(report.frames, kFrames);
    EXPECT_EQ(report.skipped, 0u);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"rec.mkv"}) << "a temporary file was left";

    const std::string pictures = decoded(path, layout.grey);
    const std::size_t frameBytes = expectedPlanes(given[0], layout.grey, layout.side).size();
    ASSERT_EQ(pictures.size(), kFrames * frameBytes);
    if (!layout.grey) {
        EXPECT_TRUE(decodedByGStreamer(path) == pictures) << "GStreamer decodes other pictures than ffmpeg";
    }
    const std::vector<long long> pts = framePts(path);
    ASSERT_EQ(pts.size(), kFrames);
    for (int i = 0; i < kFrames; ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        const std::vector<uint8_t> expected = expectedPlanes(given[i], layout.grey, layout.side);
        EXPECT_EQ(0, pictures.compare(i * frameBytes, frameBytes, reinterpret_cast<const char*>(expected.data()),
                                      frameBytes));
        EXPECT_EQ(pts[i], (arrivals[i] - arrivals[0] + 500000) / 1000000);
    }
}

const Layout kLayouts[] = {
    {"colour_400", false, 400},
    {"colour_404", false, 404},
    {"grey_400", true, 400},
    {"grey_404", true, 404},
};
INSTANTIATE_TEST_SUITE_P(Layouts, LosslessRecorderTest, ::testing::ValuesIn(kLayouts),
                         [](const auto& p) { return std::string(p.param.name); });

// Guards against a full queue that blocks the frame-handing thread or loses
// frames uncounted, a stop that drops the frames still queued, times that
// collapse a gap or repeat (Matroska needs them rising), and a refused start
// that leaves a file.
TEST(LosslessRecorderQueue, SkipsAndCountsWhatDoesNotFitAndKeepsGaps)
{
    qdx::test::TempDir dir;
    const std::vector<uint8_t> frame = makeFrame(0x5550);
    auto infoAt = [](int64_t ns) {
        QDX_FRAME_INFO info{};
        info.size = sizeof info;
        info.monotonicNs = 1'000'000'000'000 + ns;
        return info;
    };
    {
        // Arrivals on the nanosecond: rounded to the millisecond, the second
        // of two within one millisecond moved after it, a 2.5 s gap kept.
        LosslessRecorder recorder;
        const std::string path = dir.file("gap.mkv");
        std::string why;
        ASSERT_TRUE(recorder.start(path, 400, true, nullptr, why)) << why;
        for (const int64_t ns : {0LL, 16'666'667LL, 33'333'333LL, 33'400'000LL, 2'533'333'333LL}) {
            const QDX_FRAME_INFO info = infoAt(ns);
            recorder.offer(frame.data(), &info);
        }
        const LosslessReport report = recorder.stop();
        ASSERT_TRUE(report.fileOk) << report.why;
        EXPECT_EQ(framePts(path), (std::vector<long long>{0, 17, 33, 34, 2533}));
    }
    {
        LosslessRecorder recorder(LosslessRecorder::Options{.queueFrames = 1});
        const std::string path = dir.file("skip.mkv");
        std::string why;
        ASSERT_TRUE(recorder.start(path, 404, false, nullptr, why)) << why;
        constexpr int kOffered = 40;
        for (int i = 0; i < kOffered; ++i) {
            const QDX_FRAME_INFO info = infoAt(i * 1'000'000LL);
            recorder.offer(frame.data(), &info);
        }
        const LosslessReport report = recorder.stop();
        ASSERT_TRUE(report.fileOk) << report.why;
        EXPECT_GT(report.skipped, 0u) << "one slot cannot have taken 40 frames handed in back to back";
        EXPECT_EQ(report.frames + report.skipped, kOffered);
        EXPECT_EQ(framePts(path).size(), report.frames);
    }
    {
        LosslessRecorder recorder;
        std::string why;
        EXPECT_FALSE(recorder.start(dir.file("missing/x.mkv"), 400, false, nullptr, why));
        EXPECT_NE(why.find("No such file"), std::string::npos) << why;
        EXPECT_FALSE(recorder.start(dir.file("odd.mkv"), 300, false, nullptr, why));
    }
    EXPECT_EQ(dir.names().size(), 2u) << "a refused start left something behind";
}

// Guards against sidecar times that are off by the fraction's sign before
// 1970, lose leading zeros of the fraction, or are given in local time.
TEST(FrameTimesText, IsoUtcWithNanoseconds)
{
    EXPECT_EQ(isoUtc(0), "1970-01-01T00:00:00.000000000Z");
    EXPECT_EQ(isoUtc(1'700'000'000'000'000'123LL), "2023-11-14T22:13:20.000000123Z");
    EXPECT_EQ(isoUtc(-1), "1969-12-31T23:59:59.999999999Z");
}

}  // namespace
}  // namespace qdx::viewer::test
