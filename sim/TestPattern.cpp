#include "TestPattern.h"

#include <array>
#include <cstring>

#include "protocol/FrameFormat.h"

namespace qdx::sim {

namespace {

struct Ycc {
    int y, cb, cr;  // 12-bit; chroma centred on 2048
};

// 75% colour bars, BT.601: white, yellow, cyan, green, magenta, red, blue, black.
constexpr std::array<Ycc, 8> kBars{{
    {3008, 2048, 2048},
    {2704, 1056, 2208},
    {2272, 2400, 1056},
    {1968, 1408, 1216},
    {1296, 2688, 2880},
    {992, 1696, 3040},
    {560, 3040, 1888},
    {256, 2048, 2048},
}};

constexpr int kBarWidth = 16;
constexpr int kBarStep = 4;
constexpr int kRampTop = kFrameHeight * 3 / 4;

void putWord(uint8_t* p, int value12)
{
    const auto word = static_cast<uint16_t>(value12 << 4);
    p[0] = static_cast<uint8_t>(word & 0xFF);
    p[1] = static_cast<uint8_t>(word >> 8);
}

// One row of pixel pairs; chroma is taken from the pair's first pixel.
void writeRow(uint8_t* row, const Ycc* pixels, bool lumaOnly)
{
    for (int x = 0; x < kFrameWidth; x += 2) {
        const Ycc& a = pixels[x];
        const Ycc& b = pixels[x + 1];
        uint8_t* group = row + x * 4;
        putWord(group + 0, lumaOnly ? 2048 : a.cb);
        putWord(group + 2, a.y);
        putWord(group + 4, lumaOnly ? 2048 : a.cr);
        putWord(group + 6, b.y);
    }
}

void putMarker(uint8_t* p, uint16_t word)
{
    p[0] = static_cast<uint8_t>(word & 0xFF);
    p[1] = static_cast<uint8_t>(word >> 8);
}

}  // namespace

void renderTestPattern(const FrameSettings& settings, uint64_t frameNumber, uint8_t* out)
{
    constexpr std::size_t rowBytes = kFrameWidth * 4;
    const bool lumaOnly = settings.dataFormat == 1;
    const int barLeft = static_cast<int>((frameNumber * kBarStep) % kFrameWidth);

    std::array<Ycc, kFrameWidth> bars{};
    std::array<Ycc, kFrameWidth> ramp{};
    for (int x = 0; x < kFrameWidth; ++x) {
        const bool inBar = ((x - barLeft + kFrameWidth) % kFrameWidth) < kBarWidth;
        bars[x] = inBar ? Ycc{4000, 2048, 2048} : kBars[static_cast<std::size_t>(x * 8 / kFrameWidth)];
        const int grey = 256 + x * (3760 - 256) / (kFrameWidth - 1);
        ramp[x] = inBar ? Ycc{4000, 2048, 2048} : Ycc{grey, 2048, 2048};
    }

    std::array<uint8_t, rowBytes> barRow{};
    std::array<uint8_t, rowBytes> rampRow{};
    writeRow(barRow.data(), bars.data(), lumaOnly);
    writeRow(rampRow.data(), ramp.data(), lumaOnly);
    for (int y = 0; y < kFrameHeight; ++y)
        std::memcpy(out + y * rowBytes, y < kRampTop ? barRow.data() : rampRow.data(), rowBytes);

    putMarker(out + 0, kStartMarker0);
    putMarker(out + 2, kStartMarker1);
    putMarker(out + kFrameBytes - 4, kEndMarker0);
    putMarker(out + kFrameBytes - 2, kEndMarker1);
}

}  // namespace qdx::sim
