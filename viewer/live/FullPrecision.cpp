#include "FullPrecision.h"

#include <cassert>
#include <initializer_list>

#include "FrameLayout.h"

namespace qdx::viewer {

void convertFullPrecision(uint16_t* dest, const uint8_t* frame, bool grey, int side)
{
    assert(side == 404 || side == 400);  // whole pixel pairs from the row's start
    const int first = (kCameraSide - side) / 2;
    for (int row = 0; row < side; ++row) {
        // Words of the row from its first pixel: Cb Y0 Cr Y1 for each pair.
        const std::size_t word = (static_cast<std::size_t>(first + row) * kCameraSide + first) * 2;
        for (int pair = 0; pair < side / 2; ++pair) {
            const std::size_t w = word + 4 * static_cast<std::size_t>(pair);
            const int y0 = frameWord(frame, w + 1) >> 4;
            const int y1 = frameWord(frame, w + 3) >> 4;
            if (grey) {
                *dest++ = static_cast<uint16_t>(y0);
                *dest++ = static_cast<uint16_t>(y1);
                continue;
            }
            const int cb = (frameWord(frame, w) >> 4) - 2048;
            const int cr = (frameWord(frame, w + 2) >> 4) - 2048;
            for (const int y : {y0, y1}) {
                const Rgb12 pixel = yuvToRgb12(y, cb, cr);
                *dest++ = pixel.r;
                *dest++ = pixel.g;
                *dest++ = pixel.b;
            }
        }
    }
}

}  // namespace qdx::viewer
