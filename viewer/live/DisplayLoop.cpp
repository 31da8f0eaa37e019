#include "DisplayLoop.h"

#include <chrono>
#include <memory>
#include <new>

#include "FrameConversion.h"
#include "QDX_API.h"
#include "FrameLayout.h"
#include "FrameReader.h"

namespace qdx::viewer {
namespace {

constexpr auto kFrameWait = std::chrono::milliseconds(1000);

bool cameraOpen()
{
    int status = 0;
    return QDX_GetStatus(&status) == QDX_OK && (status & QDX_STATUS_CONNECTED);
}

}  // namespace

DisplayLoop::DisplayLoop(ViewerState& state, DisplayImage& image, LiveViewSink& out,
                         std::vector<FrameConsumer*> consumers, StreamHealth* health, StatusWatch* watch)
    : state_(state), image_(image), out_(out), consumers_(std::move(consumers)), health_(health), watch_(watch)
{
    std::erase(consumers_, nullptr);
}

void DisplayLoop::start()
{
    thread_.start([this](std::stop_token stop) { run(stop); });
}

void DisplayLoop::run(std::stop_token stop)
{
    std::unique_ptr<uint8_t[]> frame(new (std::nothrow) uint8_t[kFrameBytes]);
    if (!frame)
        return;  // nothing to show without it; the thread ends and a stop returns at once

    FrameReader reader;  // signals from before this thread do not count
    lastIndex_.store(0xFFFFFFFF, std::memory_order_release);
    RateMeter rates;
    rates.start(reader.delivered(), reader.restarts(), RateMeter::Clock::now());
    fillBlue(state_, image_, out_);

    while (!stop.stop_requested()) {
        const uint64_t seen = watch_ ? watch_->changes() : 0;
        reader.look();
        if (health_)
            health_->framesDelivered(reader.delivered());
        if (auto shown = rates.poll(reader.delivered(), reader.restarts(), RateMeter::Clock::now())) {
            const int target = state_.displayTarget.load(std::memory_order_acquire);
            if (target != kNoTarget)
                out_.ratesChanged(target, ratesText(*shown));
        }
        if (watch_ && !cameraOpen()) {
            // No frame can come: the frame wait would wake every slice to look
            // at the stop request, the watch wakes on the stop itself.
            watch_->waitForChange(seen, stop, kFrameWait);
            continue;
        }
        if (!reader.wait(kFrameWait, stop))
            continue;
        const auto taken = reader.take(frame.get());
        lastIndex_.store(reader.lastTaken(), std::memory_order_release);
        if (!taken)
            continue;
        bool shown = false;
        if (taken->whole() && present(frame.get(), &taken->info)) {
            rates.frameShown();
            shown = true;
        }
        if (!taken->whole())
            for (FrameConsumer* consumer : consumers_)
                consumer->frameRejected();
        if (health_) {
            health_->framesDelivered(reader.delivered());
            health_->frameTaken(taken->check, taken->length, taken->arrived, shown);
        }
    }
}

bool DisplayLoop::present(const uint8_t* frame, const QDX_FRAME_INFO* info)
{
    const uint64_t sequence = state_.presentations.begin();
    ViewOptions options;
    options.zoom200 = state_.displayZoom.load(std::memory_order_acquire) == 1;
    options.grey = state_.calibrationView.load(std::memory_order_acquire) == 1;
    options.showBoundary = state_.showBoundaryPixels.load(std::memory_order_acquire) != 0;
    image_.render(frame, options);

    bool counted = false;
    const int target = state_.displayTarget.load(std::memory_order_acquire);
    if (target != kNoTarget) {
        out_.pictureReady(target);
        counted = true;
    }
    const ShownFrame shown{frame, options.grey, options.showBoundary, sequence, info};
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
