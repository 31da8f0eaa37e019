// A file written whole or not at all: writes go to a temporary file beside
// the path, which replaces the path only once every write, the flush to disk
// and the close have succeeded. A failure or an interruption never leaves a
// part of a file under the name, and never touches a file already there.
#pragma once

#include <cstddef>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace qdx::viewer {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();  // removes the temporary file unless committed
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // why: the reason when it fails, naming the path.
    bool open(const std::string& path, std::string& why);
    std::FILE* stream() { return stream_; }
    // Writes all the bytes, or fails with the reason.
    bool write(std::span<const unsigned char> bytes, std::string& why);
    bool write(std::string_view text, std::string& why);
    // Flushes to disk, closes and renames over the path.
    bool commit(std::string& why);

    // Makes sure the file can hold bytes: fails as a write would (a full
    // disk, the process's file size limit). The file is then that long
    // until written over: for a caller that writes exactly that many, or
    // commits nothing.
    bool reserve(std::size_t bytes, std::string& why);

private:
    std::string path_;
    std::string tempPath_;
    std::FILE* stream_ = nullptr;
};

// Whether a file of bytes bytes could be written at path now: the target is
// one a write may replace, its folder takes a new file and there is room for
// it. Leaves nothing behind. For commands that must not change the camera
// for a file they cannot write.
bool checkRoomFor(const std::string& path, std::size_t bytes, std::string& why);

}  // namespace qdx::viewer
