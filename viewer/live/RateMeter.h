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

// Owned by one thread (the display thread).
class RateMeter {
public:
    using Clock = std::chrono::steady_clock;

    // index: the library's frame index now. The first poll reports at once.
    void start(uint32_t index, Clock::time_point now);
    void frameShown() { ++displayed_; }

    // Once a second: the rates since the last report, and a fresh count.
    // A jump of the index by more than 100 (a reconnection restarted it, or it
    // went backwards) is no rate: the displayed count stands in for it.
    std::optional<Rates> poll(uint32_t index, Clock::time_point now);

private:
    Clock::time_point lastReport_{};
    uint32_t indexAtReport_ = 0;
    uint32_t displayed_ = 0;
};

}  // namespace qdx::viewer
