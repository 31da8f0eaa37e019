// Streaming figures against the simulated camera:
//  - throughput of the frame reader (the viewer's and qdxctl's consumer loop)
//    with the camera unpaced, against
//    a plain memcpy of the same bytes as the ceiling;
//  - CPU time of the library's own threads while streaming 30 frames a second.
#include <benchmark/benchmark.h>
#include <dirent.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "QDX_API.h"
#include "QDX_SIM.h"
#include "live/FrameReader.h"

namespace {

// Nanoseconds of CPU time per thread name, from the scheduler's statistics.
std::map<std::string, double> threadCpuNs()
{
    std::map<std::string, double> cpu;
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return cpu;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        const std::string base = std::string("/proc/self/task/") + entry->d_name;
        std::ifstream comm(base + "/comm"), sched(base + "/schedstat");
        std::string name;
        double ns = 0;
        std::getline(comm, name);
        sched >> ns;
        cpu[name] += ns;
    }
    closedir(dir);
    return cpu;
}

// One new frame through the frame reader the viewer and qdxctl use: wait,
// drain, index, copy, check.
bool takeFrame(qdx::viewer::FrameReader& reader, std::vector<uint8_t>& frame)
{
    if (!reader.wait(std::chrono::seconds(1)))
        return false;
    const auto taken = reader.take(frame.data());
    return taken && taken->whole();
}

void BM_StreamThroughput(benchmark::State& state)
{
    if (!qdx::bench::startLibrary(true)) {
        state.SkipWithError("simulated camera not connected");
        QDX_Term();
        return;
    }
    QDXSim_SetScene(3);  // the test pattern: measure the library, not the camera model
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    qdx::viewer::FrameReader reader;
    for (auto _ : state) {
        while (!takeFrame(reader, frame)) {
        }
        benchmark::DoNotOptimize(frame.data());
    }
    reader.look();
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * QDX_FRAME_BYTES);
    state.counters["received_per_taken"] =
        static_cast<double>(reader.delivered()) / static_cast<double>(state.iterations());
    QDX_Term();
}
BENCHMARK(BM_StreamThroughput)->UseRealTime()->MinTime(3.0)->Unit(benchmark::kMillisecond);

void BM_MemcpyCeiling(benchmark::State& state)
{
    std::vector<uint8_t> source(QDX_FRAME_BYTES, 0x5A), target(QDX_FRAME_BYTES);
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), QDX_FRAME_BYTES);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * QDX_FRAME_BYTES);
}
BENCHMARK(BM_MemcpyCeiling)->Unit(benchmark::kMicrosecond);

// Each iteration streams one second at 30 fps; the counters give the CPU
// share of one core used by the library's threads and by the camera model.
void BM_IdleCostAt30Fps(benchmark::State& state)
{
    if (!qdx::bench::startLibrary()) {
        state.SkipWithError("simulated camera not connected");
        QDX_Term();
        return;
    }
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    qdx::viewer::FrameReader reader;
    double libraryNs = 0, cameraNs = 0, seconds = 0;
    int frames = 0;
    for (auto _ : state) {
        const auto before = threadCpuNs();
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
            frames += takeFrame(reader, frame) ? 1 : 0;
        const auto after = threadCpuNs();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        for (const char* name : {"qdx-connection", "qdx-reader"})
            libraryNs += after.at(name) - before.at(name);
        cameraNs += after.at("qdx-sim-cam0") - before.at("qdx-sim-cam0");
    }
    state.counters["library_cpu_percent"] = 100.0 * libraryNs / 1e9 / seconds;
    state.counters["camera_model_cpu_percent"] = 100.0 * cameraNs / 1e9 / seconds;
    state.counters["frames_per_second"] = frames / seconds;
    QDX_Term();
}
BENCHMARK(BM_IdleCostAt30Fps)->Iterations(5)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace

QDX_SIM_BENCHMARK_MAIN()
