#include "FrameConversion.h"

#include <cstring>

#include "FrameLayout.h"

namespace qdx::viewer {
namespace {

inline int sample12(const uint8_t* word)
{
    return (word[0] | (word[1] << 8)) >> 4;
}

inline void store(uint8_t* out, Bgr c)
{
    out[0] = c.b;
    out[1] = c.g;
    out[2] = c.r;
}

// Converts camera row r into 404 pixels of 3 bytes, or, doubled, into 808.
template <bool Doubled>
void colourRow(const uint8_t* src, uint8_t* dst)
{
    for (int pair = 0; pair < kCameraSide / 2; ++pair, src += 8) {
        const int cb = sample12(src) - 2048;
        const int cr = sample12(src + 4) - 2048;
        const Bgr first = yuvToBgr(sample12(src + 2), cb, cr);
        const Bgr second = yuvToBgr(sample12(src + 6), cb, cr);
        if constexpr (Doubled) {
            store(dst, first);
            store(dst + 3, first);
            store(dst + 6, second);
            store(dst + 9, second);
            dst += 12;
        } else {
            store(dst, first);
            store(dst + 3, second);
            dst += 6;
        }
    }
}

// Grey is the high byte of each luma word (word 2c + 1 of the row).
template <bool Doubled>
void greyRow(const uint8_t* src, uint8_t* dst)
{
    for (int c = 0; c < kCameraSide; ++c) {
        const uint8_t g = src[4 * c + 3];
        dst[0] = dst[1] = dst[2] = g;
        if constexpr (Doubled) {
            dst[3] = dst[4] = dst[5] = g;
            dst += 6;
        } else {
            dst += 3;
        }
    }
}

template <void (*Row)(const uint8_t*, uint8_t*)>
void convert100(const uint8_t* frame, uint8_t* image)
{
    std::memset(image, 0, kDisplayBytes);
    for (int r = 0; r < kCameraSide; ++r)
        Row(frame + r * kFrameRowBytes, image + r * kDisplayStride);
}

// Every display pixel is written, so there is nothing left to clear first.
template <void (*Row)(const uint8_t*, uint8_t*)>
void convert200(const uint8_t* frame, uint8_t* image)
{
    for (int r = 0; r < kCameraSide; ++r) {
        uint8_t* top = image + 2 * r * kDisplayStride;
        Row(frame + r * kFrameRowBytes, top);
        std::memcpy(top + kDisplayStride, top, kDisplayStride);
    }
}

// Blackens `width` pixels at each edge of the top-left side x side square.
void blackenBorder(uint8_t* image, int side, int width)
{
    const std::size_t rowBytes = static_cast<std::size_t>(side) * 3;
    const std::size_t edgeBytes = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < side; ++y) {
        uint8_t* row = image + y * kDisplayStride;
        if (y < width || y >= side - width) {
            std::memset(row, 0, rowBytes);
        } else {
            std::memset(row, 0, edgeBytes);
            std::memset(row + rowBytes - edgeBytes, 0, edgeBytes);
        }
    }
}

}  // namespace

void convertColour100(const uint8_t* frame, uint8_t* image)
{
    convert100<colourRow<false>>(frame, image);
}

void convertColour200(const uint8_t* frame, uint8_t* image)
{
    convert200<colourRow<true>>(frame, image);
}

void convertGrey100(const uint8_t* frame, uint8_t* image)
{
    convert100<greyRow<false>>(frame, image);
}

void convertGrey200(const uint8_t* frame, uint8_t* image)
{
    convert200<greyRow<true>>(frame, image);
}

void blackenBorder100(uint8_t* image)
{
    blackenBorder(image, kCameraSide, 2);
}

void blackenBorder200(uint8_t* image)
{
    blackenBorder(image, kDisplaySide, 4);
}

void renderFrame(const uint8_t* frame, uint8_t* image, ViewOptions options)
{
    if (options.zoom200) {
        (options.grey ? convertGrey200 : convertColour200)(frame, image);
        if (!options.showBoundary)
            blackenBorder200(image);
    } else {
        (options.grey ? convertGrey100 : convertColour100)(frame, image);
        if (!options.showBoundary)
            blackenBorder100(image);
    }
}

}  // namespace qdx::viewer
