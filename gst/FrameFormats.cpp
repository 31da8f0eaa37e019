#include "FrameFormats.h"

#include <cstring>

#include "QDX_API.h"
#include "live/FrameConversion.h"

namespace qdx::gst {
namespace {

inline uint16_t word(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

inline void store16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

constexpr std::size_t kRowBytes = QDX_FRAME_WIDTH * 4;

}  // namespace

void convertFrame(const uint8_t* frame, int side, OutputFormat format, const Planes& out)
{
    const int border = (QDX_FRAME_WIDTH - side) / 2;
    for (int row = 0; row < side; ++row) {
        const uint8_t* src = frame + static_cast<std::size_t>(row + border) * kRowBytes + border * 4;
        uint8_t* d0 = out.data[0] + row * out.stride[0];
        switch (format) {
        case OutputFormat::I422_12LE: {
            uint8_t* u = out.data[1] + row * out.stride[1];
            uint8_t* v = out.data[2] + row * out.stride[2];
            for (int pair = 0; pair < side / 2; ++pair, src += 8) {
                store16(u + pair * 2, word(src) >> 4);
                store16(d0 + pair * 4, word(src + 2) >> 4);
                store16(v + pair * 2, word(src + 4) >> 4);
                store16(d0 + pair * 4 + 2, word(src + 6) >> 4);
            }
            break;
        }
        case OutputFormat::Gray16LE:
            for (int pair = 0; pair < side / 2; ++pair, src += 8) {
                std::memcpy(d0 + pair * 4, src + 2, 2);
                std::memcpy(d0 + pair * 4 + 2, src + 6, 2);
            }
            break;
        case OutputFormat::Uyvy:
            // The high byte of each word: its top 8 of 12 bits.
            for (int pair = 0; pair < side / 2; ++pair, src += 8) {
                d0[pair * 4] = src[1];
                d0[pair * 4 + 1] = src[3];
                d0[pair * 4 + 2] = src[5];
                d0[pair * 4 + 3] = src[7];
            }
            break;
        case OutputFormat::Bgrx:
            // The viewer's own fixed-point colour, so pictures match its display.
            for (int pair = 0; pair < side / 2; ++pair, src += 8) {
                const int cb = (word(src) >> 4) - 2048;
                const int cr = (word(src + 4) >> 4) - 2048;
                for (int k = 0; k < 2; ++k) {
                    const viewer::Bgr c = viewer::yuvToBgr(word(src + 2 + 4 * k) >> 4, cb, cr);
                    uint8_t* p = d0 + (pair * 2 + k) * 4;
                    p[0] = c.b;
                    p[1] = c.g;
                    p[2] = c.r;
                    p[3] = 0xFF;
                }
            }
            break;
        }
    }
}

}  // namespace qdx::gst
