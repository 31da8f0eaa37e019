// The camera's picture as it travels in one bulk transfer. Its layout is part
// of the public interface (QDX_API.h); these are the same values typed for C++.
#pragma once

#include <cstddef>
#include <cstdint>

#include "QDX_API.h"

namespace qdx {

inline constexpr int kFrameWidth = QDX_FRAME_WIDTH;
inline constexpr int kFrameHeight = QDX_FRAME_HEIGHT;
inline constexpr std::size_t kFrameBytes = QDX_FRAME_BYTES;
inline constexpr std::size_t kFrameWords = kFrameBytes / 2;

inline constexpr uint16_t kStartMarker0 = QDX_FRAME_START_MARKER0;
inline constexpr uint16_t kStartMarker1 = QDX_FRAME_START_MARKER1;
inline constexpr uint16_t kEndMarker0 = QDX_FRAME_END_MARKER0;
inline constexpr uint16_t kEndMarker1 = QDX_FRAME_END_MARKER1;

// Size of every bulk read and of each ring slot.
inline constexpr std::size_t kSlotSize = 1048576;
inline constexpr unsigned kSlotCount = 4;

}  // namespace qdx
