#include "RateMeter.h"

#include <cstdio>

namespace qdx::viewer {

std::string ratesText(Rates rates)
{
    char text[40];
    std::snprintf(text, sizeof text, "fps DISP:%lu / USB:%lu", static_cast<unsigned long>(rates.displayed),
                  static_cast<unsigned long>(rates.received));
    return text;
}

void RateMeter::start(uint32_t index, Clock::time_point now)
{
    lastReport_ = now - std::chrono::seconds(1);
    indexAtReport_ = index;
    displayed_ = 0;
}

std::optional<Rates> RateMeter::poll(uint32_t index, Clock::time_point now)
{
    if (now - lastReport_ < std::chrono::seconds(1))
        return std::nullopt;
    lastReport_ = now;
    Rates rates{displayed_, index - indexAtReport_};  // unsigned: a restart wraps to a huge value
    if (rates.received > 100)
        rates.received = rates.displayed;
    indexAtReport_ = index;
    displayed_ = 0;
    return rates;
}

}  // namespace qdx::viewer
