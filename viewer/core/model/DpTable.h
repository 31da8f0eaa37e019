// The viewer's copy of one defect-pixel table: 64 entries of x, y as 16-bit
// big-endian; 511, 511 marks an empty entry. Qt-free.
#pragma once

#include <array>
#include <cstdint>

namespace qdx::viewer {

class DpTable {
public:
    static constexpr int kEntries = 64;
    static constexpr int kEmpty = 511;
    DpTable() { clear(); }
    void clear()
    {
        for (int i = 0; i < kEntries; ++i) {
            bytes_[4 * i] = bytes_[4 * i + 2] = kEmpty >> 8;
            bytes_[4 * i + 1] = bytes_[4 * i + 3] = kEmpty & 0xFF;
        }
    }
    int x(int entry) const { return bytes_[4 * entry] << 8 | bytes_[4 * entry + 1]; }
    int y(int entry) const { return bytes_[4 * entry + 2] << 8 | bytes_[4 * entry + 3]; }
    bool valid(int entry) const { return x(entry) < kEmpty && y(entry) < kEmpty; }
    // The leading valid entries.
    int validCount() const
    {
        int n = 0;
        while (n < kEntries && valid(n))
            ++n;
        return n;
    }
    std::array<uint8_t, 4 * kEntries>& bytes() { return bytes_; }
    const std::array<uint8_t, 4 * kEntries>& bytes() const { return bytes_; }

private:
    std::array<uint8_t, 4 * kEntries> bytes_{};
};

}  // namespace qdx::viewer
