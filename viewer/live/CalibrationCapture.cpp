#include "CalibrationCapture.h"

#include "FrameLayout.h"
#include "FrameReader.h"

namespace qdx::viewer {

CaptureResult captureFreshFrame(std::vector<uint8_t>& frame, std::stop_token stop, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    FrameReader reader;
    frame.assign(kFrameBytes, 0);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds::zero())
            return CaptureResult::NoFrame;
        if (!reader.wait(left, stop)) {
            if (stop.stop_requested())
                return CaptureResult::Stopped;
            continue;
        }
        if (const auto taken = reader.take(frame.data()))
            return taken->whole() ? CaptureResult::Whole : CaptureResult::Damaged;
    }
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
