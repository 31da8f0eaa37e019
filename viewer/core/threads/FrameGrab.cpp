#include "FrameGrab.h"

#include <algorithm>

#include "QDX_API.h"

namespace qdx::viewer {

CaptureResult FrameGrab::grab(std::vector<uint8_t>& frame, std::stop_token stop, std::chrono::milliseconds limit)
{
    frame.assign(QDX_FRAME_BYTES, 0);
    std::unique_lock lock(mutex_);
    target_ = &frame;
    answered_ = false;
    const bool answered = wake_.wait_for(lock, stop, limit, [this] { return answered_; });
    // From here on the display thread leaves frame alone.
    target_ = nullptr;
    if (answered)
        return answer_;
    return stop.stop_requested() ? CaptureResult::Stopped : CaptureResult::NoFrame;
}

void FrameGrab::frameShown(const ShownFrame& shown)
{
    answer(shown.frame);
}

void FrameGrab::frameRejected()
{
    answer(nullptr);
}

void FrameGrab::answer(const uint8_t* frame)
{
    {
        std::lock_guard lock(mutex_);
        if (!target_ || answered_)
            return;
        if (frame)
            std::copy_n(frame, QDX_FRAME_BYTES, target_->data());
        answer_ = frame ? CaptureResult::Whole : CaptureResult::Damaged;
        answered_ = true;
    }
    wake_.notify_all();
}

}  // namespace qdx::viewer
