// The viewer's copy of the camera's fixed-pattern-noise table and the mean
// level of the frame it was taken from. Qt-free.
#pragma once

#include <array>
#include <cstdint>

namespace qdx::viewer {

// 404 rows of 204 bytes. Byte pair k of a row, read as a 16-bit big-endian
// word, holds the corrections of pixels 4k..4k+3 as 4-bit two's-complement
// values, pixel 4k+j in bits 4j..4j+3; pair 101 covers the four positions
// beyond the row's 404 pixels.
class FpnTable {
public:
    static constexpr int kRows = 404;
    static constexpr int kRowBytes = 204;
    static constexpr int kPairsPerRow = kRowBytes / 2;
    static constexpr int kBytes = kRows * kRowBytes;  // 82,416

    // All corrections 0, mean 0.
    void clear()
    {
        bytes_.fill(0);
        mean = 0;
    }
    // The correction (-8..7) of position x (0..407) of a row.
    int correction(int x, int row) const
    {
        const int word = bytes_[static_cast<std::size_t>(row * kRowBytes + x / 4 * 2)] << 8 |
                         bytes_[static_cast<std::size_t>(row * kRowBytes + x / 4 * 2 + 1)];
        const int nibble = (word >> (4 * (x % 4))) & 0xF;
        return nibble >= 8 ? nibble - 16 : nibble;
    }
    std::array<uint8_t, kBytes>& bytes() { return bytes_; }
    const std::array<uint8_t, kBytes>& bytes() const { return bytes_; }

    int mean = 0;  // shown in the text's first line

private:
    std::array<uint8_t, kBytes> bytes_{};
};

}  // namespace qdx::viewer
