// The main window's command state without widgets: which items are greyed
// and what the texts say for each combination of page, recording, playback,
// CSV export and long command.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ostream>
#include <vector>

#include "core/commands/CommandState.h"
#include "core/commands/Commands.h"

namespace qdx::viewer {
namespace {

struct StateCase {
    const char* name;
    CommandInputs in;
    const char* stateText;
    std::vector<int> greyed;  // menu items not to be used; every other one may be
    bool csvControls = true;
};

void PrintTo(const StateCase& c, std::ostream* os)
{
    *os << c.name;
}

constexpr int kCal = kCalibrationPage, kPic = kPicturePage;
constexpr PlaybackCount kAt12Of60{12.7, 60.4};
const std::vector<int> kIdleGreyed{kCmdPausePlay, kCmdPlayStop, kCmdSaveCsv};

class CommandStateTest : public ::testing::TestWithParam<StateCase> {};

// Guards the rules of the menu, the page buttons and the state text as one
// function of the values: a text or a greyed item may not depend on the
// order in which a recording, a playback and an export began and ended
// (stopping a recording during playback keeps the playback's text, stopping
// playback during a recording gives "LIVE (REC)").
TEST_P(CommandStateTest, ItemsAndTextsFollowTheValues)
{
    const StateCase& c = GetParam();
    const CommandState s = commandState(c.in);
    EXPECT_EQ(s.stateText, c.stateText);
    EXPECT_EQ(s.videoCaptureButton, c.in.recording ? "Stop Capture" : "Video Capture");
    EXPECT_EQ(s.videoCaptureItem, c.in.recording ? "Stop Video Capture" : "Start Video Capture");
    EXPECT_EQ(s.csvControls, c.csvControls);
    for (int command = kCmdVersion; command <= kCmdKeyboardShortcuts; ++command)
        EXPECT_EQ(s.enabled(command), std::find(c.greyed.begin(), c.greyed.end(), command) == c.greyed.end())
            << command;
}

INSTANTIATE_TEST_SUITE_P(
    Rules, CommandStateTest,
    // Inputs: page, recording, playback, count, CSV export, long command.
    ::testing::Values(
        StateCase{"PictureIdle", {kPic, false, 0, {}, false, false}, "LIVE", kIdleGreyed},
        StateCase{"CalibrationOffersCsv", {kCal, false, 0, {}, false, false}, "LIVE", {kCmdPausePlay, kCmdPlayStop}},
        StateCase{"CsvExportOnCalibration", {kCal, false, 0, {}, true, false}, "LIVE", kIdleGreyed, false},
        StateCase{"CsvExportLeftToPicture", {kPic, false, 0, {}, true, false}, "LIVE", kIdleGreyed, false},
        StateCase{"Recording", {kCal, true, 0, {}, false, false}, "LIVE (REC)",
                  {kCmdPausePlay, kCmdPlayStop, kCmdBoundaryPixels}},
        StateCase{"PlayStarted", {kPic, false, 1, {}, false, false}, "PLAY", {kCmdSaveCsv}},
        StateCase{"PlayCounted", {kPic, false, 1, kAt12Of60, false, false}, "PLAY [12 / 60sec]", {kCmdSaveCsv}},
        StateCase{"Paused", {kPic, false, 2, {}, false, false}, "PAUSE", {kCmdSaveCsv}},
        StateCase{"PausedCountedWhileRecording", {kPic, true, 2, kAt12Of60, false, false}, "PAUSE [12 / 60sec]",
                  {kCmdSaveCsv, kCmdBoundaryPixels}},
        StateCase{"PlayingWhileRecording", {kPic, true, 1, {}, false, false}, "PLAY",
                  {kCmdSaveCsv, kCmdBoundaryPixels}},
        StateCase{"LongCommand", {kCal, false, 0, {}, false, true}, "LIVE",
                  {kCmdPausePlay, kCmdPlayStop, kCmdLoadParameterFile, kCmdSaveParameterFile, kCmdEepromLoad,
                   kCmdEepromSave, kCmdLoadDefault, kCmdSaveDefault, kCmdClearDefault}}),
    [](const auto& p) { return std::string(p.param.name); });

// Guards the seconds the operator reads: truncated, not rounded, and nothing
// an engine reports before it knows the length (negative, not a number,
// huge) overflowing the text.
TEST(PlaybackCountTextTest, SecondsTruncate)
{
    EXPECT_EQ(playbackCountText(2, {12.7, 60.4}), "PAUSE [12 / 60sec]");
    EXPECT_EQ(playbackCountText(1, {-0.5, std::nan("")}), "PLAY [0 / 0sec]");
    EXPECT_EQ(playbackCountText(1, {0, 1e300}), "PLAY [0 / 2147483647sec]");
    EXPECT_EQ(playbackCountText(0, {3, 4}), "");
}

}  // namespace
}  // namespace qdx::viewer
