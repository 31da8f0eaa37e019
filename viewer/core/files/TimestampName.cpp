#include "TimestampName.h"

#include <cstdio>
#include <ctime>

namespace qdx::viewer {

std::string makeTimestampName(std::chrono::system_clock::time_point when)
{
    using namespace std::chrono;
    const auto sinceEpoch = when.time_since_epoch();
    // Whole seconds rounded down, so .999 before a second stays in it.
    const auto seconds = floor<std::chrono::seconds>(sinceEpoch);
    const auto millis = duration_cast<milliseconds>(sinceEpoch - seconds).count();
    const std::time_t t = seconds.count();
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d-%02d-%02d_%03d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(millis));
    return text;
}

}  // namespace qdx::viewer
