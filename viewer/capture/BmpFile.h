// The still picture file: a standard uncompressed 24-bit BMP of a capture
// picture (BITMAPFILEHEADER and BITMAPINFOHEADER, then the rows bottom-up,
// blue-green-red). A row of a 404 or 400 pixel picture is a multiple of four
// bytes, so the picture's bytes go to the file as they are.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/files/AtomicFile.h"

namespace qdx::viewer {

inline constexpr std::size_t kBmpHeaderBytes = 54;

// The two headers of a side x side picture; side a multiple of 4.
std::array<uint8_t, kBmpHeaderBytes> bmpHeader(int side);

// Writes the headers and a capture picture (convertToCapture's layout) into
// an open file; why says what failed. The caller commits.
bool writeBmp(AtomicFile& file, const uint8_t* pixels, int side, std::string& why);

// The whole file at path, or nothing at all (see AtomicFile).
bool saveBmp(const std::string& path, const uint8_t* pixels, int side, std::string& why);

}  // namespace qdx::viewer
