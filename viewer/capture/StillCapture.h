// Still capture: the operator asks for a picture file, and the display thread
// saves the next whole frame it shows into it, as a BMP of the capture
// picture (colour, or grey in the calibration view). The path travels with
// its request, so the file always goes where the operator chose.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/FrameConsumer.h"

namespace qdx::viewer {

struct StillCaptureResult {
    std::string path;
    bool saved = false;
    std::string why;  // when not saved: what failed, naming the path
};

// Where the display thread reports each saved or failed picture. It only
// records or posts the result and never waits for the GUI thread.
class StillCaptureSink {
public:
    virtual void stillCaptured(StillCaptureResult result) = 0;

protected:
    ~StillCaptureSink() = default;
};

class StillCapture final : public FrameConsumer {
public:
    // presentations: the display thread's count, so that a request is
    // answered by a frame shown after it, with the settings of its time.
    explicit StillCapture(const PresentationCount& presentations);

    // Any thread: the next frame shown is saved at path. A request still
    // waiting for its frame is replaced: one picture, at the newest path.
    void request(std::string path);
    // Any thread: whether a request waits for its frame.
    bool pending() const;

    // Attach (or detach with nullptr) the sink for results. Returns once no
    // report into the previous sink is in progress.
    void attach(StillCaptureSink* sink);

    // Display thread: takes the request, if any, and saves this frame.
    void frameShown(const ShownFrame& shown) override;

private:
    const PresentationCount& presentations_;
    mutable std::mutex requestMutex_;  // Protects request_ and after_ (GUI thread sets, display thread takes)
    std::optional<std::string> request_;
    uint64_t after_ = 0;  // the presentation current when request_ was made
    std::mutex sinkMutex_;  // Protects sink_, and keeps it alive during a report
    StillCaptureSink* sink_ = nullptr;
    std::unique_ptr<uint8_t[]> picture_;  // display thread only
};

}  // namespace qdx::viewer
