#include "CaptureImage.h"

#include "live/FrameConversion.h"

namespace qdx::viewer {

void convertToCapture(uint8_t* dest, const uint8_t* frame, bool grey, int side)
{
    convertCapturePicture(dest, frame, grey, side);
}

CaptureImage::CaptureImage() : pixels_(std::make_unique<uint8_t[]>(kCaptureBytes)) {}

bool CaptureImage::refresh(const uint8_t* frame, bool grey, bool showBoundary, const QDX_FRAME_INFO* info)
{
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    side_ = captureSide(showBoundary);
    convertToCapture(pixels_.get(), frame, grey, side_);
    stamp_ = frameStamp(info);
    count_.fetch_add(1, std::memory_order_release);
    lock.unlock();
    {
        std::lock_guard wake(waitMutex_);
    }
    refreshed_.notify_all();
    return true;
}

uint32_t CaptureImage::waitForRefresh(uint32_t seen, std::stop_token stop, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(waitMutex_);
    refreshed_.wait_for(lock, stop, timeout, [&] { return count() != seen; });
    return count();
}

}  // namespace qdx::viewer
