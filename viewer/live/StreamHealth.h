// How well frames flow, as one consumer of the library sees them: frames the
// camera delivered, frames taken and shown, short and damaged ones, the
// longest time without a new frame and the connection's drops. The viewer's
// Analysis window and `qdxctl stream` count with it. Thread-safe: the display
// thread counts frames, the monitor thread connections, another thread reads.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>

namespace qdx::viewer {

struct StreamFigures {
    double seconds = 0;            // since counting started
    long long delivered = 0;       // by the camera's frame index
    long long taken = 0;           // new frames handed out by the library
    long long shown = 0;           // taken frames put on the screen
    long long bytes = 0;           // of the frames taken
    long long shortFrames = 0;     // the wrong byte count
    long long damagedFrames = 0;   // the right size but no markers
    double largestGapMs = 0;       // longest time without a new frame, the open one up to now included
    int disconnections = 0;
    int reconnections = 0;

    double framesPerSecond() const { return seconds > 0 ? static_cast<double>(delivered) / seconds : 0; }
    double megabytesPerSecond() const { return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0; }
};

class StreamHealth {
public:
    using Clock = std::chrono::steady_clock;

    // Counting starts afresh at now; connected: whether the camera is there.
    // The frames delivered count from the next framesDelivered().
    void restart(Clock::time_point now, bool connected);

    // The frames the camera delivered so far as the frame reader counts them
    // (FrameReader::delivered(), across reconnections). A reading older than
    // one given before, taken just before a restart on another thread,
    // counts nothing.
    void framesDelivered(long long total);
    // A new frame was taken at arrived: its whole-frame check result
    // (live/FrameCheck.h), byte count as received, and whether it was then
    // shown. One call a frame, so a restart never splits a frame's counts.
    void frameTaken(int check, unsigned length, Clock::time_point arrived, bool shown = false);
    // The camera is there or not; an edge counts.
    void connection(bool connected);

    StreamFigures figures(Clock::time_point now) const;

private:
    mutable std::mutex mutex_;  // Protects everything below
    StreamFigures counts_;
    Clock::time_point start_{};
    Clock::time_point lastFrame_{};
    std::optional<long long> deliveredBase_;  // the reader's count at the first reading since the restart
    bool connected_ = true;
};

}  // namespace qdx::viewer
