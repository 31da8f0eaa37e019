// The display thread: takes the library's frames through a FrameReader, shows
// the newest whole one on the display target's page, counts the rates once a
// second, and hands each shown frame to the frame consumers (the capture
// picture first). It never waits for a file: consumers hand their writing to
// threads of their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "DisplayImage.h"
#include "LiveViewSink.h"
#include "RateMeter.h"
#include "StreamHealth.h"
#include "core/device/StatusWatch.h"
#include "core/model/ViewerState.h"
#include "core/threads/FrameConsumer.h"
#include "core/threads/Worker.h"

namespace qdx::viewer {

class DisplayLoop {
public:
    // Everything given must outlive the loop; consumers are served in the
    // order given, null ones left out; health (if any) counts the frames
    // taken and shown (without one the loop counts its rates line
    // in one of its own); with a status watch the loop sleeps on it while no
    // camera is open instead of waking for frames that cannot come. The
    // library must be up from start() until stop() has returned.
    DisplayLoop(ViewerState& state, DisplayImage& image, LiveViewSink& out,
                std::vector<FrameConsumer*> consumers = {}, StreamHealth* health = nullptr,
                StatusWatch* watch = nullptr);

    // Start (returns once the thread runs) and stop (returns once it ended).
    // Owner's thread.
    void start();
    void stop() { thread_.stop(); }
    Worker::State state() const { return thread_.state(); }

    // Steps after a whole frame was fetched: convert it into the display image
    // with the current options, show it on the target, hand it to the
    // consumers (with info, the library's account of the frame, when it
    // came from the library). Returns whether it counts as displayed.
    // Display thread (or a caller standing in for it).
    bool present(const uint8_t* frame, const QDX_FRAME_INFO* info = nullptr);

    // The frame index of the last frame taken (0xFFFFFFFF before the first).
    uint32_t lastIndex() const { return lastIndex_.load(std::memory_order_acquire); }

private:
    void run(std::stop_token stop);

    ViewerState& state_;
    DisplayImage& image_;
    LiveViewSink& out_;
    std::vector<FrameConsumer*> consumers_;  // fixed once built
    StreamHealth ownHealth_;
    StreamHealth* health_;  // never null
    StatusWatch* watch_;
    std::atomic<uint32_t> lastIndex_{0xFFFFFFFF};  // written by the display thread
    Worker thread_{"qdx-display"};
};

// If there is a display target: paint the display image blue and show it.
void fillBlue(ViewerState& state, DisplayImage& image, LiveViewSink& out);

}  // namespace qdx::viewer
