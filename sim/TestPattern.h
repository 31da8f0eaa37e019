// A moving test picture in the camera's frame layout: colour bars over a grey
// ramp, with a bright vertical bar that moves a few pixels per frame.
#pragma once

#include <cstdint>

#include "CameraModel.h"

namespace qdx::sim {

// Writes one whole frame (kFrameBytes) with its marker words.
void renderTestPattern(const FrameSettings& settings, uint64_t frameNumber, uint8_t* out);

}  // namespace qdx::sim
