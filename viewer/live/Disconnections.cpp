#include "Disconnections.h"

#include <cstdint>
#include <cstdio>

#include "FrameReader.h"

namespace qdx::viewer {
namespace {

double secondsBetween(Disconnections::Clock::time_point from, Disconnections::Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

}  // namespace

void Disconnections::start(Clock::time_point now, int index)
{
    start_ = lastLook_ = now;
    lastFrames_ = 0;
    lastIndex_ = index;
    connected_ = true;
    absences_.clear();
}

void Disconnections::look(Clock::time_point now, bool connected, int index, long long frames)
{
    if (connected_ && !connected) {
        absences_.push_back({now, now, false, frames});
    } else if (!connected_ && connected) {
        absences_.back().to = now;
        absences_.back().back = true;
    } else if (connected && indexStep(static_cast<uint32_t>(lastIndex_), static_cast<uint32_t>(index)).restarted) {
        // Gone and back between two looks: the index counts from 0 again.
        absences_.push_back({lastLook_, now, true, lastFrames_});
    }
    connected_ = connected;
    lastIndex_ = index;
    lastLook_ = now;
    lastFrames_ = frames;
}

std::vector<std::string> Disconnections::report(Clock::time_point end, long long frames) const
{
    std::vector<std::string> lines;
    for (const Absence& a : absences_) {
        char line[160];
        const long long before = a.before < frames ? a.before : frames;
        if (a.back) {
            std::snprintf(line, sizeof line,
                          "the camera was disconnected at %.1f s for %.1f s; %lld frames before, %lld after",
                          secondsBetween(start_, a.from), secondsBetween(a.from, a.to), before, frames - before);
        } else {
            std::snprintf(line, sizeof line,
                          "the camera was disconnected at %.1f s and was not back %.1f s later; %lld frames before",
                          secondsBetween(start_, a.from), secondsBetween(a.from, end), before);
        }
        lines.emplace_back(line);
    }
    return lines;
}

}  // namespace qdx::viewer
