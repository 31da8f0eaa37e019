// The qdxctl program cut short from outside, as a user does it: the camera
// unplugged through the simulated camera's control channel, or a signal.
// Each run waits for its work to be under way by counting (frames delivered,
// the file growing), never by time.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "CtlFixture.h"
#include "SimControl.h"
#include "SimulatedProcess.h"
#include "viewer/capture/AviFiles.h"

namespace qdx::ctl::test {
namespace {

using qdx::test::controlCommand;
using qdx::test::controlStatus;
using qdx::test::lookUntil;

// What the test does once the command is under way.
enum class Step { Unplug, WaitClosed, Replug, WaitFrames, Interrupt, Terminate, HangUp };

struct CutCase {
    const char* what;
    std::vector<std::string> args;  // after the program; "@" is the test's folder
    std::vector<std::string> environment;
    std::string readyFile;  // under way once this file holds frames; else once frames flow
    std::vector<Step> steps;
    int exit;
    std::vector<std::string> out, err;  // fragments each must hold
};

const CutCase kCases[] = {
    {"record unplugged, back, unplugged for good",
     {"record", "--seconds", "600", "@/rec.avi"}, {}, "rec.avi",
     {Step::Unplug, Step::WaitClosed, Step::Replug, Step::WaitFrames, Step::Unplug}, 1,
     {"rec.avi: "},
     {" for ", " frames before, ", " after\n", " and was not back "}},
    {"record interrupted", {"record", "--seconds", "600", "@/rec.avi"}, {}, "rec.avi", {Step::Interrupt}, 130,
     {"rec.avi: "}, {"interrupted by SIGINT"}},
    {"stream terminated", {"stream", "--seconds", "600"}, {"QDX_SIM_SCENE=99"}, "", {Step::Terminate}, 143,
     {"frames taken", "reconnections       0"}, {"interrupted by SIGTERM", "QDX_SIM_SCENE=\"99\" is not a scene"}},
    {"csv unplugged", {"csv", "--frames", "1000", "@/scan.csv"}, {}, "scan_002.csv", {Step::Unplug}, 1,
     {"scan_001.csv: 400 x 400 values"}, {"the camera was disconnected; the set is incomplete: "}},
    {"csv hung up", {"csv", "--frames", "1000", "@/scan.csv"}, {}, "scan_002.csv", {Step::HangUp}, 129,
     {"scan_002.csv: 400 x 400 values"}, {"the set is incomplete: ", "interrupted by SIGHUP"}},
};

void PrintTo(const CutCase& c, std::ostream* out)
{
    *out << c.what;
}

class CtlInterruptTest : public ::testing::TestWithParam<CutCase> {};

// Guards a recording or an export cut short by an unplug that reported
// success (exit 0, not a word), a csv that waited in silence for a camera
// gone, and a signal that left the AVI unfinished or the summary unprinted:
// each ends by its normal path, says what happened, names what it wrote and
// exits as a shell expects (1, or 128 + the signal).
TEST_P(CtlInterruptTest, SaysWhatCutItShortAndLeavesItsFilesWhole)
{
    const CutCase& c = GetParam();
    TempDir dir;
    const std::string control = dir.file("control");
    std::vector<std::string> args{QDXCTL_PROGRAM};
    for (const std::string& arg : c.args)
        args.push_back(arg[0] == '@' ? dir.file(arg.substr(2)) : arg);
    std::vector<std::string> environment = c.environment;
    environment.push_back("QDX_SIM_CONTROL=" + control);
    qdx::test::SimulatedProcess process(args, "", dir.file(""), environment);

    const auto delivered = [&] {
        const auto status = controlStatus(control);
        return status.count("delivered") ? status.at("delivered") : -1;
    };
    const auto framesFlow = [&](long long more) {
        long long from = -1;
        return lookUntil([&] { return (from = delivered()) >= 0; }) &&
               lookUntil([&] { return delivered() >= from + more; });
    };
    if (c.readyFile.empty()) {
        ASSERT_TRUE(framesFlow(30));
    } else {
        const std::string ready = dir.file(c.readyFile);
        ASSERT_TRUE(lookUntil([&] {
            std::error_code error;
            return std::filesystem::file_size(ready, error) > 100000 && !error;
        }));
    }
    for (const Step step : c.steps) {
        switch (step) {
        case Step::Unplug:
        case Step::Replug:
            ASSERT_EQ(controlCommand(control, step == Step::Unplug ? "unplug" : "replug"), "ok");
            break;
        case Step::WaitClosed:
            ASSERT_TRUE(lookUntil([&] { return controlStatus(control)["open"] == 0; }));
            break;
        case Step::WaitFrames:
            ASSERT_TRUE(framesFlow(15));
            break;
        case Step::Interrupt:
        case Step::Terminate:
        case Step::HangUp:
            process.signal(step == Step::Interrupt ? SIGINT : step == Step::Terminate ? SIGTERM : SIGHUP);
            break;
        }
    }
    const qdx::test::ProcessRun& run = process.finish();
    EXPECT_EQ(run.exitCode(), c.exit) << run.err;
    for (const std::string& fragment : c.out)
        EXPECT_NE(run.out.find(fragment), std::string::npos) << fragment << " in\n" << run.out;
    for (const std::string& fragment : c.err)
        EXPECT_NE(run.err.find(fragment), std::string::npos) << fragment << " in\n" << run.err;
    EXPECT_FALSE(std::filesystem::exists(control)) << "the control socket stays behind";

    // Figures out of the texts: what follows a fragment, read by a format.
    const auto after = [](const std::string& text, const std::string& fragment, std::size_t from = 0) {
        const std::size_t at = text.find(fragment, from);
        return at == std::string::npos ? std::string() : text.substr(at + fragment.size());
    };
    int frames = 0;
    double rate = 0;
    if (std::sscanf(after(run.out, "rec.avi: ").c_str(), "%d frames, 400 x 400, %lf frames/s", &frames, &rate) == 2) {
        EXPECT_GE(frames, 5);
        auto probe = viewer::test::ffprobe(dir.file("rec.avi"));
        EXPECT_EQ(probe["nb_read_frames"], std::to_string(frames)) << probe["error"];
        // GStreamer plays it to its end: the length the frames and the rate give.
        const std::string gst = viewer::test::gstDiscover(dir.file("rec.avi"));
        int hours = 0, minutes = 0;
        double seconds = 0;
        ASSERT_EQ(std::sscanf(after(gst, "Duration: ").c_str(), "%d:%d:%lf", &hours, &minutes, &seconds), 3) << gst;
        EXPECT_NEAR(hours * 3600 + minutes * 60 + seconds, frames / rate, 0.1);
        // Each absence splits all the frames into those before and those after.
        for (std::size_t at = 0; (at = run.err.find("; ", at)) != std::string::npos; ++at) {
            int before = 0, later = 0;
            if (std::sscanf(run.err.c_str() + at, "; %d frames before, %d after", &before, &later) == 2) {
                EXPECT_EQ(before + later, frames) << run.err.substr(at);
            }
        }
    } else if (c.args[0] == "record") {
        ADD_FAILURE() << "no summary: " << run.out;
    }
    if (c.args[0] == "csv") {
        // Exactly the files listed are there, as many as the message says.
        std::size_t written = 0;
        ASSERT_EQ(std::sscanf(after(run.err, "incomplete: ").c_str(), "%zu of 1000 files written", &written), 1)
            << run.err;
        std::size_t files = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            files += entry.path().extension() == ".csv";
        EXPECT_EQ(files, written);
        EXPECT_EQ(static_cast<std::size_t>(std::count(run.out.begin(), run.out.end(), '\n')), written);
    }
}

INSTANTIATE_TEST_SUITE_P(Cuts, CtlInterruptTest, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace qdx::ctl::test
