// The camera's absences during a recording, as the one thread that records
// sees them in its looks at the library (qdxctl's loop, the viewer's GUI
// thread): when each began, how long it lasted and how many frames were
// recorded before and after it. A camera that left and came back between two
// looks shows as the library's frame index counting from 0 again (the frame
// reader's one rule, FrameReader.h). Not thread-safe: one thread looks and
// reports.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <vector>

namespace qdx::viewer {

class Disconnections {
public:
    using Clock = std::chrono::steady_clock;

    // Counting starts afresh at now; index is the library's frame index then.
    void start(Clock::time_point now, int index);
    // One look at the library: whether a camera is open, its frame index, and
    // the frames recorded so far.
    void look(Clock::time_point now, bool connected, int index, long long frames);

    bool any() const { return !absences_.empty(); }
    std::size_t count() const { return absences_.size(); }
    // The camera was away at the last look.
    bool away() const { return !connected_; }

    // One sentence per absence, in order: "the camera was disconnected at
    // 2.8 s for 1.2 s; 83 frames before, 40 after", or for one that lasted to
    // the end "... at 5.1 s and was not back 3.0 s later; 123 frames before".
    // Times from the start; frames before and after each absence of the
    // frames recorded by end.
    std::vector<std::string> report(Clock::time_point end, long long frames) const;

private:
    struct Absence {
        Clock::time_point from, to;  // to: when it was seen back (from while away)
        bool back = false;
        long long before = 0;  // frames recorded when it was seen gone
    };

    Clock::time_point start_{};
    Clock::time_point lastLook_{};
    long long lastFrames_ = 0;
    int lastIndex_ = 0;
    bool connected_ = true;
    std::vector<Absence> absences_;
};

}  // namespace qdx::viewer
