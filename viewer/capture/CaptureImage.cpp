#include "CaptureImage.h"

#include "live/FrameConversion.h"
#include "live/FrameLayout.h"

namespace qdx::viewer {

void convertToCapture(uint8_t* dest, const uint8_t* frame, bool grey, int side)
{
    const int first = (kCameraSide - side) / 2;  // 0, or 2 when the border is cut off
    const std::size_t rowBytes = static_cast<std::size_t>(side) * 3;
    for (int i = 0; i < side; ++i) {
        const uint8_t* src = frame + (first + i) * kFrameRowBytes;
        uint8_t* out = dest + (side - 1 - i) * rowBytes;  // bottom-up
        for (int p = first; p < first + side; ++p, out += 3) {
            const uint8_t* pair = src + (p / 2) * 8;
            if (grey) {
                out[0] = out[1] = out[2] = src[4 * p + 3];
                continue;
            }
            const int cb = ((pair[0] | (pair[1] << 8)) >> 4) - 2048;
            const int cr = ((pair[4] | (pair[5] << 8)) >> 4) - 2048;
            const uint8_t* luma = pair + ((p & 1) ? 6 : 2);
            const Bgr c = yuvToBgr((luma[0] | (luma[1] << 8)) >> 4, cb, cr);
            out[0] = c.b;
            out[1] = c.g;
            out[2] = c.r;
        }
    }
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
