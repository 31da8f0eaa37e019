// The CSV text of a frame written the plain way, one fprintf per value: the
// yardstick the viewer's formatter must match byte for byte and beat.
#pragma once

#include <cstdint>
#include <cstdio>

#include "live/FrameLayout.h"

namespace qdx::viewer::test {

inline void writeCsvWithFprintf(std::FILE* file, const uint8_t* frame, bool showBoundary)
{
    const int m = showBoundary ? 0 : 2;
    for (int row = m; row <= kCameraSide - 1 - m; ++row) {
        for (int s = 2 * m + 1; s <= 2 * kCameraSide - 1 - 2 * m; s += 2) {
            const unsigned value = frameWord(frame, static_cast<std::size_t>(row) * 2 * kCameraSide + s) >> 4;
            std::fprintf(file, s == 2 * kCameraSide - 1 - 2 * m ? "%u" : "%u,", value);
        }
        std::fputs("\r\n", file);
    }
}

}  // namespace qdx::viewer::test
