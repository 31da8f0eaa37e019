// Streaming figures against the simulated camera:
//  - throughput of the viewer's consumer loop with the camera unpaced, against
//    a plain memcpy of the same bytes as the ceiling;
//  - CPU time of the library's own threads while streaming 30 frames a second.
#include <benchmark/benchmark.h>
#include <dirent.h>
#include <semaphore.h>
#include <time.h>

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

// One frame through the viewer's loop: wait, drain, index, copy.
bool takeFrame(sem_t* sem, int& lastIndex, std::vector<uint8_t>& frame)
{
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 1;
    if (sem_timedwait(sem, &deadline) != 0)
        return false;
    while (sem_trywait(sem) == 0) {
    }
    int index = 0;
    QDX_GetIndex(&index);
    if (index == lastIndex)
        return false;
    lastIndex = index;
    unsigned length = 0;
    return QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length) == 0 && length == QDX_FRAME_BYTES;
}

void BM_StreamThroughput(benchmark::State& state)
{
    if (!qdx::bench::startLibrary(true)) {
        state.SkipWithError("simulated camera not connected");
        QDX_Term();
        return;
    }
    QDXSim_SetScene(3);  // the test pattern: measure the library, not the camera model
    QDX_HANDLE handle = nullptr;
    QDX_GetDataSemaphoHandle(&handle);
    auto* sem = static_cast<sem_t*>(handle);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    int lastIndex = -1;
    int startIndex = 0;
    QDX_GetIndex(&startIndex);
    for (auto _ : state) {
        while (!takeFrame(sem, lastIndex, frame)) {
        }
        benchmark::DoNotOptimize(frame.data());
    }
    int endIndex = 0;
    QDX_GetIndex(&endIndex);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * QDX_FRAME_BYTES);
    state.counters["received_per_taken"] =
        static_cast<double>(endIndex - startIndex) / static_cast<double>(state.iterations());
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
    QDX_HANDLE handle = nullptr;
    QDX_GetDataSemaphoHandle(&handle);
    auto* sem = static_cast<sem_t*>(handle);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    int lastIndex = -1;
    double libraryNs = 0, cameraNs = 0, seconds = 0;
    int frames = 0;
    for (auto _ : state) {
        const auto before = threadCpuNs();
        const auto start = std::chrono::steady_clock::now();
        while (std::chrono::steady_clock::now() - start < std::chrono::seconds(1))
            frames += takeFrame(sem, lastIndex, frame) ? 1 : 0;
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
