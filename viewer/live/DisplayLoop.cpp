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

// The library's time of the frame's last byte (CLOCK_MONOTONIC, steady_clock's
// own), so that the rates count arrivals, not the moments the thread got round
// to taking them; the time of taking when the library gave none.
StreamHealth::Clock::time_point arrivalOf(const TakenFrame& taken)
{
    if (taken.info.monotonicNs <= 0)
        return taken.arrived;
    return StreamHealth::Clock::time_point(std::chrono::nanoseconds(taken.info.monotonicNs));
}

}  // namespace

DisplayLoop::DisplayLoop(ViewerState& state, DisplayImage& image, LiveViewSink& out,
                         std::vector<FrameConsumer*> consumers, StreamHealth* health, StatusWatch* watch)
    : state_(state),
      image_(image),
      out_(out),
      consumers_(std::move(consumers)),
      health_(health ? health : &ownHealth_),
      watch_(watch)
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
    auto nextRates = StreamHealth::Clock::now();  // the first line at once
    fillBlue(state_, image_, out_);

    while (!stop.stop_requested()) {
        const uint64_t seen = watch_ ? watch_->changes() : 0;
        reader.look();
        health_->framesDelivered(reader.delivered());
        if (const auto now = StreamHealth::Clock::now(); now >= nextRates) {
            nextRates = now + std::chrono::seconds(1);
            const Rates rates = health_->closeSecond(now);
            const int target = state_.displayTarget.load(std::memory_order_acquire);
            if (target != kNoTarget)
                out_.ratesChanged(target, ratesText(rates));
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
        if (taken->whole() && present(frame.get(), &taken->info))
            shown = true;
        if (!taken->whole())
            for (FrameConsumer* consumer : consumers_)
                consumer->frameRejected();
        health_->framesDelivered(reader.delivered());
        health_->frameTaken(taken->check, taken->length, arrivalOf(*taken), shown, taken->info.index);
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
