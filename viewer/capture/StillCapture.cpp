#include "StillCapture.h"

#include <optional>
#include <utility>
#include <vector>

#include "BmpFile.h"
#include "CaptureImage.h"
#include "Still16.h"

namespace qdx::viewer {
namespace {

// A .png or .tif/.tiff name asks for the 16-bit picture; any other, the BMP.
std::optional<Still16Kind> deepKindOf(const std::string& path)
{
    const auto kind = still16KindOf(path);
    return kind == Still16Kind::Png || kind == Still16Kind::Tiff ? kind : std::nullopt;
}

}  // namespace

StillCapture::StillCapture(const PresentationCount& presentations, FileWriter& writer)
    : presentations_(presentations), writer_(writer), picture_(std::make_unique<uint8_t[]>(kCaptureBytes))
{
}

void StillCapture::request(std::string path)
{
    const uint64_t after = presentations_.current();
    std::lock_guard lock(requestMutex_);
    std::erase_if(requests_, [](const Request& r) { return !r.queued; });
    requests_.push_back({std::move(path), after, false});
}

bool StillCapture::requestAnother(std::string path)
{
    const uint64_t after = presentations_.current();
    std::lock_guard lock(requestMutex_);
    if (requests_.size() >= kMaxWaiting)
        return false;
    requests_.push_back({std::move(path), after, true});
    return true;
}

bool StillCapture::pending() const
{
    std::lock_guard lock(requestMutex_);
    return !requests_.empty();
}

void StillCapture::attach(StillCaptureSink* sink)
{
    std::lock_guard lock(sinkMutex_);
    sink_ = sink;
}

void StillCapture::frameShown(const ShownFrame& shown)
{
    std::vector<std::string> paths;
    {
        std::lock_guard lock(requestMutex_);
        // A frame whose presentation began before the request may show the
        // settings from before it (the boundary just switched on).
        for (auto r = requests_.begin(); r != requests_.end();) {
            if (shown.sequence > r->after) {
                paths.push_back(std::move(r->path));
                r = requests_.erase(r);
            } else {
                ++r;
            }
        }
    }
    for (std::string& path : paths)
        save(shown, std::move(path));
}

void StillCapture::save(const ShownFrame& shown, std::string path)
{
    // The request is used up whatever the outcome: one request, one attempt.
    const auto frame = copyFrame(shown.frame);
    if (!frame) {
        report({std::move(path), false, "no memory for the picture"});
        return;
    }
    const QDX_FRAME_INFO info = shown.info ? *shown.info : QDX_FRAME_INFO{};
    writer_.post([this, frame, path = std::move(path), grey = shown.grey, side = captureSide(shown.showBoundary),
                  info] {
        StillCaptureResult result;
        result.path = path;
        if (const auto deep = deepKindOf(path)) {
            // The settings are those the camera has as the file is written.
            result.saved =
                saveStill16(path, *deep, frame->data(), grey, side, frameFacts(info, "QDX_Viewer"), result.why);
        } else {
            convertToCapture(picture_.get(), frame->data(), grey, side);
            result.saved = saveBmp(result.path, picture_.get(), side, result.why);
        }
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
