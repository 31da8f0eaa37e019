// The rates line under the picture: frames shown and frames the library
// received, per second.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace qdx::viewer {

struct Rates {
    uint32_t displayed = 0;
    uint32_t received = 0;
};

// "fps DISP:%lu / USB:%lu"
std::string ratesText(Rates rates);

// Owned by one thread (the display thread). Fed with a FrameReader's counts
// (FrameReader.h), which say when the index restarted.
class RateMeter {
public:
    using Clock = std::chrono::steady_clock;

    // delivered and restarts: the reader's counts now. The first poll reports at once.
    void start(long long delivered, int restarts, Clock::time_point now);
    void frameShown() { ++displayed_; }

    // Once a second: the rates since the last report, and a fresh count. A
    // second in which the index restarted (a reconnection), or one of more
    // than 100 frames, shows no USB rate: the displayed count stands in for it.
    std::optional<Rates> poll(long long delivered, int restarts, Clock::time_point now);

private:
    Clock::time_point lastReport_{};
    long long deliveredAtReport_ = 0;
    int restartsAtReport_ = 0;
    uint32_t displayed_ = 0;
};

}  // namespace qdx::viewer
