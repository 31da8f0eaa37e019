// The picture at the camera's full 12 bits, for 16-bit stills: the display's
// colour conversion (FrameConversion.h) without its final rounding to 8 bits,
// so that each 8-bit value the viewer shows is the 12-bit one shifted right
// by 4. Same matrix, same chroma siting (both pixels of a pair take the
// pair's Cb and Cr), same region. Qt-free.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qdx::viewer {

struct Rgb12 {
    uint16_t r, g, b;  // 0..4095
    friend bool operator==(Rgb12, Rgb12) = default;
};

inline uint16_t clampTo12(int v)
{
    return static_cast<uint16_t>(v < 0 ? 0 : (v > 4095 ? 4095 : v));
}

// yuvToBgr's fixed-point arithmetic shifted by 16 instead of 20: the same
// floor, 4 bits earlier.
inline Rgb12 yuvToRgb12(int y, int cb, int cr)
{
    const int base = y * 65536;
    return {clampTo12((base + 91894 * cr) >> 16), clampTo12((base - 46825 * cr - 22649 * cb) >> 16),
            clampTo12((base + 116064 * cb) >> 16)};
}

// Writes the picture of a whole camera frame into dest: side x side pixels
// (404, or 400 without the 2-pixel border) from the frame's centre, rows top
// first, red-green-blue (3 samples a pixel) or, for grey, the 12-bit luma
// alone (1 sample a pixel). dest holds side * side * (grey ? 1 : 3) samples.
void convertFullPrecision(uint16_t* dest, const uint8_t* frame, bool grey, int side);

inline std::size_t fullPrecisionSamples(bool grey, int side)
{
    return static_cast<std::size_t>(side) * side * (grey ? 1 : 3);
}

}  // namespace qdx::viewer
