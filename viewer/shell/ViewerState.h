// The viewer-wide state through which the main window, its pages and the
// viewer's threads talk. Every member is an atomic with one writing thread
// (named beside it); readers poll. Owned by ViewerProgram.
#pragma once

#include <atomic>
#include <cstdint>

namespace qdx::viewer {

// The run/state hand-shake of one viewer thread.
struct ThreadControl {
    std::atomic<int> run{0};    // written by the starter/stopper; the thread runs while 1
    std::atomic<int> state{0};  // written by the thread: 0 starting, 1 running, 2 ended
};

// Which page receives the live picture and the rates line.
inline constexpr int kNoTarget = -1;
inline constexpr int kPicturePage = 0;
inline constexpr int kCalibrationPage = 1;

struct ViewerState {
    std::atomic<int> mainWindowReady{0};         // main window, once its pages are built
    std::atomic<int> picturePageReady{0};        // Picture page, once built
    std::atomic<int> calibrationPageReady{0};    // Calibration page, once built
    ThreadControl monitor;                       // run: entry; state: monitor thread
    ThreadControl display;                       // run: display start/stop; state: display thread
    std::atomic<int> displayTarget{kNoTarget};   // GUI thread (page activation, close)
    std::atomic<int> displayZoom{0};             // GUI thread: 0 "100%", 1 "200%"
    std::atomic<int> calibrationView{0};         // GUI thread: 1 while the Calibration page is shown
    std::atomic<int> showBoundaryPixels{0};      // GUI thread ("Display Boundary Pixels")
    std::atomic<int> windowMode{0};              // GUI thread, from QDX_Viewer.ini: 0 compact
    std::atomic<int> expertMode{0};              // GUI thread, from QDX_Viewer.ini
    std::atomic<int> stillCaptureRequest{0};     // set by the GUI thread, cleared by the display thread
    std::atomic<int> csvExportActive{0};         // set by the GUI thread, cleared by the display thread
    std::atomic<int> csvFramesRemaining{0};      // GUI thread at start, then the display thread
    std::atomic<int> csvFrameCount{1};           // GUI thread (Calibration page)
    std::atomic<int> recordingActive{0};         // recording
    std::atomic<int> playbackState{0};           // GUI thread: 0 nothing plays, 1 playing, 2 paused
};

// The program's own version: major, minor, build, revision.
struct ProgramVersion {
    uint16_t major = 0, minor = 0, build = 0, revision = 0;
};

}  // namespace qdx::viewer
