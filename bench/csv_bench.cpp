// CSV export per frame (400 x 400 values, the border cut away):
//  - the plain way, one fprintf per value into a buffered file, as the yardstick;
//  - the export's formatter, std::to_chars into one buffer written at once;
//  - both into /dev/null, so the disk does not blur the comparison;
//  - the export's whole file as the writer thread writes it (a temporary
//    file, flushed to disk and renamed) in the build folder's file system;
//  - what an export of 20 frames costs the display thread per frame (the copy
//    handed to the writer thread), against the whole file above.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "capture/CsvExport.h"
#include "live/FrameLayout.h"
#include "viewer/capture/CsvReference.h"

namespace {

using namespace qdx::viewer;

std::vector<uint8_t> randomFrame()
{
    std::mt19937 random(3);
    std::vector<uint8_t> frame(kFrameBytes);
    for (auto& byte : frame)
        byte = static_cast<uint8_t>(random());
    return frame;
}

void BM_CsvFprintfPerValue(benchmark::State& state)
{
    const auto frame = randomFrame();
    std::FILE* out = std::fopen("/dev/null", "wb");
    for (auto _ : state) {
        test::writeCsvWithFprintf(out, frame.data(), false);
        std::fflush(out);
    }
    std::fclose(out);
}
BENCHMARK(BM_CsvFprintfPerValue)->Unit(benchmark::kMillisecond);

void BM_CsvToCharsOneWrite(benchmark::State& state)
{
    const auto frame = randomFrame();
    std::vector<char> buffer(kCsvMostBytes);
    std::FILE* out = std::fopen("/dev/null", "wb");
    for (auto _ : state) {
        const std::size_t length = formatCsvFrame(frame.data(), false, buffer.data());
        std::fwrite(buffer.data(), 1, length, out);
        std::fflush(out);
    }
    std::fclose(out);
}
BENCHMARK(BM_CsvToCharsOneWrite)->Unit(benchmark::kMillisecond);

void BM_CsvWholeFileToDisk(benchmark::State& state)
{
    const auto frame = randomFrame();
    const std::string path = (std::filesystem::current_path() / "csv_bench_frame.csv").string();
    std::string buffer, why;
    for (auto _ : state)
        if (!writeCsvFile(path, frame.data(), false, buffer, why))
            state.SkipWithError(why.c_str());
    std::filesystem::remove(path);
}
BENCHMARK(BM_CsvWholeFileToDisk)->Unit(benchmark::kMillisecond);

class NoSink final : public LiveViewSink {
public:
    void pictureReady(int) override {}
    void ratesChanged(int, const std::string&) override {}
};

void BM_CsvExportDisplayThreadShare(benchmark::State& state)
{
    constexpr int kFrames = 20;
    const auto frame = randomFrame();
    const std::string path = (std::filesystem::current_path() / "csv_bench_export.csv").string();
    CsvExportJob job;
    NoSink sink;
    FileWriter writer("bench-files");
    CsvExport exporter(job, sink, writer);
    for (auto _ : state) {
        state.PauseTiming();
        writer.flush();
        job.start(path, kFrames);
        state.ResumeTiming();
        for (int i = 0; i < kFrames; ++i)
            exporter.frameShown({frame.data(), true, false});
    }
    writer.flush();
    state.SetItemsProcessed(state.iterations() * kFrames);
    for (int number = 1; number <= kFrames; ++number)
        std::filesystem::remove(csvFileName(path, number));
}
BENCHMARK(BM_CsvExportDisplayThreadShare)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
