#include "CalibrationCapture.h"

#include "FrameCheck.h"
#include "FrameLayout.h"
#include "core/Worker.h"

namespace qdx::viewer {

CaptureResult captureFreshFrame(std::vector<uint8_t>& frame, std::stop_token stop, std::chrono::milliseconds limit)
{
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    int first = 0;
    QDX_GetIndex(&first);
    int now = first;
    // The library's counter has no wait of its own (its semaphore belongs to
    // the display thread), so it is polled; the stop token ends the wait.
    while (now == first) {
        if (Clock::now() - start > limit)
            return CaptureResult::NoFrame;
        if (!sleepFor(stop, std::chrono::milliseconds(2)))
            return CaptureResult::Stopped;
        QDX_GetIndex(&now);
    }
    frame.assign(kFrameBytes, 0);
    unsigned length = 0;
    QDX_GetFrame(frame.data(), static_cast<unsigned>(frame.size()), &length);
    return checkFrame(frame.data(), length) == kFrameWhole ? CaptureResult::Whole : CaptureResult::Damaged;
}

const char* captureMessage(CaptureResult result)
{
    switch (result) {
    case CaptureResult::NoFrame:
        return "capture error";
    case CaptureResult::Damaged:
        return "capture data error";
    case CaptureResult::Whole:
    case CaptureResult::Stopped:
        break;
    }
    return "";
}

}  // namespace qdx::viewer
