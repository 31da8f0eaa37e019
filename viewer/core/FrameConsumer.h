// Work the display thread does with each frame it shows, besides showing it:
// the capture picture for still capture and recording, and whatever else
// needs the same frames. Registered before the display thread starts.
#pragma once

#include <atomic>
#include <cstdint>

namespace qdx::viewer {

// How the frame was shown.
struct ShownFrame {
    const uint8_t* frame;  // a whole camera frame, valid during the call
    bool grey;             // calibration view
    bool showBoundary;     // "Display Boundary Pixels"
    uint64_t sequence = 0; // of this presentation, counted from 1 (0: not from the display thread); see PresentationCount
};

// Counts the presentations begun by the display thread. A presentation takes
// its number before it reads how to show the frame, so a request made after
// reading the count, and after changing how frames are shown, is only answered
// by a frame of a higher number: one shown the new way, never one already on
// its way. The seq_cst fences on both sides make this hold without a lock.
class PresentationCount {
public:
    // Display thread: the number of the presentation beginning now.
    uint64_t begin()
    {
        const uint64_t number = count_.fetch_add(1, std::memory_order_relaxed) + 1;
        std::atomic_thread_fence(std::memory_order_seq_cst);
        return number;
    }
    // Any thread: the number of the last presentation begun; one of a higher
    // number reads every setting stored before this call.
    uint64_t current() const
    {
        std::atomic_thread_fence(std::memory_order_seq_cst);
        return count_.load(std::memory_order_relaxed);
    }

private:
    std::atomic<uint64_t> count_{0};
};

class FrameConsumer {
public:
    // Display thread; must not wait for the GUI thread.
    virtual void frameShown(const ShownFrame& shown) = 0;

protected:
    ~FrameConsumer() = default;
};

}  // namespace qdx::viewer
