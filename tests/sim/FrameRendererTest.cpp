// The simulated camera's frames, byte for byte: a faster renderer must draw
// exactly the picture (and report exactly the measurements) it always drew,
// since golden checks and calibration runs downstream rest on it.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "CameraModel.h"
#include "FrameRenderer.h"
#include "protocol/RegisterEncoding.h"

namespace qdx::sim {
namespace {

struct RegisterValue {
    int address;
    int value;
};

struct RenderCase {
    const char* name;
    SceneKind scene;
    int dataFormat;
    std::vector<RegisterValue> registers;
    int fpnMode;  // 0: FPN table left zero; else the table is filled and this mode chosen
    bool defects;  // both defect-pixel tables list the sensor's stuck pixels and the edges
    uint64_t expectedHash;
};

uint64_t fnv1a(uint64_t hash, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const uint8_t*>(data);
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001B3ull;
    return hash;
}

FrameSettings settingsFor(const RenderCase& c)
{
    CameraModel model("");
    model.setScene(c.scene);
    for (const auto& r : c.registers)
        model.setRegister(r.address, static_cast<uint16_t>(r.value), false);
    if (c.fpnMode != 0) {
        model.setRegister(QDX_REG_FPN_CORR, static_cast<uint16_t>(c.fpnMode), false);
        for (int i = 0; i < reg::kFpnTableRegisters; ++i)
            model.setRegister(reg::kFpnTable + i, static_cast<uint16_t>(i * 2654435761u >> 16), false);
    }
    if (c.defects) {
        model.setRegister(QDX_REG_DP_CORR, 1, false);
        std::vector<std::pair<int, int>> places{{0, 10}, {kFrameWidth - 1, 20}, {0, 0}};
        for (const auto* list : {&sensorFlaws().stuckDark, &sensorFlaws().stuckBright})
            places.insert(places.end(), list->begin(), list->end());
        for (std::size_t i = 0; i < places.size(); ++i) {
            model.setRegister(reg::kDpTable0 + 2 * static_cast<int>(i), static_cast<uint16_t>(places[i].first), false);
            model.setRegister(reg::kDpTable0 + 2 * static_cast<int>(i) + 1, static_cast<uint16_t>(places[i].second), false);
        }
    }
    FrameSettings settings = model.frameSettings();
    settings.dataFormat = c.dataFormat;
    return settings;
}

int sm8(int v)
{
    return encodeRegister(Encoding::SM8, v);
}

int s9(int v)
{
    return encodeRegister(Encoding::S9, v);
}

void PrintTo(const RenderCase& c, std::ostream* os)
{
    *os << c.name;
}

class FrameRendererTest : public testing::TestWithParam<RenderCase> {};

// Guards against a change to the renderer (a faster stage, a table made once
// instead of per frame, a reordered sum) that alters a single byte of a frame
// or a single bit of its measurements. The hashes were taken from the renderer
// as it stood before it was made faster.
TEST_P(FrameRendererTest, DrawsTheSameFramesAsAlways)
{
    const RenderCase& c = GetParam();
    const FrameSettings settings = settingsFor(c);
    FrameRenderer renderer;
    std::vector<uint8_t> frame(kFrameBytes);
    uint64_t hash = 0xCBF29CE484222325ull;
    // The noise runs on from frame to frame; the disc moves and turns back at 120.
    for (uint64_t number : {0ull, 1ull, 2ull, 131ull}) {
        const FrameStatistics stats = renderer.render(settings, number, frame.data());
        hash = fnv1a(hash, frame.data(), frame.size());
        hash = fnv1a(hash, &stats.valid, sizeof stats.valid);
        hash = fnv1a(hash, &stats.meteredLuma, sizeof stats.meteredLuma);
        hash = fnv1a(hash, stats.samples.data(), stats.samples.size() * sizeof stats.samples[0]);
    }
    EXPECT_EQ(hash, c.expectedHash) << std::hex << "0x" << hash;
}

const RenderCase kCases[] = {
    {"PowerOn", SceneKind::Chart, 0, {}, 0, false, 0x39a3f345e167b46eull},
    {"EveryStage", SceneKind::Chart, 0,
     {{QDX_REG_VFPN_CORR, 1}, {QDX_REG_GAMMA, 2}, {QDX_REG_NOISE_REDUCTION, 2}, {QDX_REG_EDGE_ENHANCEMENT, 2},
      {QDX_REG_IMAGE_ROTATION, 1}, {QDX_REG_RED_GAIN, 20}, {QDX_REG_CIS_CLOCK_PHASE, 7}},
     2, true, 0xf52a1cd82ad5ffe3ull},
    {"FlippedTurnedStrongest", SceneKind::FlatField, 0,
     {{QDX_REG_VFPN_CORR, 1}, {QDX_REG_GAMMA, 1}, {QDX_REG_NOISE_REDUCTION, 3}, {QDX_REG_EDGE_ENHANCEMENT, 3},
      {QDX_REG_IMAGE_ROTATION, 3}, {QDX_REG_IMAGE_FLIP, 3}, {QDX_REG_BLACK_LEVEL, 30}, {QDX_REG_RAW_GAIN, 40},
      {QDX_REG_BLUE_GAIN, sm8(-40)}, {QDX_REG_CIS_CLOCK_PHASE, 10}},
     1, true, 0x36e12902a647abe2ull},
    {"SaturatedMatrixAndGains", SceneKind::Chart, 0,
     {{QDX_REG_GAMMA, 3}, {QDX_REG_NOISE_REDUCTION, 1}, {QDX_REG_EDGE_ENHANCEMENT, 1}, {QDX_REG_IMAGE_ROTATION, 2},
      {QDX_REG_IMAGE_FLIP, 1}, {QDX_REG_EXPOSURE_TIME, 900}, {QDX_REG_RAW_GAIN, 70},
      {QDX_REG_COLOR_MATRIX_RR, s9(200)}, {QDX_REG_COLOR_MATRIX_RG, s9(-50)}, {QDX_REG_COLOR_MATRIX_RB, s9(-22)},
      {QDX_REG_COLOR_MATRIX_GR, s9(-30)}, {QDX_REG_COLOR_MATRIX_GB, s9(-256)}, {QDX_REG_COLOR_MATRIX_BR, s9(255)},
      {QDX_REG_Y_GAIN, sm8(60)}, {QDX_REG_CB_GAIN, sm8(-90)}, {QDX_REG_CR_GAIN, sm8(255)},
      {QDX_REG_CONTROL_AREA1, 3}, {QDX_REG_CONTROL_AREA2, 1}},
     3, false, 0xccd32a74beb6a888ull},
    {"LinearTurnedOnce", SceneKind::Dark, 0,
     {{QDX_REG_GAMMA, 0}, {QDX_REG_IMAGE_ROTATION, 1}, {QDX_REG_IMAGE_FLIP, 2}, {QDX_REG_BLACK_LEVEL, 100},
      {QDX_REG_RAW_GAIN, 255}, {QDX_REG_CIS_CLOCK_PHASE, 3}},
     0, false, 0x34ea62c058862cf0ull},
    {"SensorLuma", SceneKind::Chart, 1,
     {{QDX_REG_CIS_CLOCK_PHASE, 12}, {QDX_REG_RAW_GAIN, 32}, {QDX_REG_BLACK_LEVEL, 10}, {QDX_REG_CONTROL_AREA1, 7}},
     2, true, 0xc2ba1785c3c3145full},
    {"ColourBars", SceneKind::ColourBars, 0, {}, 0, false, 0x5e3e8fad24ab2572ull},
};

INSTANTIATE_TEST_SUITE_P(Frames, FrameRendererTest, testing::ValuesIn(kCases),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace qdx::sim
