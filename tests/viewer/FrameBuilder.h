// Camera frames made to order, and reading pixels of the display image.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "live/FrameConversion.h"
#include "live/FrameLayout.h"

namespace qdx::viewer::test {

inline void setWord(std::vector<uint8_t>& frame, std::size_t index, uint16_t word)
{
    frame[2 * index] = static_cast<uint8_t>(word);
    frame[2 * index + 1] = static_cast<uint8_t>(word >> 8);
}

// A whole frame: every word `fill`, marker words in place.
inline std::vector<uint8_t> makeFrame(uint16_t fill = 0x8000)
{
    std::vector<uint8_t> frame(kFrameBytes);
    for (std::size_t i = 0; i < kFrameWords; ++i) {
        frame[2 * i] = static_cast<uint8_t>(fill);
        frame[2 * i + 1] = static_cast<uint8_t>(fill >> 8);
    }
    setWord(frame, 0, QDX_FRAME_START_MARKER0);
    setWord(frame, 1, QDX_FRAME_START_MARKER1);
    setWord(frame, kFrameWords - 2, QDX_FRAME_END_MARKER0);
    setWord(frame, kFrameWords - 1, QDX_FRAME_END_MARKER1);
    return frame;
}

// The four words of pixel pair p of camera row r.
inline void setPair(std::vector<uint8_t>& frame, int row, int pair, const uint16_t (&words)[4])
{
    const std::size_t first = static_cast<std::size_t>(row) * kCameraSide * 2 + static_cast<std::size_t>(pair) * 4;
    for (std::size_t k = 0; k < 4; ++k)
        setWord(frame, first + k, words[k]);
}

// A display pixel's colour; a 4th byte other than 0xFF shows as (1, 2, 3),
// which no test expects.
inline Bgr pixel(const uint8_t* image, int x, int y)
{
    const uint8_t* p = image + static_cast<std::size_t>(y) * kDisplayStride + static_cast<std::size_t>(x) * kDisplayPixelBytes;
    return p[3] == 0xFF ? Bgr{p[0], p[1], p[2]} : Bgr{1, 2, 3};
}

}  // namespace qdx::viewer::test

namespace qdx::viewer {

inline void PrintTo(Bgr c, std::ostream* os)
{
    *os << "(" << int(c.b) << ", " << int(c.g) << ", " << int(c.r) << ")";
}

}  // namespace qdx::viewer
