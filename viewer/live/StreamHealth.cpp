#include "StreamHealth.h"

#include <algorithm>

#include "FrameCheck.h"

namespace qdx::viewer {
namespace {

double millisecondsBetween(StreamHealth::Clock::time_point from, StreamHealth::Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

void StreamHealth::restart(Clock::time_point now, bool connected)
{
    std::lock_guard lock(mutex_);
    const Rates lastSecond = counts_.lastSecond;
    counts_ = {};
    counts_.lastSecond = lastSecond;
    start_ = now;
    lastFrame_ = now;
    deliveredBase_.reset();
    connected_ = connected;
}

void StreamHealth::framesDelivered(long long total)
{
    std::lock_guard lock(mutex_);
    if (!deliveredBase_)
        deliveredBase_ = total;
    counts_.delivered = std::max(counts_.delivered, total - *deliveredBase_);
}

void StreamHealth::frameTaken(int check, unsigned length, Clock::time_point arrived, bool shown, uint64_t number)
{
    std::lock_guard lock(mutex_);
    second_.add(arrived, number ? number : ++unnumbered_, shown, length);
    counts_.largestGapMs = std::max(counts_.largestGapMs, millisecondsBetween(lastFrame_, arrived));
    lastFrame_ = std::max(lastFrame_, arrived);
    ++counts_.taken;
    counts_.bytes += length;
    counts_.shortFrames += check == kFrameWrongSize;
    counts_.damagedFrames += check == kFrameWrongMarkers;
    counts_.shown += shown;
}

void StreamHealth::connection(bool connected)
{
    std::lock_guard lock(mutex_);
    counts_.disconnections += connected_ && !connected;
    counts_.reconnections += !connected_ && connected;
    connected_ = connected;
}

Rates StreamHealth::closeSecond(Clock::time_point now)
{
    std::lock_guard lock(mutex_);
    counts_.lastSecond = second_.count(now);
    return counts_.lastSecond;
}

StreamFigures StreamHealth::figures(Clock::time_point now) const
{
    std::lock_guard lock(mutex_);
    StreamFigures figures = counts_;
    figures.seconds = std::max(0.0, millisecondsBetween(start_, now) / 1000);
    figures.largestGapMs = std::max(figures.largestGapMs, millisecondsBetween(lastFrame_, now));
    return figures;
}

}  // namespace qdx::viewer
