// Frames the simulated camera renders per second on one core: the sensor
// model and every pipeline stage switched on, and the plain picture.
#include <benchmark/benchmark.h>

#include <vector>

#include "CameraModel.h"
#include "FrameRenderer.h"
#include "protocol/FrameFormat.h"

namespace {

using qdx::sim::CameraModel;
using qdx::sim::FrameRenderer;
using qdx::sim::FrameSettings;

FrameSettings settings(bool everyStage)
{
    CameraModel model("");
    if (everyStage) {
        namespace reg = qdx::reg;
        for (auto [r, v] : {std::pair{QDX_REG_DP_CORR, 1}, {QDX_REG_FPN_CORR, 2}, {QDX_REG_VFPN_CORR, 1},
                            {QDX_REG_GAMMA, 2}, {QDX_REG_NOISE_REDUCTION, 2}, {QDX_REG_EDGE_ENHANCEMENT, 2},
                            {QDX_REG_IMAGE_ROTATION, 1}, {QDX_REG_RED_GAIN, 20}, {QDX_REG_CIS_CLOCK_PHASE, 7}})
            model.setRegister(r, static_cast<uint16_t>(v), false);
        for (int i = 0; i < reg::kFpnTableRegisters; ++i)
            model.setRegister(reg::kFpnTable + i, static_cast<uint16_t>(i * 2654435761u >> 16), false);
    }
    return model.frameSettings();
}

void renderFrames(benchmark::State& state, bool everyStage)
{
    const FrameSettings s = settings(everyStage);
    FrameRenderer renderer;
    std::vector<uint8_t> frame(qdx::kFrameBytes);
    uint64_t number = 0;
    for (auto _ : state) {
        renderer.render(s, number++, frame.data());
        benchmark::DoNotOptimize(frame.data());
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RenderEveryStage(benchmark::State& state)
{
    renderFrames(state, true);
}
BENCHMARK(BM_RenderEveryStage)->Unit(benchmark::kMillisecond);

void BM_RenderPowerOn(benchmark::State& state)
{
    renderFrames(state, false);
}
BENCHMARK(BM_RenderPowerOn)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
