// Lossless recording:
//  - FFV1 encoding and Matroska writing of one simulated-camera frame, per
//    layout (the encoder thread's cost per frame);
//  - a recording of the simulated camera at 60 (and 30) frames a second
//    through the real display thread, as the viewer records: frames the
//    camera sent against frames in the file (counted again by ffprobe),
//    frames skipped because the queue was full, and the CPU of the encoder's
//    thread and FFmpeg's slice threads; the 60 s run is the figure the
//    README gives.
#include <benchmark/benchmark.h>

#include <pthread.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "QDX_API.h"
#include "QDX_SIM.h"
#include "BenchSupport.h"
#include "capture/LosslessRecorder.h"
#include "capture/LosslessWriter.h"
#include "live/DisplayLoop.h"
#include "live/FrameLayout.h"
#include "live/FrameReader.h"

namespace {

using namespace qdx::viewer;
using namespace std::chrono_literals;

// A frame of the simulated camera's chart.
std::vector<uint8_t> sceneFrame()
{
    std::vector<uint8_t> frame(kFrameBytes);
    if (qdx::bench::startLibraryAt(30)) {
        FrameReader reader;
        for (int i = 0; i < 3 && !(reader.wait(1s) && reader.take(frame.data())); ++i) {
        }
    }
    QDX_Term();
    return frame;
}

std::string benchPath(const char* name)
{
    return (std::filesystem::temp_directory_path() / name).string();
}

void BM_EncodeFrame(benchmark::State& state)
{
    const bool grey = state.range(0) == 1;
    const int side = static_cast<int>(state.range(1));
    const auto frame = sceneFrame();
    const std::string path = benchPath("qdx-lossless-bench.mkv");
    LosslessWriter writer;
    std::string why;
    if (writer.open(path, side, grey, why) != LosslessWriter::kOk) {
        state.SkipWithError(why.c_str());
        return;
    }
    int64_t ms = 0;
    for (auto _ : state)
        writer.writeFrame(frame.data(), ms += 16, why);
    state.counters["bytes_per_frame"] = static_cast<double>(writer.fileSize()) / static_cast<double>(state.iterations());
    writer.close(why);
    std::filesystem::remove(path);
}
BENCHMARK(BM_EncodeFrame)
    ->Name("Lossless/EncodeFrame")
    ->ArgNames({"grey", "side"})
    ->Args({0, 404})
    ->Args({0, 400})
    ->Args({1, 400})
    ->Unit(benchmark::kMillisecond);

class NullSink final : public LiveViewSink {
public:
    void pictureReady(int) override {}
    void ratesChanged(int, const std::string&) override {}
};

unsigned long long simDelivered()
{
    unsigned long long delivered = 0;
    QDXSim_GetBulkStats(&delivered, nullptr, nullptr);
    return delivered;
}

long ffprobeFrames(const std::string& path)
{
    const std::string command = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                "stream=nb_read_frames -of csv=p=0 '" + path + "'";
    long frames = -1;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        if (std::fscanf(pipe, "%ld", &frames) != 1)
            frames = -1;
        ::pclose(pipe);
    }
    return frames;
}

void BM_Lossless60fps(benchmark::State& state)
{
    const auto seconds = std::chrono::seconds(state.range(0));
    const int fps = static_cast<int>(state.range(1));
    const bool grey = state.range(2) == 1;
    if (!qdx::bench::startLibraryAt(fps)) {
        state.SkipWithError("no simulated camera");
        return;
    }
    ViewerState viewerState;
    viewerState.displayTarget = kPicturePage;
    DisplayImage image;
    NullSink sink;
    LosslessRecorder recorder;
    DisplayLoop loop(viewerState, image, sink, {&recorder});
    loop.start();
    std::this_thread::sleep_for(1s);  // the stream settles
    const std::string path = benchPath("qdx-lossless-60fps.mkv");
    for (auto _ : state) {
        std::string why;
        const unsigned long long sentBefore = simDelivered();
        const auto start = std::chrono::steady_clock::now();
        // FFmpeg's slice threads are made by the thread that opens the
        // encoder and take its name: this one, named for them meanwhile.
        pthread_setname_np(pthread_self(), "qdx-ffv1-slices");
        const bool started = recorder.start(path, 400, grey, nullptr, why);
        pthread_setname_np(pthread_self(), "qdx_lossless_be");
        if (!started) {
            state.SkipWithError(why.c_str());
            break;
        }
        std::this_thread::sleep_for(seconds);
        // Before the threads end.
        const double encoderCpu = qdx::bench::threadCpuSeconds("qdx-lossless") + qdx::bench::threadCpuSeconds("qdx-ffv1-slices");
        const LosslessReport report = recorder.stop();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.PauseTiming();  // ffprobe decodes the whole file
        state.counters["frames_sent"] = static_cast<double>(simDelivered() - sentBefore);
        state.counters["frames_in_file"] = report.frames;
        state.counters["ffprobe_frames"] = static_cast<double>(ffprobeFrames(path));
        state.counters["skipped_queue_full"] = static_cast<double>(report.skipped);
        state.counters["encoder_ms_per_frame"] = report.frames ? 1000 * encoderCpu / report.frames : 0;
        state.counters["encoder_cpu_%"] = 100 * encoderCpu / wall;
        state.ResumeTiming();
    }
    loop.stop();
    QDX_Term();
    std::filesystem::remove(path);
}
BENCHMARK(BM_Lossless60fps)
    ->Name("Lossless/SimCamera60fps")
    ->ArgNames({"seconds", "fps", "grey"})
    ->Args({10, 60, 0})
    ->Args({10, 60, 1})
    ->Args({10, 30, 0})
    ->Args({60, 60, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
