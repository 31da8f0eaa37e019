// Work the display thread does with each frame it shows, besides showing it:
// the capture picture for still capture and recording, and whatever else
// needs the same frames. Registered before the display thread starts.
#pragma once

#include <cstdint>
#include <mutex>

#include "QDX_API.h"

namespace qdx::viewer {

// How the frame was shown.
struct ShownFrame {
    const uint8_t* frame;  // a whole camera frame, valid during the call
    bool grey;             // calibration view
    bool showBoundary;     // "Display Boundary Pixels"
    uint64_t sequence = 0; // of this presentation, counted from 1 (0: not from the display thread); see PresentationCount
    const QDX_FRAME_INFO* info = nullptr;  // the library's info on the frame, when known
};

// Counts the presentations begun by the display thread. A presentation takes
// its number before it reads how to show the frame, so a request made after
// changing how frames are shown, and reading the count then, is only
// answered by a frame of a higher number: one shown the new way, never one
// already on its way. The lock orders the two: a presentation numbered after
// the reading acquires it after the requester released it, so it sees every
// setting stored before.
class PresentationCount {
public:
    // Display thread: the number of the presentation beginning now.
    uint64_t begin()
    {
        std::lock_guard lock(mutex_);
        return ++count_;
    }
    // Any thread: the number of the last presentation begun.
    uint64_t current() const
    {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    mutable std::mutex mutex_;  // Protects count_ (display thread counts, requesters read)
    uint64_t count_ = 0;
};

class FrameConsumer {
public:
    // Display thread; must not wait for the GUI thread nor for a file.
    virtual void frameShown(const ShownFrame& shown) = 0;
    // Display thread: a new frame was taken but failed the whole-frame check.
    virtual void frameRejected() {}

protected:
    ~FrameConsumer() = default;
};

}  // namespace qdx::viewer
