// Recording:
//  - the JPEG encoding of one capture picture beside a bare tjCompress2 of
//    the same picture (the encoder's own cost on top of TurboJPEG);
//  - a 10 s recording of the simulated camera at 60 frames a second through
//    the real display thread: frames in the file against capture refreshes,
//    refreshes skipped, and the CPU the display and recording threads use.
#include <benchmark/benchmark.h>

#include <turbojpeg.h>

#include <atomic>
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
#include "capture/CaptureImage.h"
#include "capture/JpegEncoder.h"
#include "capture/Recorder.h"
#include "live/DisplayLoop.h"
#include "live/FrameLayout.h"
#include "live/FrameReader.h"

namespace {

using namespace qdx::viewer;
using namespace std::chrono_literals;

// A capture picture of the simulated camera's scene, colour, 404 x 404.
std::vector<uint8_t> scenePicture()
{
    std::vector<uint8_t> frame(kFrameBytes), picture(kCaptureBytes);
    if (qdx::bench::startLibraryAt(30)) {
        FrameReader reader;
        for (int i = 0; i < 3 && !(reader.wait(1s) && reader.take(frame.data())); ++i) {
        }
        convertToCapture(picture.data(), frame.data(), false, 404);
    }
    QDX_Term();
    return picture;
}

void BM_BareTjCompress2(benchmark::State& state)
{
    const auto picture = scenePicture();
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    for (auto _ : state) {
        tjCompress2(handle, picture.data(), 404, 0, 404, TJPF_BGR, &jpeg, &size, TJSAMP_420, 80, TJFLAG_BOTTOMUP);
        benchmark::DoNotOptimize(jpeg);
    }
    state.counters["bytes"] = static_cast<double>(size);
    tjFree(jpeg);
    tjDestroy(handle);
}
BENCHMARK(BM_BareTjCompress2)->Name("Jpeg/BareTjCompress2_404")->Unit(benchmark::kMicrosecond);

void BM_EncodeJpegToStream(benchmark::State& state)
{
    const auto picture = scenePicture();
    JpegEncoder encoder(404);
    uint32_t length = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(length = encoder.encodeJpegToStream(picture.data()));
    state.counters["bytes"] = length;
}
BENCHMARK(BM_EncodeJpegToStream)->Name("Jpeg/EncodeJpegToStream_404")->Unit(benchmark::kMicrosecond);

class NullSink final : public LiveViewSink {
public:
    void pictureReady(int) override {}
    void ratesChanged(int, const std::string&) override {}
};

// The capture image as the display thread refreshes it, counting refreshes
// made and refreshes skipped because the recording held the picture.
class CountingCapture final : public FrameConsumer {
public:
    void frameShown(const ShownFrame& shown) override
    {
        (image.refresh(shown.frame, shown.grey, shown.showBoundary) ? refreshed : skipped)
            .fetch_add(1, std::memory_order_relaxed);
    }
    CaptureImage image;
    std::atomic<long> refreshed{0}, skipped{0};
};

void BM_Record60fps(benchmark::State& state)
{
    const auto seconds = std::chrono::seconds(state.range(0));
    if (!qdx::bench::startLibraryAt(60)) {
        state.SkipWithError("no simulated camera");
        return;
    }
    ViewerState viewerState;
    viewerState.displayTarget = kPicturePage;
    viewerState.showBoundaryPixels = 1;
    DisplayImage image;
    NullSink sink;
    CountingCapture capture;
    DisplayLoop loop(viewerState, image, sink, {&capture});
    loop.start();
    std::this_thread::sleep_for(1s);  // the stream settles
    const std::string path = (std::filesystem::temp_directory_path() / "qdx-record-bench.avi").string();
    for (auto _ : state) {
        Recorder recorder(capture.image);
        std::string why;
        const long refreshedBefore = capture.refreshed.load(), skippedBefore = capture.skipped.load();
        const double displayBefore = qdx::bench::threadCpuSeconds("qdx-display");
        const auto start = std::chrono::steady_clock::now();
        if (!recorder.start(path, 404, nullptr, why)) {
            state.SkipWithError(why.c_str());
            break;
        }
        std::this_thread::sleep_for(seconds);
        const double recordCpu = qdx::bench::threadCpuSeconds("qdx-record");  // before the thread ends
        const RecordingReport report = recorder.stop();
        const long refreshed = capture.refreshed.load() - refreshedBefore;
        const long skipped = capture.skipped.load() - skippedBefore;
        const double displayCpu = qdx::bench::threadCpuSeconds("qdx-display") - displayBefore;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["refreshes"] = static_cast<double>(refreshed);
        state.counters["skipped"] = static_cast<double>(skipped);
        state.counters["frames_in_file"] = report.frames;
        state.counters["file_fps"] = static_cast<double>(report.rate) / report.scale;
        state.counters["display_cpu_%"] = 100 * displayCpu / wall;
        state.counters["record_cpu_%"] = 100 * recordCpu / wall;
    }
    loop.stop();
    QDX_Term();
    std::filesystem::remove(path);
}
BENCHMARK(BM_Record60fps)
    ->Name("Record/SimCamera60fps")
    ->ArgName("seconds")
    ->Arg(10)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
