// Files that grab writes: PPM, PGM and PNG pictures of a capture picture, and
// raw frames; each written whole or not at all.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qdx::ctl {

enum class FileKind { Ppm, Pgm, Png, Raw };

// By the name's extension, case ignored; nothing for any other.
std::optional<FileKind> fileKindOf(std::string_view path);

// Writes go to a temporary file beside the path that replaces it only once
// complete, so a failure or an interruption never leaves a part of a file
// under the name.
class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();  // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    bool open(const std::string& path, std::string& why);
    std::FILE* stream() { return stream_; }
    // Flushes to disk, closes and renames over the path.
    bool commit(std::string& why);

private:
    std::string path_;
    std::string tempPath_;
    std::FILE* stream_ = nullptr;
};

// pixels: a capture picture (convertToCapture: blue-green-red, rows
// bottom-up, side x side). Grey pictures are written with one channel where
// the format has one (PGM, PNG); PPM always has three.
bool writePicture(AtomicFile& file, FileKind kind, const uint8_t* pixels, int side, bool grey, std::string& why);
bool writeBytes(AtomicFile& file, std::span<const uint8_t> bytes, std::string& why);

}  // namespace qdx::ctl
