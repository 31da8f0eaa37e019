// The recording thread fed by capture-image refreshes as the display thread
// makes them, read back with ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "TempDir.h"
#include "capture/CaptureImage.h"
#include "capture/Recorder.h"
#include "core/files/RegularFile.h"
#include "viewer/FrameBuilder.h"
#include "viewer/capture/AviFiles.h"

namespace qdx::viewer::test {
namespace {

using namespace std::chrono_literals;
using Ending = RecordingReport::Ending;

bool waitFor(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 5s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class RecorderTest : public ::testing::Test {
protected:
    // Refreshes the capture image `count` times, each time once the recording
    // has taken the refresh before (lockstep: no refresh may be lost), grey
    // on every second refresh as on the Calibration page.
    void refresh(Recorder& recorder, int count, bool boundary = true)
    {
        for (int i = 0; i < count; ++i) {
            const uint32_t before = recorder.frames();
            ASSERT_TRUE(capture.refresh(colour.data(), i % 2 == 1, boundary));
            ASSERT_TRUE(waitFor([&] { return recorder.frames() > before || !recorder.running(); }));
        }
    }

    qdx::test::TempDir dir;
    std::string path = dir.file("rec.avi");
    CaptureImage capture;
    std::vector<uint8_t> colour = makeFrame(0xC000);  // strong chroma: far from grey
};

// Every refresh becomes one frame, colour and grey as they came, and the
// measured rate reaches the header.
TEST_F(RecorderTest, EveryRefreshIsRecordedInOrder)
{
    Recorder recorder(capture);
    std::string why;
    ASSERT_TRUE(recorder.start(path, 400, nullptr, why)) << why;
    refresh(recorder, 6, false);
    std::this_thread::sleep_for(20ms);
    const RecordingReport report = recorder.stop();
    EXPECT_EQ(report.ending, Ending::Stopped);
    EXPECT_TRUE(report.fileOk);
    EXPECT_EQ(report.frames, 6u);
    EXPECT_EQ(report.scale, 100u);
    EXPECT_GE(report.rate, 1u);

    auto probe = ffprobe(path);
    EXPECT_EQ(probe["nb_read_frames"], "6") << probe["error"];
    EXPECT_EQ(probe["width"], "400");
    EXPECT_EQ(probe["height"], "400");
    EXPECT_EQ(greyFrames(path, 400), (std::vector<bool>{false, true, false, true, false, true}));
    const auto b = readBytes(path);
    EXPECT_EQ(u32(b, 128), 100u);
    EXPECT_EQ(u32(b, 132), report.rate);
}

// A recording stopped before any refresh leaves a well-formed empty file at
// 120 frames a second; a file that cannot be created starts nothing.
TEST_F(RecorderTest, EmptyRecordingAndUncreatableFile)
{
    Recorder recorder(capture);
    std::string why;
    EXPECT_FALSE(recorder.start(dir.file("missing/rec.avi"), 404, nullptr, why));
    EXPECT_FALSE(recorder.active());
    EXPECT_NE(why.find("missing/rec.avi"), std::string::npos);

    ASSERT_TRUE(recorder.start(path, 404, nullptr, why)) << why;
    const RecordingReport report = recorder.stop();
    EXPECT_EQ(report.frames, 0u);
    EXPECT_TRUE(report.fileOk);
    const auto b = readBytes(path);
    EXPECT_EQ(u32(b, 32), 8333u);
    EXPECT_EQ(u32(b, 4), b.size() - 8);
    auto probe = ffprobe(path);
    EXPECT_EQ(probe["codec_name"], "mjpeg") << probe["error"];
    EXPECT_EQ(probe["nb_read_frames"], "N/A") << "no frame to read";
}

// Guards against a recording written through a link planted at its target
// into the file the link names, or into a device node or a FIFO (where the
// open hung), and against "cannot be created" without the reason.
TEST_F(RecorderTest, WritesOnlyRegularFilesAndSaysWhyNot)
{
    const std::string link = dir.file("link.avi"), victim = dir.file("victim"), fifo = dir.file("fifo.avi");
    std::string device = dir.file("null.avi");
    std::ofstream(victim) << "victim";
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        device = fifo;  // only root makes device nodes
    Recorder recorder(capture);
    std::string why;
    ASSERT_TRUE(recorder.start(link, 404, nullptr, why)) << why;
    refresh(recorder, 1);
    EXPECT_EQ(recorder.stop().frames, 1u);
    const auto kept = readBytes(victim);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "victim");
    EXPECT_EQ(ffprobe(link)["nb_read_frames"], "1");

    for (const auto& [target, reason] : {std::pair{dir.file("missing/rec.avi"), "No such file or directory"},
                                         std::pair{device, kNotRegularFile}, std::pair{fifo, kNotRegularFile}}) {
        EXPECT_FALSE(recorder.start(target, 404, nullptr, why));
        EXPECT_NE(why.find("' cannot be created: " + std::string(reason)), std::string::npos) << why;
        struct stat status {};
        EXPECT_TRUE(::lstat(target.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) << target;
    }
}

// The recording ends by itself, with a valid file and a report the window
// can show, when the file is full or the disk is nearly so.
TEST_F(RecorderTest, EndsByItselfWhenFileOrDiskIsFull)
{
    struct Case {
        Recorder::Options options;
        Ending ending;
        uint32_t frames;
    };
    const Case cases[] = {{{AviWriter::Limits{0x7E000000, 3}, 16u << 20}, Ending::Full, 3},
                          {{AviWriter::Limits{}, UINT64_MAX / 4}, Ending::DiskFull, 1}};
    for (const Case& c : cases) {
        Recorder recorder(capture, c.options);
        std::atomic<int> ended{0};
        std::string why;
        ASSERT_TRUE(recorder.start(path, 404, [&] { ended.fetch_add(1); }, why)) << why;
        refresh(recorder, 5);
        ASSERT_TRUE(waitFor([&] { return ended.load() == 1; }));
        const RecordingReport report = recorder.stop();
        EXPECT_EQ(report.ending, c.ending);
        EXPECT_EQ(report.frames, c.frames);
        EXPECT_TRUE(report.fileOk);
        EXPECT_EQ(ffprobe(path)["nb_read_frames"], std::to_string(c.frames));
        EXPECT_EQ(ended.load(), 1);
    }
}

}  // namespace
}  // namespace qdx::viewer::test
