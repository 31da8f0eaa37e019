// Which of the main window's commands may be used and what its texts say,
// computed from what the viewer is doing: the page shown, a recording, a
// playback, a CSV export, a long command running beside the window. The
// window gathers these and applies the result in one function, so no text
// or greyed item is left behind by the order in which things end. Qt-free.
#pragma once

#include <optional>
#include <string>

#include "core/model/ViewerState.h"

namespace qdx::viewer {

// Where a playback stands in its file, as its once-a-second count read it.
struct PlaybackCount {
    double position = 0;  // seconds
    double duration = 0;
};

struct CommandInputs {
    int page = kPicturePage;      // the page shown
    bool recording = false;       // a video recording runs
    int playback = 0;             // 0 idle, 1 playing, 2 paused
    // The count taken since the playback last started, paused or resumed;
    // none until the next tick of the count.
    std::optional<PlaybackCount> count;
    bool csvExport = false;       // a CSV export runs
    bool longCommand = false;     // a camera table command runs beside the window
};

struct CommandState {
    bool playbackControls = false;   // "Pause / Play", "Play Stop"
    bool boundaryPixels = true;      // the picture side of a recording is fixed at its start
    bool saveCsv = false;            // the menu item: luma values exist only on the Calibration page
    bool csvControls = true;         // the Calibration page's "Save as CSV", frame count and its arrows
    bool parameterCommands = true;   // settings file and EEPROM items, "Default", "Data Write", "Data Read"
    std::string videoCaptureButton;  // both pages' "Video Capture" button
    std::string videoCaptureItem;    // its menu item
    std::string stateText;           // the Picture page's state text

    // Whether the menu item of command (and each page button standing for
    // it) may be used.
    bool enabled(int command) const;
    bool operator==(const CommandState&) const = default;
};

CommandState commandState(const CommandInputs& in);

// "PLAY [position / durationsec]" while playing (state 1), "PAUSE [...]"
// while paused (state 2), in whole seconds truncated; empty when idle.
std::string playbackCountText(int state, const PlaybackCount& count);

}  // namespace qdx::viewer
