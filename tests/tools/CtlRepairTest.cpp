// qdxctl repair, and the recording it repairs: the shipped program killed
// outright while it records, its file read by ffprobe and GStreamer, then
// rebuilt by the shipped program.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "CtlFixture.h"
#include "SimulatedProcess.h"
#include "capture/AviWriter.h"
#include "viewer/capture/AviFiles.h"

namespace qdx::ctl::test {
namespace {

using namespace std::chrono_literals;
using viewer::test::ffprobe;
using viewer::test::gstFrameCount;
using viewer::test::movieChunks;
using viewer::test::readBytes;
using viewer::test::u32;

// Guards against a recording killed outright being lost: its header counted
// no frame until the recording was finished. Killed once its header counts a
// second of frames, the file plays those frames at the measured rate, and
// repair (in place) finishes it with every whole frame, the same bytes.
TEST(CtlRepairTest, RecordingKilledOutrightPlaysAndIsRepaired)
{
    TempDir dir;
    const std::string path = dir.file("rec.avi"), state = dir.file("state");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("QDX_CAMERA", "sim", 1);
        ::setenv("QDX_SIM_STATE_DIR", state.c_str(), 1);
        ::dup2(::open("/dev/null", O_WRONLY), 2);
        ::alarm(120);
        ::execl(QDXCTL_PROGRAM, QDXCTL_PROGRAM, "record", "--seconds", "100", path.c_str(), nullptr);
        ::_exit(127);
    }
    ASSERT_GT(pid, 0);
    // Killed once strh counts a second of frames (the deadline is a safety net).
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (u32(readBytes(path), 140) < 30 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(20ms);
    ::kill(pid, SIGKILL);
    ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
    const auto killed = readBytes(path);
    const uint32_t counted = u32(killed, 140);
    ASSERT_GE(counted, 30u) << "the header never counted a second of frames";
    const auto killedChunks = movieChunks(killed);  // by the refreshed sizes
    EXPECT_EQ(killedChunks.size(), counted);
    EXPECT_EQ(u32(killed, 128), 100u) << "the measured rate, not the 120 / 1 of the start";
    EXPECT_GE(std::stoi("0" + ffprobe(path)["nb_read_frames"]), static_cast<int>(counted));
    EXPECT_GE(gstFrameCount(path), static_cast<int>(counted));

    const auto run = qdx::test::runOnSimulatedCamera({QDXCTL_PROGRAM, "repair", path}, state, dir.file(""));
    ASSERT_EQ(run.exitCode(), kExitOk) << run.err;
    const auto repaired = readBytes(path);
    const auto chunks = movieChunks(repaired);
    EXPECT_EQ(run.out.rfind(path + ": " + std::to_string(chunks.size()) + " frames recovered, 400 x 400", 0), 0u)
        << run.out;
    ASSERT_GE(chunks.size(), counted);
    EXPECT_TRUE(std::equal(killedChunks.begin(), killedChunks.end(), chunks.begin()));
    EXPECT_EQ(u32(repaired, 132), u32(killed, 132));  // the rate kept
    for (const bool odml : {true, false})
        EXPECT_EQ(ffprobe(path, odml)["nb_read_frames"], std::to_string(chunks.size()));
    EXPECT_EQ(gstFrameCount(path), static_cast<int>(chunks.size()));
}

// Guards against a repair that loses or replaces what it cannot rebuild: a
// file without an AVI header or without a whole frame, a FIFO or a device
// as the input or the output, are refused with the reason and status 1, and
// the input stays as it was; wrong arguments are status 2.
TEST(CtlRepairTest, RepairRefusesWhatHoldsNoFrame)
{
    TempDir dir;
    const std::string text = dir.file("notes.avi"), empty = dir.file("empty.avi"), fifo = dir.file("fifo.avi");
    std::ofstream(text) << "not a video\n";
    viewer::AviWriter writer;
    ASSERT_TRUE(writer.open(empty) == 0 && writer.setFrameSize(400, 400) == 0 && writer.close() == 0);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto emptyBytes = readBytes(empty);
    const struct {
        std::vector<std::string> args;
        int status;
        std::string says;
    } cases[] = {
        {{"repair"}, kExitUsage, "usage"},
        {{"repair", empty, text, fifo}, kExitUsage, "usage"},
        {{"repair", text}, kExitFailure, "not an AVI file"},
        {{"repair", empty}, kExitFailure, "holds no whole frame"},
        {{"repair", dir.file("missing.avi")}, kExitFailure, "No such file or directory"},
        {{"repair", fifo, text}, kExitFailure, "not a regular file"},
        {{"repair", empty, fifo}, kExitFailure, "not a regular file"},
    };
    for (const auto& c : cases) {
        const CtlRun run = runCtl(c.args);
        EXPECT_EQ(run.status, c.status) << c.args.back();
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
    }
    EXPECT_EQ(qdx::test::fileText(text), "not a video\n");
    EXPECT_TRUE(readBytes(empty) == emptyBytes);
    EXPECT_EQ(dir.names().size(), 3u) << "no temporary file left";
}

}  // namespace
}  // namespace qdx::ctl::test
