// What the simulated camera looks at: reflectances in linear light, three
// planes of 404 x 404, and the light that falls on them.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "protocol/FrameFormat.h"

namespace qdx::sim {

enum class SceneKind : int {
    Chart = 0,       // colour chart, grey steps, saturated patches, fine detail, a moving disc
    FlatField = 1,   // an evenly lit neutral grey card: what calibration measures
    Dark = 2,        // the lens capped
    ColourBars = 3,  // the FPGA's own test pattern, bypassing sensor and pipeline
};

inline constexpr int kScenePixels = kFrameWidth * kFrameHeight;

// The light is a little warm: red 2 dB above green, blue 3 dB below.
inline constexpr std::array<float, 3> kIlluminant{1.2589f, 1.0f, 0.7079f};

struct ScenePlanes {
    std::array<std::vector<float>, 3> rgb;  // reflectance 0..1 per channel, row-major
};

// The still part of a scene.
ScenePlanes buildScene(SceneKind kind);

// Rows [first, last) of a picture.
struct RowSpan {
    int first = 0;
    int last = 0;
};

// Draws the scene's moving element for this frame (the chart's disc) and
// returns the rows it drew on, so that the still scene can be put back there
// instead of copied whole every frame.
RowSpan drawMovingElement(SceneKind kind, uint64_t frameNumber, ScenePlanes& planes);

}  // namespace qdx::sim
