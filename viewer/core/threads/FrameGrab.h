// One frame for the Calibration tools, taken from the display thread: the
// next frame it takes after the request, a copy when whole. The tools never
// call the library for frames beside the display thread, whose frames and
// "repeated" state stay its own. Qt-free.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <vector>

#include "FrameConsumer.h"

namespace qdx::viewer {

enum class CaptureResult {
    Whole,     // frame holds a whole frame
    NoFrame,   // no new frame within the time limit: "capture error"
    Damaged,   // wrong length or marker words: "capture data error"
    Stopped,   // stop was requested while waiting
};

inline constexpr std::chrono::milliseconds kCaptureLimit{5000};

class FrameGrab final : public FrameConsumer {
public:
    // Any thread but the display thread: waits for the next frame the display
    // thread takes and copies it into frame (resized to a whole frame) when
    // it is whole. One caller at a time.
    CaptureResult grab(std::vector<uint8_t>& frame, std::stop_token stop = {},
                       std::chrono::milliseconds limit = kCaptureLimit);

    // Display thread.
    void frameShown(const ShownFrame& shown) override;
    void frameRejected() override;

private:
    void answer(const uint8_t* frame);

    std::mutex mutex_;  // Protects target_ and answer_ (the grabbing thread asks, the display thread answers)
    std::condition_variable_any wake_;
    std::vector<uint8_t>* target_ = nullptr;  // set while a grab waits
    CaptureResult answer_ = CaptureResult::NoFrame;
    bool answered_ = false;
};

}  // namespace qdx::viewer
