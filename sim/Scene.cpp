#include "Scene.h"

#include <cmath>

namespace qdx::sim {

namespace {

struct Rgb {
    float r, g, b;
};

// Reflectances in linear light of a classic 24-patch colour chart; the last
// row is six grey steps from white to black.
constexpr Rgb kChart[24] = {
    {0.173f, 0.085f, 0.058f}, {0.545f, 0.301f, 0.223f}, {0.121f, 0.198f, 0.337f}, {0.098f, 0.153f, 0.055f},
    {0.235f, 0.214f, 0.432f}, {0.129f, 0.514f, 0.406f}, {0.686f, 0.201f, 0.027f}, {0.073f, 0.104f, 0.388f},
    {0.545f, 0.085f, 0.119f}, {0.107f, 0.044f, 0.143f}, {0.336f, 0.502f, 0.051f}, {0.765f, 0.370f, 0.020f},
    {0.027f, 0.050f, 0.286f}, {0.073f, 0.296f, 0.071f}, {0.439f, 0.031f, 0.040f}, {0.840f, 0.576f, 0.010f},
    {0.509f, 0.086f, 0.300f}, {0.000f, 0.238f, 0.373f}, {0.900f, 0.900f, 0.900f}, {0.590f, 0.590f, 0.590f},
    {0.360f, 0.360f, 0.360f}, {0.195f, 0.195f, 0.195f}, {0.090f, 0.090f, 0.090f}, {0.031f, 0.031f, 0.031f},
};

// Fully saturated patches: red, green, blue, cyan, magenta, yellow.
constexpr Rgb kSaturated[6] = {{0.95f, 0.02f, 0.02f}, {0.02f, 0.95f, 0.02f}, {0.02f, 0.02f, 0.95f},
                               {0.02f, 0.95f, 0.95f}, {0.95f, 0.02f, 0.95f}, {0.95f, 0.95f, 0.02f}};

constexpr float kBackground = 0.18f;

void fillRect(ScenePlanes& planes, int x0, int y0, int x1, int y1, Rgb c)
{
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const auto p = static_cast<std::size_t>(y * kFrameWidth + x);
            planes.rgb[0][p] = c.r;
            planes.rgb[1][p] = c.g;
            planes.rgb[2][p] = c.b;
        }
}

void fill(ScenePlanes& planes, float value)
{
    for (auto& plane : planes.rgb)
        plane.assign(kScenePixels, value);
}

void buildChart(ScenePlanes& planes)
{
    fill(planes, kBackground);
    // 6 x 4 patches of 52 x 40 pixels with 6-pixel gaps, in the upper left.
    for (int i = 0; i < 24; ++i) {
        const int x0 = 16 + (i % 6) * 58;
        const int y0 = 16 + (i / 6) * 46;
        fillRect(planes, x0, y0, x0 + 52, y0 + 40, kChart[i]);
    }
    // Saturated patches below the chart.
    for (int i = 0; i < 6; ++i)
        fillRect(planes, 16 + i * 58, 206, 16 + i * 58 + 52, 236, kSaturated[i]);
    // Fine detail at the lower right: black and white bars getting finer to
    // the right, then a radial star.
    for (int y = 250; y < 290; ++y)
        for (int x = 200; x < 390; ++x) {
            const int period = 12 - (x - 200) / 20;  // 12 .. 3 pixels
            const bool white = ((x - 200) % std::max(period, 2)) < std::max(period, 2) / 2;
            fillRect(planes, x, y, x + 1, y + 1, white ? Rgb{0.85f, 0.85f, 0.85f} : Rgb{0.04f, 0.04f, 0.04f});
        }
    const float cx = 295.0f, cy = 340.0f, radius = 45.0f;
    for (int y = 295; y < 386; ++y)
        for (int x = 250; x < 341; ++x) {
            const float dx = static_cast<float>(x) - cx, dy = static_cast<float>(y) - cy;
            if (dx * dx + dy * dy > radius * radius)
                continue;
            const float angle = std::atan2(dy, dx);
            const bool white = std::sin(angle * 18.0f) > 0;
            fillRect(planes, x, y, x + 1, y + 1, white ? Rgb{0.85f, 0.85f, 0.85f} : Rgb{0.04f, 0.04f, 0.04f});
        }
}

}  // namespace

ScenePlanes buildScene(SceneKind kind)
{
    ScenePlanes planes;
    switch (kind) {
    case SceneKind::Chart:
        buildChart(planes);
        break;
    case SceneKind::FlatField:
        fill(planes, 0.5f);
        break;
    case SceneKind::Dark:
    case SceneKind::ColourBars:
        fill(planes, 0.0f);
        break;
    }
    return planes;
}

// A white disc with a dark rim rolls to and fro across the lower left, one
// pass every four seconds at 30 frames a second.
RowSpan drawMovingElement(SceneKind kind, uint64_t frameNumber, ScenePlanes& planes)
{
    if (kind != SceneKind::Chart)
        return {};
    constexpr int period = 120;
    const int phase = static_cast<int>(frameNumber % (2 * period));
    const int travel = phase < period ? phase : 2 * period - phase;
    const int cx = 40 + travel * (170 - 40) / period;
    const int cy = 320;
    constexpr int radius = 22;
    for (int y = cy - radius; y <= cy + radius; ++y)
        for (int x = cx - radius; x <= cx + radius; ++x) {
            const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            if (d2 > radius * radius)
                continue;
            const float v = d2 > (radius - 4) * (radius - 4) ? 0.05f : 0.92f;
            const auto p = static_cast<std::size_t>(y * kFrameWidth + x);
            planes.rgb[0][p] = v;
            planes.rgb[1][p] = v;
            planes.rgb[2][p] = v;
        }
    return {cy - radius, cy + radius + 1};
}

}  // namespace qdx::sim
