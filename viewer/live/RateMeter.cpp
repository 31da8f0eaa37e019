#include "RateMeter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace qdx::viewer {
namespace {

// More than a second of frames at any rate the display thread can take.
constexpr std::size_t kSamples = 4096;

}  // namespace

std::string ratesText(Rates rates)
{
    char text[40];
    std::snprintf(text, sizeof text, "fps DISP:%lu / USB:%lu", static_cast<unsigned long>(rates.displayed),
                  static_cast<unsigned long>(rates.received));
    return text;
}

SecondCount::SecondCount() : ring_(kSamples) {}

void SecondCount::add(Clock::time_point arrived, uint64_t number, bool shown, unsigned length)
{
    ring_[next_] = {arrived, number, length, shown};
    next_ = (next_ + 1) % ring_.size();
    size_ = std::min(size_ + 1, ring_.size());
}

Rates SecondCount::count(Clock::time_point now) const
{
    Rates rates;
    const auto from = now - std::chrono::seconds(1);
    // Newest first; each sample stands for the frames since the one before it.
    for (std::size_t i = 0; i < size_; ++i) {
        const Sample& sample = ring_[(next_ + ring_.size() - 1 - i) % ring_.size()];
        if (sample.arrived <= from)
            break;
        if (sample.arrived > now)
            continue;
        uint64_t frames = 1;
        if (i + 1 < size_) {
            const Sample& before = ring_[(next_ + ring_.size() - 2 - i) % ring_.size()];
            if (sample.number > before.number)
                frames = sample.number - before.number;
            // Frames overwritten unseen since a frame before the second: those
            // that, spaced evenly between the two, fall into it.
            if (frames > 1 && before.arrived <= from) {
                const double into = std::chrono::duration<double>(from - before.arrived) /
                                    std::chrono::duration<double>(sample.arrived - before.arrived);
                const auto outside = static_cast<uint64_t>(std::floor(into * static_cast<double>(frames)));
                frames -= std::min(frames - 1, outside);
            }
        }
        rates.received += static_cast<uint32_t>(frames);
        rates.displayed += sample.shown;
        rates.bytes += static_cast<long long>(frames) * sample.length;
    }
    return rates;
}

}  // namespace qdx::viewer
