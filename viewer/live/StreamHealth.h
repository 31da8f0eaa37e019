// How well frames flow, as one consumer of the library sees them: frames the
// camera delivered, frames taken and shown, short and damaged ones, the
// longest time without a new frame and the connection's drops. The viewer's
// Analysis window and `qdxctl stream` count with it. Thread-safe: the display
// thread counts frames, the monitor thread connections, another thread reads.
#pragma once

#include <chrono>
#include <mutex>
#include <optional>

#include "RateMeter.h"

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
    Rates lastSecond;              // the rates line's last count (closeSecond), not reset by a restart

    // Averages since counting started (qdxctl stream keeps their meanings).
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
    // A new frame was taken, arrived at arrived (the library's time when
    // known): its whole-frame check result (live/FrameCheck.h), byte count
    // as received, whether it was then shown, and the library's number for
    // it (QDX_FRAME_INFO.index; 0: not known, counts as one frame). One call
    // a frame, so a restart never splits a frame's counts.
    void frameTaken(int check, unsigned length, Clock::time_point arrived, bool shown = false, uint64_t number = 0);
    // The frames that arrived in the second up to now, kept as the last
    // second's figures until the next call. The display thread calls it once
    // a second for the rates line; the Analysis window shows the same count.
    Rates closeSecond(Clock::time_point now);
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
    SecondCount second_;       // not reset by a restart: the rates line reads it too
    uint64_t unnumbered_ = 0;  // stands in for the library's number when a caller has none
};

}  // namespace qdx::viewer
