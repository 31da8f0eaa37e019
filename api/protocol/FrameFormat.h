// The camera's picture as it travels in one bulk transfer: 404 rows of 404
// pixels, two 16-bit little-endian words per pixel (Cb Y0 Cr Y1 for each pixel
// pair, 12-bit values left-justified), framed by two marker words at each end.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qdx {

inline constexpr int kFrameWidth = 404;
inline constexpr int kFrameHeight = 404;
inline constexpr std::size_t kFrameWords = std::size_t{kFrameWidth} * kFrameHeight * 2;
inline constexpr std::size_t kFrameBytes = kFrameWords * 2;  // 652,864

inline constexpr uint16_t kStartMarker0 = 0xFF00;
inline constexpr uint16_t kStartMarker1 = 0x0080;
inline constexpr uint16_t kEndMarker0 = 0xFF00;
inline constexpr uint16_t kEndMarker1 = 0x009D;

// Size of every bulk read and of each ring slot.
inline constexpr std::size_t kSlotSize = 1048576;
inline constexpr unsigned kSlotCount = 4;

}  // namespace qdx
