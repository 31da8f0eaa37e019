// The rates line under the picture, and the last second's frames it and the
// Analysis window's "Rate" are both read from: one count, so the two agree.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qdx::viewer {

struct Rates {
    uint32_t displayed = 0;
    uint32_t received = 0;
    long long bytes = 0;  // of the frames received
};

// "fps DISP:%lu / USB:%lu"
std::string ratesText(Rates rates);

// The frames of the last second, by the library's own account of each frame
// taken: when its last byte arrived and its number (which counts every frame
// the library received and never starts again, so frames overwritten unseen
// are counted by the gap in the numbers and a reconnection needs no rule).
// Counting the frames that arrived within exactly one second, rather than the
// frames taken between two looks at a clock at least a second apart, is what
// keeps a 30 frames/s camera at 30. Not thread-safe: StreamHealth guards it.
class SecondCount {
public:
    using Clock = std::chrono::steady_clock;

    SecondCount();

    // A frame taken: arrival, the library's number, whether it was shown, its byte count.
    void add(Clock::time_point arrived, uint64_t number, bool shown, unsigned length);
    // The frames that arrived in (now - 1 s, now]. A frame skipped unseen counts
    // with the size of the next one taken.
    Rates count(Clock::time_point now) const;

private:
    struct Sample {
        Clock::time_point arrived;
        uint64_t number = 0;
        unsigned length = 0;
        bool shown = false;
    };
    std::vector<Sample> ring_;  // sized once: the display thread never allocates
    std::size_t next_ = 0;      // where the next sample goes
    std::size_t size_ = 0;
};

}  // namespace qdx::viewer
