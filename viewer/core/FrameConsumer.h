// Work the display thread does with each frame it shows, besides showing it:
// the capture picture for still capture and recording, and whatever else
// needs the same frames. Registered before the display thread starts.
#pragma once

#include <cstdint>

namespace qdx::viewer {

// How the frame was shown.
struct ShownFrame {
    const uint8_t* frame;  // a whole camera frame, valid during the call
    bool grey;             // calibration view
    bool showBoundary;     // "Display Boundary Pixels"
};

class FrameConsumer {
public:
    // Display thread; must not wait for the GUI thread.
    virtual void frameShown(const ShownFrame& shown) = 0;

protected:
    ~FrameConsumer() = default;
};

}  // namespace qdx::viewer
