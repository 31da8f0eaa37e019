// Still capture: the operator asks for a picture file, and the next whole
// frame the display thread shows is saved into it, as a BMP of the capture
// picture (colour, or grey in the calibration view), or for a .png or .tif
// name as the 16-bit picture with the frame's facts (Still16.h), by a writer
// thread: the display thread only copies the frame. The path travels with
// its request, so the file always goes where the operator chose. Quick
// stills queue: each press gets a picture of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "FileWriter.h"
#include "core/threads/FrameConsumer.h"

namespace qdx::viewer {

struct StillCaptureResult {
    std::string path;
    bool saved = false;
    std::string why;  // when not saved: what failed, naming the path
};

// Where the writer thread reports each saved or failed picture. It only
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
    // writer: the thread that saves the pictures. Both outlive this object.
    StillCapture(const PresentationCount& presentations, FileWriter& writer);
    // Waits for the pictures handed to the writer.
    ~StillCapture() { writer_.flush(); }
    StillCapture(const StillCapture&) = delete;
    StillCapture& operator=(const StillCapture&) = delete;

    // Any thread: the next frame shown is saved at path. A request still
    // waiting for its frame is replaced: one picture, at the newest path.
    void request(std::string path);
    // Any thread: as request, but beside the requests already waiting, each
    // answered with its own file. False (nothing queued) once kMaxWaiting wait,
    // as when no frame comes.
    static constexpr std::size_t kMaxWaiting = 32;
    bool requestAnother(std::string path);
    // Any thread: whether a request waits for its frame.
    bool pending() const;

    // Attach (or detach with nullptr) the sink for results. Returns once no
    // report into the previous sink is in progress.
    void attach(StillCaptureSink* sink);

    // Display thread: takes the request, if any, and hands a copy of this
    // frame to the writer thread, which saves it and reports.
    void frameShown(const ShownFrame& shown) override;

private:
    void report(StillCaptureResult result);

    const PresentationCount& presentations_;
    struct Request {
        std::string path;
        uint64_t after = 0;  // the presentation current when it was made
        bool queued = false;  // requestAnother: never replaced
    };
    void save(const ShownFrame& shown, std::string path);

    mutable std::mutex requestMutex_;  // Protects requests_ (GUI thread adds, display thread takes)
    std::vector<Request> requests_;
    std::mutex sinkMutex_;  // Protects sink_, and keeps it alive during a report
    StillCaptureSink* sink_ = nullptr;
    FileWriter& writer_;
    std::unique_ptr<uint8_t[]> picture_;  // writer thread only
};

}  // namespace qdx::viewer
