// Raw frames on qdxctl's standard output, read as another program reads
// them: through a real pipe whose reader may stop early, and by ffprobe.
// Every run counts bytes and frames, never time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CtlFixture.h"
#include "SimControl.h"
#include "SimulatedProcess.h"
#include "qdxctl/RawPipe.h"
#include "viewer/capture/AviFiles.h"

namespace qdx::ctl::test {
namespace {

// The end the child writes to; SimulatedProcess's hook takes no captures.
int childStdout = -1;
void stdoutToChildEnd()
{
    if (::dup2(childStdout, STDOUT_FILENO) < 0)
        ::_exit(126);
}

// qdxctl on the simulated camera (its control channel in the test's folder)
// with its stdout on a pipe, or a terminal, whose other end the test reads.
struct PipedQdxctl {
    explicit PipedQdxctl(const std::vector<std::string>& args, bool terminal = false)
    {
        int ends[2] = {-1, -1};
        if (terminal ? ::openpty(&ends[0], &ends[1], nullptr, nullptr, nullptr) : ::pipe2(ends, O_CLOEXEC))
            return;
        reader = ends[0];
        childStdout = ends[1];
        std::vector<std::string> argv{QDXCTL_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        const std::vector<std::string> environment{"QDX_SIM_CONTROL=" + control};
        process.emplace(argv, "", dir.file(""), environment, stdoutToChildEnd);
        if (terminal)
            writer = ends[1];  // kept open: a terminal whose other end closes hangs up
        else
            ::close(ends[1]);  // the reader sees the end once qdxctl's copy closes
    }
    ~PipedQdxctl()
    {
        for (const int fd : {reader, writer})
            if (fd >= 0)
                ::close(fd);
    }
    // The reader goes away.
    void closeReader() { ::close(std::exchange(reader, -1)); }

    TempDir dir;
    std::string control = dir.file("control");
    int reader = -1;
    int writer = -1;  // a terminal's other end
    std::optional<qdx::test::SimulatedProcess> process;
};

uint16_t wordAt(const std::string& bytes, std::size_t offset)
{
    return static_cast<uint16_t>(static_cast<uint8_t>(bytes[offset]) | static_cast<uint8_t>(bytes[offset + 1]) << 8);
}

struct PipeCase {
    const char* what;
    std::vector<std::string> args;  // after the program
    std::size_t frameBytes;
    double closeAfterFrames;  // the reader closes its end then; 0: it reads to the end
    int signal;               // sent once two frames came (0: none); the reader reads on
    int corrupt;              // frames the camera sends damaged once one frame came
    int exit;
    std::vector<std::string> err;  // fragments stderr must hold
    const char* ffprobeInput;      // how ffprobe is told to read them, if it is asked
};

constexpr std::size_t kWire = QDX_FRAME_BYTES;
const PipeCase kCases[] = {
    {"record until the reader goes away", {"record", "-", "--raw"}, kWire, 2.5, 0, 0, 0,
     {" frames to standard output in ", "the reader closed the pipe"}, nullptr},
    {"record past damaged frames", {"record", "-", "--raw"}, kWire, 12, 0, 3, 0,
     {"the reader closed the pipe"}, nullptr},
    {"record a second of wire frames", {"record", "-", "--raw", "--seconds", "1"}, kWire, 0, 0, 0, 0,
     {" frames to standard output in "}, "-pixel_format gray16le -video_size 808x404"},
    {"record a second of luma with its border",
     {"record", "-", "--raw", "--layout", "y16", "--border", "--seconds", "1"}, 404 * 404 * 2, 0, 0, 0, 0,
     {"(y16 404 x 404, 326432 bytes a frame)"}, "-pixel_format gray12le -video_size 404x404"},
    {"record terminated", {"record", "-", "--raw", "--layout", "y16"}, 400 * 400 * 2, 0, SIGTERM, 0, 143,
     {" frames to standard output in ", "interrupted by SIGTERM"}, "-pixel_format gray12le -video_size 400x400"},
    {"grab one frame after two", {"grab", "-", "--raw", "--frames", "2"}, kWire, 0, 0, 0, 0,
     {"1 frame to standard output (wire, 652864 bytes a frame)"}, nullptr},
};

void PrintTo(const PipeCase& c, std::ostream* out)
{
    *out << c.what;
}

class CtlPipeTest : public ::testing::TestWithParam<PipeCase> {};

// Guards against a reader that went away killing qdxctl by SIGPIPE before its
// summary, or failing it; a stop signal or a reader's end leaving half a
// frame, a short or damaged frame, or a message on stdout; luma left
// left-justified or cut from the wrong place; a frame count in the summary
// that is not what the pipe carried; frames ffmpeg's rawvideo reader cannot
// count.
TEST_P(CtlPipeTest, WritesWholeFramesUntilItsEndAndSaysSoOnStderr)
{
    const PipeCase& c = GetParam();
    PipedQdxctl qdxctl(c.args);
    ASSERT_GE(qdxctl.reader, 0);
    const std::size_t limit = c.closeAfterFrames > 0
                                  ? static_cast<std::size_t>(c.closeAfterFrames * static_cast<double>(c.frameBytes))
                                  : std::string::npos;
    std::string bytes;
    for (char chunk[65536]; bytes.size() < limit;) {
        pollfd ready{qdxctl.reader, POLLIN, 0};
        ASSERT_EQ(::poll(&ready, 1, 60000), 1) << "no bytes for a minute";
        const std::size_t before = bytes.size();
        const ssize_t n = ::read(qdxctl.reader, chunk, std::min(sizeof chunk, limit - bytes.size()));
        if (n <= 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(n));
        const std::string inject = "inject corrupt " + std::to_string(c.corrupt);
        if (c.corrupt && before < c.frameBytes && bytes.size() >= c.frameBytes) {
            ASSERT_EQ(qdx::test::controlCommand(qdxctl.control, inject), "ok");
        }
        if (c.signal && before < 2 * c.frameBytes && bytes.size() >= 2 * c.frameBytes)
            qdxctl.process->signal(c.signal);
    }
    qdxctl.closeReader();
    const qdx::test::ProcessRun& run = qdxctl.process->finish();
    ASSERT_EQ(run.exitCode(), c.exit) << run.err;
    for (const std::string& fragment : c.err)
        EXPECT_NE(run.err.find(fragment), std::string::npos) << fragment << " in\n" << run.err;
    const auto countAfter = [&](const std::string& fragment) {
        const std::size_t at = run.err.find(fragment);
        return at == std::string::npos ? 0 : std::atoll(run.err.c_str() + at + fragment.size());
    };
    // Each damaged frame was either taken and left out or overwritten unseen.
    EXPECT_GE(countAfter("left out, short or damaged: ") + countAfter("missed, overwritten before they were read: "),
              c.corrupt) << run.err;

    const std::size_t frames = bytes.size() / c.frameBytes;
    ASSERT_GE(frames, 1u);
    if (c.closeAfterFrames == 0) {
        EXPECT_EQ(bytes.size() % c.frameBytes, 0u) << "a frame cut short";
        const auto told = c.args[0] == "grab" ? 1 : countAfter("qdxctl record: ");
        EXPECT_EQ(frames, static_cast<std::size_t>(told)) << run.err;
    }
    for (std::size_t f = 0; f < frames; ++f) {
        const std::size_t first = f * c.frameBytes, last = first + c.frameBytes - 2;
        if (c.frameBytes == kWire) {
            const std::array<uint16_t, 4> markers{wordAt(bytes, first), wordAt(bytes, first + 2),
                                                  wordAt(bytes, last - 2), wordAt(bytes, last)};
            ASSERT_EQ(markers, (std::array<uint16_t, 4>{QDX_FRAME_START_MARKER0, QDX_FRAME_START_MARKER1,
                                                         QDX_FRAME_END_MARKER0, QDX_FRAME_END_MARKER1}))
                << "frame " << f;
            continue;
        }
        uint16_t most = 0;
        for (std::size_t i = first; i <= last; i += 2)
            most = std::max(most, wordAt(bytes, i));
        ASSERT_TRUE(most > 255 && most <= 4095) << "frame " << f << ": not 12-bit values, up to " << most;
        if (c.frameBytes == 404 * 404 * 2) {
            // The corner pixels' luma words are the frame's second and last marker.
            ASSERT_EQ(wordAt(bytes, first), QDX_FRAME_START_MARKER1 >> 4) << "frame " << f;
            ASSERT_EQ(wordAt(bytes, last), QDX_FRAME_END_MARKER1 >> 4) << "frame " << f;
        }
    }
    if (c.ffprobeInput) {
        const std::string file = qdxctl.dir.file("frames.raw");
        std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        EXPECT_EQ(viewer::test::commandOutput("ffprobe -v error -f rawvideo " + std::string(c.ffprobeInput) +
                                              " -count_frames -show_entries stream=nb_read_frames -of csv=p=0 '" +
                                              file + "' 2>&1"),
                  std::to_string(frames) + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(Readers, CtlPipeTest, ::testing::ValuesIn(kCases));

// Guards against a stop signal that never ends qdxctl while its reader takes
// nothing (a pipeline paused), and a reader's stall told as the camera's: the
// frame begun is given up after a grace and that is said, with the summary.
TEST(CtlPipeStuckReaderTest, StopEndsItWhileTheReaderTakesNothing)
{
    PipedQdxctl qdxctl({"record", "-", "--raw"});
    ASSERT_GE(qdxctl.reader, 0);
    // A frame begun: its first bytes fill the pipe, the rest waits.
    pollfd ready{qdxctl.reader, POLLIN, 0};
    ASSERT_TRUE(qdx::test::lookUntil([&] { return ::poll(&ready, 1, 0) == 1; }));
    qdxctl.process->signal(SIGTERM);
    const qdx::test::ProcessRun& run = qdxctl.process->finish();
    EXPECT_EQ(run.exitCode(), 143) << run.err;
    for (const char* fragment : {"0 frames to standard output", "the last frame is cut short after "})
        EXPECT_NE(run.err.find(fragment), std::string::npos) << fragment << " in\n" << run.err;
    EXPECT_EQ(run.err.find("no whole frame from the camera"), std::string::npos) << "the reader's stall told as ours";
}

// Guards against binary frames sprayed onto a terminal: refused before the
// camera is touched, exit status 2, not a byte written to it.
TEST(CtlPipeTerminalTest, RefusesATerminalForStdout)
{
    PipedQdxctl qdxctl({"record", "-", "--raw"}, true);
    ASSERT_GE(qdxctl.reader, 0);
    const qdx::test::ProcessRun& run = qdxctl.process->finish();
    EXPECT_EQ(run.exitCode(), 2) << run.err;
    EXPECT_NE(run.err.find("will not write binary frames to a terminal"), std::string::npos) << run.err;
    pollfd ready{qdxctl.reader, POLLIN, 0};
    EXPECT_EQ(::poll(&ready, 1, 0), 0) << "bytes reached the terminal";
}

// Guards against y16 luma taken from a chroma word, left-justified, or cut
// from the wrong rows or columns: a frame whose every luma is its own pixel
// number, packed with and without the border.
TEST(RawLayoutTest, Y16IsEachPixelsLumaInRowOrder)
{
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    for (std::size_t word = 0; word < frame.size() / 2; ++word) {
        const auto value = static_cast<uint16_t>(word % 2 ? (word / 2 % 4096) << 4 : 0xFFF0);
        frame[2 * word] = static_cast<uint8_t>(value);
        frame[2 * word + 1] = static_cast<uint8_t>(value >> 8);
    }
    for (const int side : {400, 404}) {
        std::vector<uint8_t> out(rawFrameBytes(RawLayout::Y16, side));
        const auto packed = packFrame(frame.data(), RawLayout::Y16, side, out);
        ASSERT_EQ(packed.size(), static_cast<std::size_t>(side * side * 2));
        const int margin = (404 - side) / 2;
        for (std::size_t at = 0; at < packed.size(); at += 2) {
            const int x = static_cast<int>(at / 2) % side, y = static_cast<int>(at / 2) / side;
            ASSERT_EQ(packed[at] | packed[at + 1] << 8, ((y + margin) * 404 + x + margin) % 4096)
                << side << ": " << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace qdx::ctl::test
