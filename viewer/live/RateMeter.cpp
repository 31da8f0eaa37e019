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

void RateMeter::start(long long delivered, int restarts, Clock::time_point now)
{
    lastReport_ = now - std::chrono::seconds(1);
    deliveredAtReport_ = delivered;
    restartsAtReport_ = restarts;
    displayed_ = 0;
}

std::optional<Rates> RateMeter::poll(long long delivered, int restarts, Clock::time_point now)
{
    if (now - lastReport_ < std::chrono::seconds(1))
        return std::nullopt;
    lastReport_ = now;
    const long long received = delivered - deliveredAtReport_;
    Rates rates{displayed_, static_cast<uint32_t>(received)};
    if (restarts != restartsAtReport_ || received > 100)
        rates.received = rates.displayed;
    deliveredAtReport_ = delivered;
    restartsAtReport_ = restarts;
    displayed_ = 0;
    return rates;
}

}  // namespace qdx::viewer
