#include "DisplayLoop.h"

#include <semaphore.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>
#include <new>
#include <thread>

#include "FrameCheck.h"
#include "FrameConversion.h"
#include "QDX_API.h"
#include "capture/CaptureImage.h"

namespace qdx::viewer {
namespace {

constexpr auto kFrameWait = std::chrono::milliseconds(1000);
// The frame wait is cut into slices so that a stop is noticed soon even
// while no camera sends anything.
constexpr auto kWaitSlice = std::chrono::milliseconds(50);

uint32_t libraryIndex()
{
    int index = 0;
    QDX_GetIndex(&index);
    return static_cast<uint32_t>(index);
}

void drain(sem_t* sem)
{
    while (sem_trywait(sem) == 0) {
    }
}

timespec monotonicIn(std::chrono::nanoseconds delay)
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const long long ns = ts.tv_nsec + delay.count();
    ts.tv_sec += static_cast<time_t>(ns / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return ts;
}

// Waits up to one second for a frame signal; false on time-out or stop.
bool waitForFrame(sem_t* sem, const std::atomic<int>& run)
{
    const auto end = std::chrono::steady_clock::now() + kFrameWait;
    while (run.load(std::memory_order_acquire) == 1) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero())
            return false;
        if (!sem) {
            // No library semaphore: nothing can arrive, only the rates go on.
            std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(left, kWaitSlice));
            continue;
        }
        const timespec deadline = monotonicIn(std::min<std::chrono::nanoseconds>(left, kWaitSlice));
        if (sem_clockwait(sem, CLOCK_MONOTONIC, &deadline) == 0)
            return true;
        if (errno != ETIMEDOUT && errno != EINTR)
            return false;
    }
    return false;
}

}  // namespace

DisplayLoop::DisplayLoop(ViewerState& state, DisplayImage& image, CaptureImage* capture, LiveViewSink& out,
                         FrameTasks& tasks)
    : state_(state), image_(image), capture_(capture), out_(out), tasks_(tasks), thread_(state.display, "qdx-display")
{
}

DisplayLoop::~DisplayLoop()
{
    stop();
}

void DisplayLoop::start()
{
    thread_.start([this] { run(); });
}

void DisplayLoop::stop()
{
    thread_.stop();
}

void DisplayLoop::run()
{
    QDX_HANDLE handle = nullptr;
    QDX_GetDataSemaphoHandle(&handle);
    auto* sem = static_cast<sem_t*>(handle);
    if (sem)
        drain(sem);  // signals from before this thread do not count

    std::unique_ptr<uint8_t[]> frame(new (std::nothrow) uint8_t[kFrameBytes]);
    if (!frame)
        return;  // nothing to show without it; the thread ends and a stop returns at once

    RateMeter rates;
    rates.start(libraryIndex(), RateMeter::Clock::now());
    lastIndex_.store(0xFFFFFFFF, std::memory_order_release);
    fillBlue(state_, image_, out_);

    while (state_.display.run.load(std::memory_order_acquire) == 1) {
        if (auto shown = rates.poll(libraryIndex(), RateMeter::Clock::now())) {
            const int target = state_.displayTarget.load(std::memory_order_acquire);
            if (target != kNoTarget)
                out_.ratesChanged(target, ratesText(*shown));
        }
        if (!waitForFrame(sem, state_.display.run))
            continue;
        drain(sem);  // however many frames came, only the newest is taken

        const uint32_t index = libraryIndex();
        if (index == lastIndex_.load(std::memory_order_relaxed))
            continue;
        lastIndex_.store(index, std::memory_order_release);
        unsigned length = 0;
        if (QDX_GetFrame(frame.get(), static_cast<unsigned>(kFrameBytes), &length) < 0 ||
            checkFrame(frame.get(), length) != kFrameWhole)
            continue;
        if (present(frame.get()))
            rates.frameShown();
    }
}

bool DisplayLoop::present(const uint8_t* frame)
{
    ViewOptions options;
    options.zoom200 = state_.displayZoom.load(std::memory_order_acquire) == 1;
    options.grey = state_.calibrationView.load(std::memory_order_acquire) == 1;
    options.showBoundary = state_.showBoundaryPixels.load(std::memory_order_acquire) != 0;
    image_.write([&](uint8_t* pixels) { renderFrame(frame, pixels, options); });

    bool counted = false;
    const int target = state_.displayTarget.load(std::memory_order_acquire);
    if (target != kNoTarget) {
        // A file playing on the Picture page covers the live picture there.
        if (state_.playbackState.load(std::memory_order_acquire) == 0 || target == kCalibrationPage)
            out_.pictureReady(target);
        counted = true;
    }

    if (capture_)
        capture_->refresh(frame, options.grey, options.showBoundary);

    if (state_.stillCaptureRequest.load(std::memory_order_acquire) == 1) {
        tasks_.stillCapture(frame);
        state_.stillCaptureRequest.store(0, std::memory_order_release);
    }

    if (state_.csvExportActive.load(std::memory_order_acquire) == 1) {
        const bool first = state_.csvFramesRemaining.load(std::memory_order_acquire) ==
                           state_.csvFrameCount.load(std::memory_order_acquire);
        const int result = tasks_.appendCsvFrame(frame, first);
        const int remaining = state_.csvFramesRemaining.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (remaining <= 0 || result < 0) {
            state_.csvExportActive.store(0, std::memory_order_release);
            out_.csvExportEnded();
        }
    }
    return counted;
}

void fillBlue(ViewerState& state, DisplayImage& image, LiveViewSink& out)
{
    const int target = state.displayTarget.load(std::memory_order_acquire);
    if (target == kNoTarget)
        return;
    image.fillBlue();
    out.pictureReady(target);
}

}  // namespace qdx::viewer
