// The Calibration tools per frame: defect-pixel detection (a full scan that
// finds nothing, and one that stops at its 64th defect), FPN detection and
// the FPN text, beside a plain scan that sums the same frame's luma words
// as the yardstick of touching every pixel once.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "QDX_API.h"
#include "core/calibration/Calibration.h"

namespace {

using namespace qdx::viewer;

std::vector<uint8_t> noisyFrame()
{
    std::mt19937 rng(1);
    std::normal_distribution<float> level(2000.0f, 60.0f);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    for (std::size_t i = 0; i < frame.size(); i += 2) {
        const auto word = static_cast<uint16_t>(static_cast<int>(level(rng)) << 4);
        frame[i] = static_cast<uint8_t>(word);
        frame[i + 1] = static_cast<uint8_t>(word >> 8);
    }
    return frame;
}

void PlainScan(benchmark::State& state)
{
    const auto frame = noisyFrame();
    for (auto _ : state) {
        uint32_t sum = 0;
        for (std::size_t i = 2; i < frame.size(); i += 4)
            sum += static_cast<uint32_t>(frame[i] | frame[i + 1] << 8) >> 4;
        benchmark::DoNotOptimize(sum);
    }
}

void DefectDetectionFindsNone(benchmark::State& state)
{
    const auto frame = noisyFrame();
    DpTable table;
    for (auto _ : state)
        benchmark::DoNotOptimize(detectDefectPixels(frame.data(), 250, DefectKind::Bright, table));
}

void DefectDetectionStopsAt64(benchmark::State& state)
{
    const auto frame = noisyFrame();
    DpTable table;
    for (auto _ : state)
        benchmark::DoNotOptimize(detectDefectPixels(frame.data(), 0, DefectKind::Bright, table));
}

void FpnDetection(benchmark::State& state)
{
    const auto frame = noisyFrame();
    auto table = std::make_unique<FpnTable>();
    for (auto _ : state) {
        detectFixedPattern(frame.data(), *table);
        benchmark::DoNotOptimize(table->bytes().data());
    }
}

void FpnText(benchmark::State& state)
{
    const auto frame = noisyFrame();
    auto table = std::make_unique<FpnTable>();
    detectFixedPattern(frame.data(), *table);
    for (auto _ : state)
        benchmark::DoNotOptimize(fpnText(*table));
}

}  // namespace

BENCHMARK(PlainScan)->Unit(benchmark::kMicrosecond);
BENCHMARK(DefectDetectionFindsNone)->Unit(benchmark::kMicrosecond);
BENCHMARK(DefectDetectionStopsAt64)->Unit(benchmark::kMicrosecond);
BENCHMARK(FpnDetection)->Unit(benchmark::kMicrosecond);
BENCHMARK(FpnText)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
