// The whole-frame check: the one test every consumer of camera frames makes
// before using one (display, still capture, calibration tools).
#pragma once

#include <cstdint>

namespace qdx::viewer {

inline constexpr int kFrameWhole = 0;
inline constexpr int kFrameWrongSize = 1;
inline constexpr int kFrameWrongMarkers = 2;

// 0 whole; 1 the byte count the library reported is not QDX_FRAME_BYTES; 2 the
// right size but the marker words at the start or the end are missing. Reads frame only when the size is right. Thread-safe.
int checkFrame(const uint8_t* frame, unsigned length);

}  // namespace qdx::viewer
