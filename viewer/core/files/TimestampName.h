// The names the viewer proposes for the files it saves: the local time to the
// millisecond, "2024-03-05_14-07-09_042", 23 characters.
#pragma once

#include <chrono>
#include <string>

namespace qdx::viewer {

std::string makeTimestampName(std::chrono::system_clock::time_point when);

inline std::string makeTimestampName()
{
    return makeTimestampName(std::chrono::system_clock::now());
}

}  // namespace qdx::viewer
