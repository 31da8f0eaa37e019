#include "BmpFile.h"

#include <cassert>
#include <span>

namespace qdx::viewer {
namespace {

void put16(uint8_t* at, uint16_t v)
{
    at[0] = static_cast<uint8_t>(v);
    at[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* at, uint32_t v)
{
    put16(at, static_cast<uint16_t>(v));
    put16(at + 2, static_cast<uint16_t>(v >> 16));
}

std::size_t pictureBytes(int side)
{
    return static_cast<std::size_t>(side) * static_cast<std::size_t>(side) * 3;
}

}  // namespace

std::array<uint8_t, kBmpHeaderBytes> bmpHeader(int side)
{
    assert(side > 0 && side % 4 == 0);  // rows need no padding
    const auto imageBytes = static_cast<uint32_t>(pictureBytes(side));
    std::array<uint8_t, kBmpHeaderBytes> h{};
    // BITMAPFILEHEADER
    h[0] = 'B';
    h[1] = 'M';
    put32(&h[2], static_cast<uint32_t>(kBmpHeaderBytes) + imageBytes);  // bfSize
    put32(&h[10], static_cast<uint32_t>(kBmpHeaderBytes));             // bfOffBits
    // BITMAPINFOHEADER; a positive height: rows are stored bottom-up
    put32(&h[14], 40);
    put32(&h[18], static_cast<uint32_t>(side));
    put32(&h[22], static_cast<uint32_t>(side));
    put16(&h[26], 1);   // planes
    put16(&h[28], 24);  // bits per pixel
    put32(&h[30], 0);   // BI_RGB
    put32(&h[34], imageBytes);
    put32(&h[38], 3780);  // 96 dots per inch, in pixels per metre
    put32(&h[42], 3780);
    return h;  // no colour table: clrUsed and clrImportant stay 0
}

bool writeBmp(AtomicFile& file, const uint8_t* pixels, int side, std::string& why)
{
    const auto header = bmpHeader(side);
    return file.write(std::span<const unsigned char>(header), why) &&
           file.write(std::span<const unsigned char>(pixels, pictureBytes(side)), why);
}

bool saveBmp(const std::string& path, const uint8_t* pixels, int side, std::string& why)
{
    AtomicFile file;
    return file.open(path, why) && writeBmp(file, pixels, side, why) && file.commit(why);
}

}  // namespace qdx::viewer
