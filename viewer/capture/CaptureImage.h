// The capture picture: the frame as still capture and recording take it,
// 404 x 404 (boundary pixels shown) or 400 x 400 (border cut off), 3 bytes a
// pixel blue-green-red, rows stored bottom-up.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stop_token>

#include "FrameTimes.h"
#include "core/threads/FrameConsumer.h"

namespace qdx::viewer {

inline constexpr std::size_t kCaptureBytes = 404 * 404 * 3;  // 489,648

// Side of the capture picture for the boundary option.
inline int captureSide(bool showBoundary)
{
    return showBoundary ? 404 : 400;
}

// Converts a whole frame into dest (side x side x 3 bytes; side 404 or 400),
// colour or grey with the display's arithmetic.
void convertToCapture(uint8_t* dest, const uint8_t* frame, bool grey, int side);

// The program's capture image, refreshed by the display thread from every
// frame it shows while a reader wants it (a recording runs), and read by the
// reader while it holds the image.
class CaptureImage final : public FrameConsumer {
public:
    CaptureImage();  // zero-filled

    // Any thread: a reader says it wants refreshes from now on, and that it
    // no longer does. Without one the display thread converts nothing.
    void addReader() { readers_.fetch_add(1, std::memory_order_acq_rel); }
    void removeReader() { readers_.fetch_sub(1, std::memory_order_acq_rel); }

    // Display thread: while a reader wants it, converts the frame into the
    // image and counts the refresh, unless a reader holds the image (then it
    // is left alone).
    void frameShown(const ShownFrame& shown) override
    {
        if (readers_.load(std::memory_order_acquire) > 0)
            refresh(shown.frame, shown.grey, shown.showBoundary, shown.info);
    }
    // Returns whether it refreshed. info (if any) stamps the picture.
    bool refresh(const uint8_t* frame, bool grey, bool showBoundary, const QDX_FRAME_INFO* info = nullptr);

    // Reader: the image stays unchanged while the returned lock is held.
    std::unique_lock<std::mutex> hold() { return std::unique_lock(mutex_); }
    // With hold() in force: the pixels and the picture's side.
    const uint8_t* pixels() const { return pixels_.get(); }
    int side() const { return side_; }
    // With hold() in force: when the pictured frame arrived.
    FrameStamp stamp() const { return stamp_; }

    // Refreshes so far. Any thread.
    uint32_t count() const { return count_.load(std::memory_order_acquire); }
    // Any thread: waits until count() differs from seen, stop is requested or
    // the time-out passes, and returns count().
    uint32_t waitForRefresh(uint32_t seen, std::stop_token stop, std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;  // Protects pixels_' contents, side_ and stamp_ (refresh writes, hold() readers)
    std::unique_ptr<uint8_t[]> pixels_;
    int side_ = 404;
    FrameStamp stamp_;
    std::atomic<uint32_t> count_{0};  // written by the display thread
    std::atomic<int> readers_{0};
    std::mutex waitMutex_;  // Pairs with refreshed_; taken by refresh after counting, so no wake-up is lost
    std::condition_variable_any refreshed_;
};

}  // namespace qdx::viewer
