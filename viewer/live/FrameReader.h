// The library's frames as one consumer takes them: woken by the data
// semaphore (waited on with the monotonic clock, so that a change of the wall
// clock neither cuts a wait short nor stretches it), the signals of frames
// already come drained so that only the newest frame is taken, the camera's
// frame index counted across reconnections by one rule, and every frame
// taken checked whole. The display thread, qdxctl, the benchmarks and the
// tests read frames through it. Qt-free.
#pragma once

#include <semaphore.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>

#include "FrameCheck.h"
#include "QDX_API.h"

namespace qdx::viewer {

// One step of the library's frame index, which counts the frames received
// since the camera was (re)connected and wraps at 2^32: a step forward of
// less than half the range is that many frames; anything else is a step back,
// the index restarted from 0 and now is the number of frames since. A
// reconnection that brought more frames than were counted before it looks
// like frames and nothing else; no reading of the index tells it apart.
struct IndexStep {
    uint32_t frames = 0;
    bool restarted = false;
};
IndexStep indexStep(uint32_t previous, uint32_t now);

// The frames the camera delivered and the restarts of its index, from one
// thread's successive readings of the index. That thread looks; any thread
// may read the counts.
class FrameCount {
public:
    explicit FrameCount(uint32_t index = 0) : last_(index) {}
    void look(uint32_t index);

    long long delivered() const { return delivered_.load(std::memory_order_acquire); }
    int restarts() const { return restarts_.load(std::memory_order_acquire); }
    uint32_t index() const { return last_; }  // the looking thread only

private:
    uint32_t last_;                        // the looking thread only
    std::atomic<long long> delivered_{0};  // written by the looking thread
    std::atomic<int> restarts_{0};         // written by the looking thread
};

// A frame taken by FrameReader::take.
struct TakenFrame {
    unsigned length = 0;  // as the library received it
    int check = kFrameWrongSize;  // checkFrame()
    uint32_t index = 0;   // the library's frame index when it was taken
    std::chrono::steady_clock::time_point arrived;
    QDX_FRAME_INFO info{};  // the library's: the process-wide index and arrival times
    bool whole() const { return check == kFrameWhole; }
};

// Made and used on one thread while the library runs (not past QDX_Term,
// which destroys the semaphore); delivered() and restarts() from any thread.
// The frames signalled before it was made do not count.
class FrameReader {
public:
    FrameReader();
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    // Whether the library handed out its semaphore.
    bool valid() const { return semaphore_ != nullptr; }

    // Waits up to timeout for a frame signal and takes the pending ones with
    // it; false when none came or stop was requested. Without a semaphore it
    // only waits out the time (or the stop).
    bool wait(std::chrono::milliseconds timeout, std::stop_token stop = {});
    // Drops the signals of frames that have already come.
    void drain();

    // Reads the library's frame index into the counts; returns it.
    uint32_t look();
    // When the index moved since the last frame taken: the newest frame into
    // frame (QDX_FRAME_BYTES long), checked. None when the index stood still
    // or the library had no frame it had not handed out before.
    std::optional<TakenFrame> take(uint8_t* frame);

    // Since the reader was made: frames the camera delivered, restarts of
    // its index (the camera was gone and back). Any thread.
    long long delivered() const { return count_.delivered(); }
    int restarts() const { return count_.restarts(); }
    // The index of the last frame taken (0xFFFFFFFF before the first). Any thread.
    uint32_t lastTaken() const { return taken_.load(std::memory_order_acquire); }

private:
    sem_t* semaphore_ = nullptr;
    FrameCount count_;
    std::atomic<uint32_t> taken_{0xFFFFFFFF};  // written by the reader's thread
};

}  // namespace qdx::viewer
