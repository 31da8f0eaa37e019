// Files that grab and still write: PPM, PGM, PNG and BMP pictures of a
// capture picture, and raw frames; each written whole or not at all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/files/AtomicFile.h"

namespace qdx::ctl {

using viewer::AtomicFile;

enum class FileKind { Ppm, Pgm, Png, Bmp, Raw, Tiff };  // Tiff: 16-bit only (capture/Still16.h)

// By the name's extension, case ignored; nothing for any other.
std::optional<FileKind> fileKindOf(std::string_view path);

// pixels: a capture picture (convertToCapture: blue-green-red, rows
// bottom-up, side x side). Grey pictures are written with one channel where
// the format has one (PGM, PNG); PPM and BMP always have three.
bool writePicture(AtomicFile& file, FileKind kind, const uint8_t* pixels, int side, bool grey, std::string& why);
bool writeBytes(AtomicFile& file, std::span<const uint8_t> bytes, std::string& why);

}  // namespace qdx::ctl
