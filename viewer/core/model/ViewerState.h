// The viewer-wide state through which the main window, its pages and the
// viewer's threads talk. Every member is an atomic with one writing thread
// (named beside it), or an object that guards its own state (the ready gate,
// the CSV export); readers poll it. Owned by the program object.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stop_token>

#include "core/threads/CsvExportJob.h"
#include "core/threads/FrameConsumer.h"
#include "core/threads/FrameGrab.h"

namespace qdx::viewer {

// Which page receives the live picture and the rates line.
inline constexpr int kNoTarget = -1;
inline constexpr int kPicturePage = 0;
inline constexpr int kCalibrationPage = 1;

// The window and its two pages report here once built; the device monitor
// waits for all three before it reports anything into them.
class ReadyGate {
public:
    enum Part { MainWindow = 1, PicturePage = 2, CalibrationPage = 4 };

    // GUI thread.
    void set(Part part);
    void clear();
    bool has(Part part) const { return (parts_.load(std::memory_order_acquire) & part) != 0; }
    bool all() const { return parts_.load(std::memory_order_acquire) == kAll; }

    // Any thread: returns true once all three are set, false when stop is
    // requested first.
    bool wait(std::stop_token stop);

private:
    static constexpr int kAll = MainWindow | PicturePage | CalibrationPage;
    std::atomic<int> parts_{0};
    std::mutex mutex_;  // Pairs with changed_; parts_ changes under it
    std::condition_variable_any changed_;
};

struct ViewerState {
    ReadyGate ready;
    std::atomic<int> displayTarget{kNoTarget};  // GUI thread (page activation, close)
    std::atomic<int> displayZoom{0};            // GUI thread: 0 "100%", 1 "200%", 2 fitted
    std::atomic<int> calibrationView{0};        // GUI thread: 1 while the Calibration page is shown
    std::atomic<int> showBoundaryPixels{0};     // GUI thread ("Display Boundary Pixels")
    PresentationCount presentations;            // display thread, read by the consumers' requesters
    // CSV frame export: started and aborted by the GUI thread, claimed by the
    // display thread, counted down by the file writer.
    CsvExportJob csvExport;
    FrameGrab calibrationGrab;                  // asked by the Calibration tools, answered by the display thread
    std::atomic<int> recordingActive{0};        // GUI thread: a video recording runs
    std::atomic<int> csvFrameCount{1};          // GUI thread (Calibration page's frame count)
    std::atomic<int> debugSlaveAddress{0x58};   // GUI thread (Debug dialog's I2C slave, kept between openings)
    // GUI thread (playback): 0 nothing plays, 1 playing, 2 paused. While it is
    // not 0 the Picture page shows the file in place of the live picture.
    std::atomic<int> playbackState{0};
};

}  // namespace qdx::viewer
