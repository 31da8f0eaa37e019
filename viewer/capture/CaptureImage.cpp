#include "CaptureImage.h"

#include "live/FrameConversion.h"

namespace qdx::viewer {

void convertToCapture(uint8_t* dest, const uint8_t* frame, bool grey, int side)
{
    convertCapturePicture(dest, frame, grey, side);
}

CaptureImage::CaptureImage() : pixels_(std::make_unique<uint8_t[]>(kCaptureBytes)) {}

bool CaptureImage::refresh(const uint8_t* frame, bool grey, bool showBoundary)
{
    std::unique_lock lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    side_ = captureSide(showBoundary);
    convertToCapture(pixels_.get(), frame, grey, side_);
    count_.fetch_add(1, std::memory_order_release);
    return true;
}

}  // namespace qdx::viewer
