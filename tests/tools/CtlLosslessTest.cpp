// qdxctl record through an unplug of the simulated camera, ended by Ctrl+C:
// the lossless file's times (ffprobe) and the AVI's sidecar times both show
// the absence as a gap, and every other step at the simulated pacing.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CtlFixture.h"
#include "SimControl.h"
#include "SimulatedProcess.h"
#include "viewer/capture/AviFiles.h"

namespace qdx::ctl::test {
namespace {

using Clock = std::chrono::steady_clock;
using qdx::test::controlCommand;
using qdx::test::controlStatus;
using qdx::test::lookUntil;
using viewer::test::commandOutput;

// Arrival times in ms, as the file says them.
std::vector<double> mkvTimes(const std::string& path)
{
    std::istringstream lines(commandOutput("ffprobe -v error -select_streams v:0 -show_entries frame=pts_time "
                                           "-of csv=p=0 '" + path + "' 2>/dev/null"));
    std::vector<double> times;
    for (std::string line; std::getline(lines, line);)
        if (!line.empty())
            times.push_back(std::stod(line) * 1000);
    return times;
}

// The sidecar's monotonic times in ms, once its lines are checked: the
// header, frames numbered from 0, indexes rising, a UTC time on each.
std::vector<double> sidecarTimes(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "frame,index,monotonic_ns,wall_clock_utc");
    std::vector<double> times;
    unsigned long long lastIndex = 0;
    while (std::getline(in, line)) {
        unsigned frame = 0;
        unsigned long long index = 0;
        long long ns = 0;
        char wall[40] = {};
        if (std::sscanf(line.c_str(), "%u,%llu,%lld,%39s", &frame, &index, &ns, wall) != 4) {
            ADD_FAILURE() << "line " << times.size() + 2 << ": " << line;
            break;
        }
        EXPECT_EQ(frame, times.size());
        EXPECT_GT(index, lastIndex);
        EXPECT_EQ(std::string(wall).size(), 30u) << wall;  // 2026-12-09T01:02:03.123456789Z
        lastIndex = index;
        times.push_back(static_cast<double>(ns) / 1e6);
    }
    return times;
}

class CtlLosslessTest : public ::testing::TestWithParam<const char*> {};

// Guards against times that are not the frames' arrivals (a frame count times
// a rate hides an unplug), a lossless file left under its temporary name or
// unfinished by Ctrl+C, and an AVI sidecar that misses frames or numbers them
// differently from the file.
TEST_P(CtlLosslessTest, UnplugShowsAsAGapInTheFrameTimes)
{
    const std::string name = GetParam();
    TempDir dir;
    const std::string control = dir.file("control");
    const std::string path = dir.file(name);
    qdx::test::SimulatedProcess process({QDXCTL_PROGRAM, "record", "--seconds", "600", path}, "", dir.file(""),
                                        {"QDX_SIM_CONTROL=" + control, "QDX_SIM_FPS=25"});
    const auto delivered = [&] {
        const auto status = controlStatus(control);
        return status.count("delivered") ? status.at("delivered") : -1;
    };
    const auto framesFlow = [&](long long more) {
        long long from = -1;
        return lookUntil([&] { return (from = delivered()) >= 0; }) &&
               lookUntil([&] { return delivered() >= from + more; });
    };
    ASSERT_TRUE(framesFlow(20));
    ASSERT_EQ(controlCommand(control, "unplug"), "ok");
    ASSERT_TRUE(lookUntil([&] { return controlStatus(control)["open"] == 0; }));
    // No frame can arrive from the camera seen closed until it is plugged in.
    const auto closed = Clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double heldMs = std::chrono::duration<double, std::milli>(Clock::now() - closed).count();
    ASSERT_EQ(controlCommand(control, "replug"), "ok");
    ASSERT_TRUE(framesFlow(20));
    process.signal(SIGINT);
    const qdx::test::ProcessRun& run = process.finish();
    EXPECT_EQ(run.exitCode(), 130) << run.err;

    unsigned frames = 0;
    ASSERT_EQ(std::sscanf(run.out.c_str() + run.out.find(": "), ": %u frames", &frames), 1) << run.out;
    const bool lossless = name.ends_with(".mkv");
    const std::vector<double> times = lossless ? mkvTimes(path) : sidecarTimes(path + ".csv");
    ASSERT_EQ(times.size(), frames);
    ASSERT_GE(times.size(), 30u);
    std::vector<double> steps;
    for (std::size_t i = 1; i < times.size(); ++i)
        steps.push_back(times[i] - times[i - 1]);
    EXPECT_TRUE(std::all_of(steps.begin(), steps.end(), [](double s) { return s > 0; }));
    // A gap at least as long as the camera was held away: the times are the
    // frames' arrivals, not a count at the nominal rate. (How long the other
    // steps are is the machine's business: a loaded one delays frames.)
    std::sort(steps.begin(), steps.end());
    EXPECT_GE(steps.back(), heldMs - 1);
    if (lossless) {
        for (const std::string& left : dir.names())
            EXPECT_EQ(left.find(".tmp"), std::string::npos) << "temporary file left: " << left;
        EXPECT_EQ(viewer::test::gstFrameCount(path, "matroskademux"), static_cast<int>(frames));
    } else {
        EXPECT_EQ(viewer::test::ffprobe(path)["nb_read_frames"], std::to_string(frames));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, CtlLosslessTest, ::testing::Values("rec.mkv", "rec.avi"),
                         [](const auto& p) { return std::string(p.param).substr(4); });

}  // namespace
}  // namespace qdx::ctl::test
