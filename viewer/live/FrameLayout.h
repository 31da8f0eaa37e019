// Sizes of the camera frame as the viewer reads it and of the display image.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qdx::viewer {

// Camera frame: 404 rows of 404 pixels, two little-endian 16-bit words a
// pixel (Cb Y0 Cr Y1 for each pixel pair), 12-bit values left-justified.
inline constexpr int kCameraSide = 404;
inline constexpr std::size_t kFrameRowBytes = kCameraSide * 4;                 // 1,616
inline constexpr std::size_t kFrameBytes = kFrameRowBytes * kCameraSide;       // 652,864
inline constexpr std::size_t kFrameWords = kFrameBytes / 2;

// Display image: 808 x 808 pixels, blue-green-red, rows top first.
inline constexpr int kDisplaySide = 808;
inline constexpr std::size_t kDisplayStride = kDisplaySide * 3;                // 2,424
inline constexpr std::size_t kDisplayBytes = kDisplayStride * kDisplaySide;    // 1,958,592

inline uint16_t frameWord(const uint8_t* frame, std::size_t index)
{
    return static_cast<uint16_t>(frame[2 * index] | (frame[2 * index + 1] << 8));
}

}  // namespace qdx::viewer
