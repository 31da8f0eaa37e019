// The display thread: waits for the library's frames, shows the newest whole
// one on the display target's page, counts the rates once a second, and hands
// each shown frame to the capture image, a pending still capture and a
// running CSV export.
#pragma once

#include <atomic>
#include <cstdint>

#include "DisplayImage.h"
#include "LiveViewSink.h"
#include "RateMeter.h"
#include "shell/HandshakeThread.h"
#include "shell/ViewerState.h"

namespace qdx::viewer {

class CaptureImage;

class DisplayLoop {
public:
    // Everything given must outlive the loop; capture may be null (no capture
    // image). The library must be up from start() until stop() has returned.
    DisplayLoop(ViewerState& state, DisplayImage& image, CaptureImage* capture, LiveViewSink& out,
                FrameTasks& tasks);
    ~DisplayLoop();  // stops

    // Start and stop with the hand-shake of state.display. Owner's thread.
    void start();
    void stop();

    // Steps after a whole frame was fetched: convert it into the display image
    // with the current options, show it on the target, refresh the capture
    // image, serve a still capture and a CSV export. Returns whether it counts
    // as displayed. Display thread (or a caller standing in for it).
    bool present(const uint8_t* frame);

    // The frame index of the last frame taken (0xFFFFFFFF before the first).
    uint32_t lastIndex() const { return lastIndex_.load(std::memory_order_acquire); }

private:
    void run();

    ViewerState& state_;
    DisplayImage& image_;
    CaptureImage* capture_;
    LiveViewSink& out_;
    FrameTasks& tasks_;
    std::atomic<uint32_t> lastIndex_{0xFFFFFFFF};  // written by the display thread
    HandshakeThread thread_;
};

// If there is a display target: paint the display image blue and show it.
void fillBlue(ViewerState& state, DisplayImage& image, LiveViewSink& out);

}  // namespace qdx::viewer
