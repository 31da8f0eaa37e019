// One fresh whole frame for the Calibration tools: the newest frame once the
// library's frame counter has moved on from where it stood at the call.
// Qt-free; any thread (the display thread goes on taking frames meanwhile).
#pragma once

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <vector>

namespace qdx::viewer {

enum class CaptureResult {
    Whole,     // frame holds a whole frame
    NoFrame,   // no new frame within the time limit: "capture error"
    Damaged,   // wrong length or marker words: "capture data error"
    Stopped,   // stop was requested while waiting
};

inline constexpr std::chrono::milliseconds kCaptureLimit{5000};

// Waits for the counter to change (polled every 2 ms), then copies the
// newest frame into frame (resized to a whole frame) and checks it.
CaptureResult captureFreshFrame(std::vector<uint8_t>& frame, std::stop_token stop = {},
                                std::chrono::milliseconds limit = kCaptureLimit);

// The message for a result other than Whole ("capture error", "capture data
// error"); empty for Whole and Stopped.
const char* captureMessage(CaptureResult result);

}  // namespace qdx::viewer
