// Lossless recording (LosslessWriter) on a thread of its own behind a
// bounded queue of frames: the thread that hands frames in copies each one
// into a free slot and never waits for the encoder or the file; a frame that
// finds no free slot is skipped and counted. Frames come with the library's
// info, and each is stamped in the file with its arrival time relative to
// the first frame recorded.
//
// One thread hands frames in (offer(), or frameShown() as the display
// thread's consumer); start and stop come from one other thread, never the
// recording thread; stop() returns once the queued frames are written and
// the file is finished. Qt-free.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "QDX_API.h"
#include "LosslessWriter.h"
#include "Recorder.h"
#include "core/threads/FrameConsumer.h"

namespace qdx::viewer {

struct LosslessReport {
    using Ending = RecordingReport::Ending;
    Ending ending = Ending::Stopped;
    uint32_t frames = 0;   // frames in the file
    uint64_t skipped = 0;  // frames handed in that found the queue full
    int64_t spanMs = 0;    // the last frame's time in the file
    bool fileOk = false;   // finished and renamed over the path
    std::string why;       // what went wrong, when something did
};

class LosslessRecorder final : public FrameConsumer {
public:
    struct Options {
        int queueFrames = 32;             // about half a second at 60 frames/s
        uint64_t diskReserve = 16u << 20; // recording stops while this much is still free
    };

    LosslessRecorder() : LosslessRecorder(Options{}) {}
    explicit LosslessRecorder(Options options);
    ~LosslessRecorder();  // stops a recording still running

    // Opens the file (LosslessWriter::open) and starts the recording thread.
    // ended runs on the recording thread after the file is finished, when the
    // recording ended by itself (never after stop()). False with why.
    bool start(const std::string& path, int side, bool grey, std::function<void()> ended, std::string& why);
    // Ends the recording once the queued frames are written; the report of
    // the last recording.
    LosslessReport stop();

    // The frame-handing thread: queues a copy of a whole frame
    // (QDX_FRAME_BYTES), or counts it skipped when the queue is full. Frames
    // without info (null) are not recorded. Nothing happens while no
    // recording runs.
    void offer(const uint8_t* frame, const QDX_FRAME_INFO* info);
    void frameShown(const ShownFrame& shown) override { offer(shown.frame, shown.info); }

    bool active() const { return thread_.joinable(); }
    bool running() const { return running_.load(std::memory_order_acquire); }
    // Any thread, while recording.
    uint32_t frames() const { return frames_.load(std::memory_order_relaxed); }
    uint64_t skipped() const { return skipped_.load(std::memory_order_relaxed); }

private:
    struct Slot {
        std::unique_ptr<uint8_t[]> frame;
        int64_t timeMs = 0;  // after the first frame recorded
    };
    void run(std::stop_token stop, std::function<void()> ended);

    Options options_;
    LosslessWriter writer_;          // recording thread only, between start and the end of run
    std::string path_;
    std::vector<Slot> slots_;        // a ring; the producer fills the slot after the queued ones, the recording thread empties the first
    // Protects head_, count_, accepting_, firstNs_ and haveFirst_. offer()
    // holds it while it copies, so that once stop() has taken it no frame is
    // on its way into a slot.
    std::mutex mutex_;
    std::condition_variable_any queued_;
    std::size_t head_ = 0, count_ = 0;
    bool accepting_ = false;         // frames are taken: between start and stop or the thread's end
    int64_t firstNs_ = 0;            // the first frame's arrival
    bool haveFirst_ = false;
    std::atomic<bool> running_{false};    // set by start, cleared by the recording thread
    std::atomic<uint32_t> frames_{0};     // written by the recording thread
    std::atomic<uint64_t> skipped_{0};    // written by the producer
    LosslessReport report_;               // written by run, read after the join
    std::jthread thread_;
};

}  // namespace qdx::viewer
