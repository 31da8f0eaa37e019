#include "CommandState.h"

#include <cstdio>

#include "Commands.h"

namespace qdx::viewer {
namespace {

// Whole seconds for the state text, truncated; nothing a media engine
// reports (unknown, negative, huge) may overflow the conversion.
int wholeSeconds(double seconds)
{
    if (!(seconds > 0))
        return 0;
    return seconds >= 2147483647.0 ? 2147483647 : static_cast<int>(seconds);
}

}  // namespace

bool CommandState::enabled(int command) const
{
    switch (command) {
    case kCmdPausePlay:
    case kCmdPlayStop:
        return playbackControls;
    case kCmdBoundaryPixels:
        return boundaryPixels;
    case kCmdSaveCsv:
        return saveCsv;
    case kCmdLoadParameterFile:
    case kCmdSaveParameterFile:
    case kCmdEepromLoad:
    case kCmdEepromSave:
    case kCmdLoadDefault:
    case kCmdSaveDefault:
    case kCmdClearDefault:
        return parameterCommands;
    default:
        return true;
    }
}

CommandState commandState(const CommandInputs& in)
{
    CommandState s;
    s.playbackControls = in.playback != 0;
    s.boundaryPixels = !in.recording;
    s.saveCsv = in.page == kCalibrationPage && !in.csvExport;
    s.csvControls = !in.csvExport;
    // A parameter command would write the camera under a table transfer
    // that the window used to wait for.
    s.parameterCommands = !in.longCommand;
    s.videoCaptureButton = in.recording ? "Stop Capture" : "Video Capture";
    s.videoCaptureItem = in.recording ? "Stop Video Capture" : "Start Video Capture";
    // A playback keeps its own text whatever a recording does; the live
    // view's comes back with the playback's end.
    if (in.playback == 0)
        s.stateText = in.recording ? "LIVE (REC)" : "LIVE";
    else if (in.count)
        s.stateText = playbackCountText(in.playback, *in.count);
    else
        s.stateText = in.playback == 2 ? "PAUSE" : "PLAY";
    return s;
}

std::string playbackCountText(int state, const PlaybackCount& count)
{
    const char* word = state == 1 ? "PLAY" : state == 2 ? "PAUSE" : nullptr;
    if (!word)
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%s [%d / %dsec]", word, wholeSeconds(count.position),
                  wholeSeconds(count.duration));
    return text;
}

}  // namespace qdx::viewer
