#include "StillCapture.h"

#include <utility>

#include "BmpFile.h"
#include "CaptureImage.h"

namespace qdx::viewer {

StillCapture::StillCapture(const PresentationCount& presentations, FileWriter& writer)
    : presentations_(presentations), writer_(writer), picture_(std::make_unique<uint8_t[]>(kCaptureBytes))
{
}

void StillCapture::request(std::string path)
{
    const uint64_t after = presentations_.current();
    std::lock_guard lock(requestMutex_);
    request_ = std::move(path);
    after_ = after;
}

bool StillCapture::pending() const
{
    std::lock_guard lock(requestMutex_);
    return request_.has_value();
}

void StillCapture::attach(StillCaptureSink* sink)
{
    std::lock_guard lock(sinkMutex_);
    sink_ = sink;
}

void StillCapture::frameShown(const ShownFrame& shown)
{
    std::optional<std::string> path;
    {
        std::lock_guard lock(requestMutex_);
        // A frame whose presentation began before the request may show the
        // settings from before it (the boundary just switched on).
        if (shown.sequence > after_)
            path.swap(request_);
    }
    if (!path)
        return;

    // The request is used up whatever the outcome: one request, one attempt.
    const auto frame = copyFrame(shown.frame);
    if (!frame) {
        report({std::move(*path), false, "no memory for the picture"});
        return;
    }
    writer_.post([this, frame, path = std::move(*path), grey = shown.grey, side = captureSide(shown.showBoundary)] {
        StillCaptureResult result;
        result.path = path;
        convertToCapture(picture_.get(), frame->data(), grey, side);
        result.saved = saveBmp(result.path, picture_.get(), side, result.why);
        report(std::move(result));
    });
}

void StillCapture::report(StillCaptureResult result)
{
    std::lock_guard lock(sinkMutex_);
    if (sink_)
        sink_->stillCaptured(std::move(result));
}

}  // namespace qdx::viewer
