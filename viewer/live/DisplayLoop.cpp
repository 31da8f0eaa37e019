#include "DisplayLoop.h"

#include <semaphore.h>

#include <cerrno>
#include <chrono>
#include <ctime>
#include <memory>
#include <new>

#include "FrameCheck.h"
#include "FrameConversion.h"
#include "QDX_API.h"

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
bool waitForFrame(sem_t* sem, std::stop_token stop)
{
    const auto end = std::chrono::steady_clock::now() + kFrameWait;
    while (!stop.stop_requested()) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero())
            return false;
        if (!sem) {
            // No library semaphore: nothing can arrive, only the rates go on.
            sleepFor(stop, std::chrono::ceil<std::chrono::milliseconds>(std::min<std::chrono::nanoseconds>(left, kWaitSlice)));
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

DisplayLoop::DisplayLoop(ViewerState& state, DisplayImage& image, LiveViewSink& out,
                         std::vector<FrameConsumer*> consumers, StreamHealth* health)
    : state_(state), image_(image), out_(out), consumers_(std::move(consumers)), health_(health)
{
    std::erase(consumers_, nullptr);
}

void DisplayLoop::start()
{
    thread_.start([this](std::stop_token stop) { run(stop); });
}

void DisplayLoop::run(std::stop_token stop)
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

    while (!stop.stop_requested()) {
        if (auto shown = rates.poll(libraryIndex(), RateMeter::Clock::now())) {
            const int target = state_.displayTarget.load(std::memory_order_acquire);
            if (target != kNoTarget)
                out_.ratesChanged(target, ratesText(*shown));
        }
        if (!waitForFrame(sem, stop))
            continue;
        drain(sem);  // however many frames came, only the newest is taken

        const uint32_t index = libraryIndex();
        if (index == lastIndex_.load(std::memory_order_relaxed))
            continue;
        lastIndex_.store(index, std::memory_order_release);
        unsigned length = 0;
        const int got = QDX_GetFrame(frame.get(), static_cast<unsigned>(kFrameBytes), &length);
        if (got < 0)
            continue;
        const auto arrived = std::chrono::steady_clock::now();
        const int check = checkFrame(frame.get(), length);
        bool shown = false;
        if (check == kFrameWhole && present(frame.get())) {
            rates.frameShown();
            shown = true;
        }
        if (health_ && got == QDX_OK) {
            health_->indexSeen(static_cast<int>(index));
            health_->frameTaken(check, length, arrived, shown);
        }
    }
}

bool DisplayLoop::present(const uint8_t* frame)
{
    const uint64_t sequence = state_.presentations.begin();
    ViewOptions options;
    options.zoom200 = state_.displayZoom.load(std::memory_order_acquire) == 1;
    options.grey = state_.calibrationView.load(std::memory_order_acquire) == 1;
    options.showBoundary = state_.showBoundaryPixels.load(std::memory_order_acquire) != 0;
    image_.write([&](uint8_t* pixels) { renderFrame(frame, pixels, options); });

    bool counted = false;
    const int target = state_.displayTarget.load(std::memory_order_acquire);
    if (target != kNoTarget) {
        out_.pictureReady(target);
        counted = true;
    }
    const ShownFrame shown{frame, options.grey, options.showBoundary, sequence};
    for (FrameConsumer* consumer : consumers_)
        consumer->frameShown(shown);
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
