// One fresh whole frame for the calibration commands of a program without a
// display thread (qdxctl): the next frame the library delivers after the
// call, through a FrameReader of its own. The viewer's tools take theirs from
// the display thread instead (core/FrameGrab.h). Qt-free.
#pragma once

#include <chrono>
#include <cstdint>
#include <stop_token>
#include <vector>

#include "core/threads/FrameGrab.h"

namespace qdx::viewer {

// Waits for the next frame, then copies it into frame (resized to a whole
// frame) and checks it. Never beside a display thread: both would wait on
// the one semaphore.
CaptureResult captureFreshFrame(std::vector<uint8_t>& frame, std::stop_token stop = {},
                                std::chrono::milliseconds limit = kCaptureLimit);

// The message for a result other than Whole ("capture error", "capture data
// error"); empty for Whole and Stopped.
const char* captureMessage(CaptureResult result);

}  // namespace qdx::viewer
