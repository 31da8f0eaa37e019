// The viewer's live view per frame:
//  - each of the four picture routines (colour/grey, 100%/200%) and the
//    capture picture (colour/grey, 404/400), with the kernel timed fastest
//    (kernel:-1) and with each kernel the processor runs (0 plain, 1 SSSE3,
//    2 AVX2, 3 AVX-512; the label names it), beside the yardsticks: libyuv's
//    UYVYToARGB on the same pixel count (404 x 404 and 808 x 808, 8-bit samples
//    made from the frame's high bytes; it writes 4-byte pixels too) and a
//    memset of the display image (the clear the 100% routines include);
//  - the display thread's whole cost for a frame: fetch from the library,
//    whole-frame check, conversion, hand-over to the screen (buffer swap and
//    notification) and capture image refresh;
//  - the GUI thread's repaint of the picture area from the display image, as
//    the raster engine paints it into the window's backing store, beside the
//    3-byte image the viewer painted before (format:0 BGR888, 1 RGB32);
//  - the analysis window's work per shown frame (histograms and statistics)
//    on the simulated camera's colour chart and on a flat field, with its
//    share of a 60 frames/s frame period.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "CameraModel.h"
#include "FrameRenderer.h"
#include "QDX_API.h"
#include "QDX_SIM.h"
#include "capture/CaptureImage.h"
#include "live/AnalysisFeed.h"
#include "live/DisplayLoop.h"
#include "live/FrameAnalysis.h"
#include "live/FrameCheck.h"
#include "live/FrameConversion.h"
#include "live/FrameLayout.h"
#include "live/FrameReader.h"

#if QDX_HAVE_LIBYUV
#include <libyuv/convert_argb.h>
#endif

namespace {

using namespace qdx::viewer;

std::vector<uint8_t> randomFrame()
{
    std::mt19937 rng(1);
    std::vector<uint8_t> frame(kFrameBytes);
    for (auto& byte : frame)
        byte = static_cast<uint8_t>(rng());
    const uint16_t markers[4] = {QDX_FRAME_START_MARKER0, QDX_FRAME_START_MARKER1, QDX_FRAME_END_MARKER0,
                                 QDX_FRAME_END_MARKER1};
    const std::size_t at[4] = {0, 1, kFrameWords - 2, kFrameWords - 1};
    for (int i = 0; i < 4; ++i) {
        frame[2 * at[i]] = static_cast<uint8_t>(markers[i]);
        frame[2 * at[i] + 1] = static_cast<uint8_t>(markers[i] >> 8);
    }
    return frame;
}

// Arg kernel: -1 the one timed fastest, else that Kernel; false (and the run
// skipped) where the processor lacks it.
bool chooseKernel(benchmark::State& state, Conversion conversion)
{
    const auto kernel = static_cast<Kernel>(state.range(0));
    const auto runnable = runnableKernels();
    if (state.range(0) < 0) {
        state.SetLabel(std::string("timed fastest: ") + kernelName(chosenKernel(conversion)));
        return true;
    }
    if (std::find(runnable.begin(), runnable.end(), kernel) == runnable.end()) {
        state.SkipWithError("the processor lacks this kernel");
        return false;
    }
    forceKernel(kernel);
    state.SetLabel(kernelName(kernel));
    return true;
}

void applyKernels(benchmark::internal::Benchmark* b)
{
    b->ArgName("kernel")->DenseRange(-1, 3)->Unit(benchmark::kMicrosecond);
}

template <void (*Routine)(const uint8_t*, uint8_t*), Conversion Which>
void BM_Picture(benchmark::State& state)
{
    if (!chooseKernel(state, Which))
        return;
    const auto frame = randomFrame();
    std::vector<uint8_t> image(kDisplayBytes);
    for (auto _ : state) {
        Routine(frame.data(), image.data());
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    forceKernel(std::nullopt);
}
BENCHMARK(BM_Picture<convertColour100, Conversion::Colour100>)->Name("Picture/Colour100")->Apply(applyKernels);
BENCHMARK(BM_Picture<convertColour200, Conversion::Colour200>)->Name("Picture/Colour200")->Apply(applyKernels);
BENCHMARK(BM_Picture<convertGrey100, Conversion::Grey100>)->Name("Picture/Grey100")->Apply(applyKernels);
BENCHMARK(BM_Picture<convertGrey200, Conversion::Grey200>)->Name("Picture/Grey200")->Apply(applyKernels);

// The capture picture the display thread refreshes from every frame.
void BM_CapturePicture(benchmark::State& state)
{
    const bool grey = state.range(1) != 0;
    if (!chooseKernel(state, grey ? Conversion::CaptureGrey : Conversion::CaptureColour))
        return;
    const int side = static_cast<int>(state.range(2));
    const auto frame = randomFrame();
    std::vector<uint8_t> picture(kCaptureBytes);
    for (auto _ : state) {
        convertToCapture(picture.data(), frame.data(), grey, side);
        benchmark::DoNotOptimize(picture.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
    forceKernel(std::nullopt);
}
BENCHMARK(BM_CapturePicture)
    ->Name("Capture/Picture")
    ->ArgNames({"kernel", "grey", "side"})
    ->ArgsProduct({benchmark::CreateDenseRange(-1, 3, 1), {0, 1}, {404, 400}})
    ->Unit(benchmark::kMicrosecond);

void BM_MemsetDisplayImage(benchmark::State& state)
{
    std::vector<uint8_t> image(kDisplayBytes);
    for (auto _ : state) {
        std::memset(image.data(), 0, image.size());  // (0xFF in every 4th byte costs the same)
        benchmark::DoNotOptimize(image.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MemsetDisplayImage)->Name("Yardstick/memset_display_image")->Unit(benchmark::kMicrosecond);

#if QDX_HAVE_LIBYUV
// side x side pixels: the frame's high bytes, repeated as needed.
void BM_LibyuvUYVYToARGB(benchmark::State& state)
{
    const int side = static_cast<int>(state.range(0));
    const auto frame = randomFrame();
    std::vector<uint8_t> uyvy(static_cast<std::size_t>(side) * side * 2);
    for (std::size_t i = 0; i < uyvy.size(); ++i)
        uyvy[i] = frame[(2 * i + 1) % kFrameBytes];
    std::vector<uint8_t> argb(static_cast<std::size_t>(side) * side * 4);
    for (auto _ : state) {
        libyuv::UYVYToARGB(uyvy.data(), side * 2, argb.data(), side * 4, side, side);
        benchmark::DoNotOptimize(argb.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LibyuvUYVYToARGB)
    ->Name("Yardstick/libyuv_UYVYToARGB")
    ->ArgName("side")
    ->Arg(kCameraSide)
    ->Arg(kDisplaySide)
    ->Unit(benchmark::kMicrosecond);
#endif

// The region is the picture (400) or the whole frame (404); grey:1 the
// Calibration page's grey instead of colour; flat:1 an evenly lit grey card
// instead of the chart, the hardest case for counting (neighbours fall in
// the same bins). frame_period_pct is the time per analysis in per cent of
// the 16.667 ms of a frame at 60 frames/s.
void BM_Analyse(benchmark::State& state)
{
    std::vector<uint8_t> frame(kFrameBytes);
    qdx::sim::FrameRenderer renderer;
    auto settings = qdx::sim::CameraModel("").frameSettings();
    settings.scene = state.range(2) ? qdx::sim::SceneKind::FlatField : qdx::sim::SceneKind::Chart;
    renderer.render(settings, 7, frame.data());
    const PixelRect region = shownPicture(state.range(1) == kCameraSide);
    const bool grey = state.range(0) != 0;
    FrameAnalyser analyser;
    FrameAnalysis analysis;
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        analyser.analyse(frame.data(), region, grey, analysis);
        benchmark::DoNotOptimize(analysis.stats.mean);
        benchmark::ClobberMemory();
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetItemsProcessed(state.iterations());
    state.counters["frame_period_pct"] = 100.0 * elapsed.count() / static_cast<double>(state.iterations()) * 60.0;
}
BENCHMARK(BM_Analyse)
    ->Name("Analysis")
    ->ArgNames({"grey", "side", "flat"})
    ->ArgsProduct({{0, 1}, {400, 404}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

class CountingSink final : public LiveViewSink {
public:
    void pictureReady(int) override { pictures.fetch_add(1, std::memory_order_relaxed); }
    void ratesChanged(int, const std::string&) override {}
    std::atomic<long> pictures{0};
};

// Fetch, check, convert, hand over and capture refresh for one frame, with
// the simulated camera streaming; zoom and grey from the arguments, and with
// analysis:1 the Analysis window open on the whole picture with a profile
// line across it (frame_period_pct: the display thread's time per frame in
// per cent of a frame at 60 frames/s; the analysis' share is the difference
// between the rows with and without it).
void BM_DisplayThreadPerFrame(benchmark::State& state)
{
    setenv("QDX_CAMERA", "sim", 1);
    QDXSim_Reset();
    QDX_Init();
    int status = 0;
    for (int i = 0; i < 3000 && !(status & QDX_STATUS_CONNECTED); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        QDX_GetStatus(&status);
    }
    std::vector<uint8_t> frame(kFrameBytes);
    {
        FrameReader reader;
        while (!(reader.wait(std::chrono::seconds(1)) && reader.take(frame.data()))) {
        }
    }
    unsigned length = 0;

    ViewerState viewerState;
    viewerState.displayTarget = kPicturePage;
    viewerState.displayZoom = static_cast<int>(state.range(0));
    viewerState.calibrationView = static_cast<int>(state.range(1));
    DisplayImage image;
    CaptureImage capture;
    CountingSink sink;
    AnalysisFeed feed;
    feed.setActive(state.range(2) != 0);
    feed.setLine(PixelLine{{2, 2}, {401, 401}});
    DisplayLoop loop(viewerState, image, sink, {&capture, &feed});
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        QDX_GetFrame(frame.data(), kFrameBytes, &length);
        if (checkFrame(frame.data(), length) != kFrameWhole) {
            state.SkipWithError("damaged frame");
            break;
        }
        loop.present(frame.data());
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetItemsProcessed(state.iterations());
    state.counters["frame_period_pct"] = 100.0 * elapsed.count() / static_cast<double>(state.iterations()) * 60.0;
    QDX_Term();
}
BENCHMARK(BM_DisplayThreadPerFrame)
    ->Name("DisplayThread/PerFrame")
    ->ArgNames({"zoom200", "grey", "analysis"})
    ->ArgsProduct({{0, 1}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// What the GUI thread does for each shown frame: the raster engine drawing
// the display image into a window-sized surface of the backing store's
// format, timed as the whole process's CPU time, since Qt spreads a large
// conversion over worker threads. With format:0 the 3-byte image the viewer painted before, which the engine
// converts pixel by pixel; format:1 the display image as it is now.
void BM_RepaintPictureArea(benchmark::State& state)
{
    const bool rgb32 = state.range(0) != 0;
    const std::size_t stride = rgb32 ? kDisplayStride : kDisplaySide * 3;
    std::vector<uint8_t> pixels(stride * kDisplaySide, 0x80);
    const QImage picture(pixels.data(), kDisplaySide, kDisplaySide, static_cast<qsizetype>(stride),
                         rgb32 ? QImage::Format_RGB32 : QImage::Format_BGR888);
    QImage surface(kDisplaySide, kDisplaySide, static_cast<QImage::Format>(state.range(1)));
    for (auto _ : state) {
        QPainter painter(&surface);
        painter.drawImage(0, 0, picture);
        painter.end();
        benchmark::DoNotOptimize(surface.constBits());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RepaintPictureArea)
    ->Name("Gui/RepaintPictureArea")
    ->ArgNames({"format", "surface"})
    ->ArgsProduct({{0, 1}, {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}})
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
