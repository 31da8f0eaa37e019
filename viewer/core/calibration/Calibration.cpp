#include "Calibration.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "QDX_API.h"

namespace qdx::viewer {
namespace {

constexpr int kSide = QDX_FRAME_WIDTH;
constexpr int kBorder = 2;
constexpr std::size_t kRowBytes = static_cast<std::size_t>(kSide) * 4;
constexpr char kRule[] = "--------------------\r\n";

// The luma word of pixel (x, y): word 2x + 1 of row y, little-endian.
inline unsigned lumaWord(const uint8_t* frame, int x, int y)
{
    const uint8_t* p = frame + static_cast<std::size_t>(y) * kRowBytes + static_cast<std::size_t>(x) * 4 + 2;
    return static_cast<unsigned>(p[0] | p[1] << 8);
}

}  // namespace

const char* defectKindName(DefectKind kind)
{
    return kind == DefectKind::Bright ? "Bright" : "Dark";
}

int detectDefectPixels(const uint8_t* frame, int threshold, DefectKind kind, DpTable& table)
{
    // Emptied first: entries left from a longer earlier list would otherwise
    // stay valid behind this one and be uploaded as defects.
    table.clear();
    auto& bytes = table.bytes();
    const auto limit = static_cast<unsigned>(std::clamp(threshold, 0, 255));
    int n = 0;
    for (int y = kBorder; y < kSide - kBorder && n < DpTable::kEntries; ++y) {
        for (int x = kBorder; x < kSide - kBorder && n < DpTable::kEntries; ++x) {
            const unsigned level = lumaWord(frame, x, y) >> 8;
            if (kind == DefectKind::Bright ? level < limit : level > limit)
                continue;
            uint8_t* entry = bytes.data() + 4 * n++;
            entry[0] = static_cast<uint8_t>(x >> 8);
            entry[1] = static_cast<uint8_t>(x);
            entry[2] = static_cast<uint8_t>(y >> 8);
            entry[3] = static_cast<uint8_t>(y);
        }
    }
    return n;
}

int quantiseFpn(int deviation)
{
    // An arithmetic shift of a negative value rounds down (defined since C++20).
    return std::clamp(deviation, -256, 255) >> 5;
}

void detectFixedPattern(const uint8_t* frame, FpnTable& table)
{
    uint32_t sum = 0;  // at most 163,216 x 4,095
    for (int y = 0; y < kSide; ++y)
        for (int x = 0; x < kSide; ++x)
            sum += lumaWord(frame, x, y) >> 4;
    const int mean = static_cast<int>(sum / (static_cast<uint32_t>(kSide) * kSide));

    table.clear();
    table.mean = mean;
    auto nibble = [&](int x, int y) {
        return static_cast<unsigned>(quantiseFpn(static_cast<int>(lumaWord(frame, x, y) >> 4) - mean)) & 0xF;
    };
    auto& bytes = table.bytes();
    for (int r = 0; r < FpnTable::kRows; ++r) {
        uint8_t* row = bytes.data() + static_cast<std::size_t>(r) * FpnTable::kRowBytes;
        // Pair 101 would cover pixels 404..407, which do not exist: it stays 0.
        for (int k = 0; k < kSide / 4; ++k) {
            row[2 * k + 1] = static_cast<uint8_t>(nibble(4 * k, r) | nibble(4 * k + 1, r) << 4);
            row[2 * k] = static_cast<uint8_t>(nibble(4 * k + 2, r) | nibble(4 * k + 3, r) << 4);
        }
    }
}

std::string dpText(const DpTable& table, DefectKind kind)
{
    const int n = table.validCount();
    std::string text = std::string(defectKindName(kind)) + " (" + std::to_string(n) + ")\r\n" + kRule;
    for (int i = 0; i < n; ++i)
        text += std::to_string(table.x(i)) + "," + std::to_string(table.y(i)) + "\r\n";
    return text;
}

std::string fpnText(const FpnTable& table)
{
    // Each byte gives two values of three characters: made once for all 256.
    static const auto kByteText = [] {
        std::array<std::array<char, 8>, 256> text{};
        for (int b = 0; b < 256; ++b) {
            const int low = b & 0xF, high = b >> 4;
            std::snprintf(text[static_cast<std::size_t>(b)].data(), text[0].size(), "%3d,%3d", low >= 8 ? low - 16 : low,
                          high >= 8 ? high - 16 : high);
        }
        return text;
    }();
    constexpr std::size_t kPairText = 15;  // "%3d,%3d,%3d,%3d"
    constexpr std::size_t kLineText = FpnTable::kPairsPerRow * (kPairText + 1) + 1;

    std::string text = "Avarage " + std::to_string(table.mean) + "\r\n" + kRule;
    const std::size_t head = text.size();
    text.resize(head + FpnTable::kRows * kLineText);
    char* out = text.data() + head;
    const auto& bytes = table.bytes();
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        // Pixel order: the low then high nibble of the second byte, then of the first.
        std::copy_n(kByteText[bytes[i + 1]].data(), 7, out);
        out[7] = ',';
        std::copy_n(kByteText[bytes[i]].data(), 7, out + 8);
        out += kPairText;
        if ((i / 2 + 1) % FpnTable::kPairsPerRow == 0) {
            *out++ = '\r';
            *out++ = '\n';
        } else {
            *out++ = ',';
        }
    }
    return text;
}

}  // namespace qdx::viewer
