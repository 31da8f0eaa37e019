// Sizes of the camera frame as the viewer reads it and of the display image.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "QDX_API.h"

namespace qdx::viewer {

// Camera frame: 404 rows of 404 pixels, two little-endian 16-bit words a
// pixel (Cb Y0 Cr Y1 for each pixel pair), 12-bit values left-justified.
inline constexpr int kCameraSide = QDX_FRAME_WIDTH;
inline constexpr std::size_t kFrameRowBytes = kCameraSide * 4;                 // 1,616
inline constexpr std::size_t kFrameBytes = QDX_FRAME_BYTES;                    // 652,864
inline constexpr std::size_t kFrameWords = kFrameBytes / 2;
static_assert(QDX_FRAME_WIDTH == QDX_FRAME_HEIGHT && kFrameRowBytes * kCameraSide == kFrameBytes);

// Display image: 808 x 808 pixels of 4 bytes, blue, green, red and 0xFF, rows
// top first: Qt's RGB32 on a little-endian processor, which the raster engine
// paints without converting it.
static_assert(std::endian::native == std::endian::little);
inline constexpr int kDisplaySide = 2 * kCameraSide;
inline constexpr std::size_t kDisplayPixelBytes = 4;
inline constexpr std::size_t kDisplayStride = kDisplaySide * kDisplayPixelBytes;  // 3,232
inline constexpr std::size_t kDisplayBytes = kDisplayStride * kDisplaySide;       // 2,611,456

inline uint16_t frameWord(const uint8_t* frame, std::size_t index)
{
    return static_cast<uint16_t>(frame[2 * index] | (frame[2 * index + 1] << 8));
}

}  // namespace qdx::viewer
