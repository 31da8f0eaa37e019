// A file written whole or not at all: writes go to a temporary file beside
// the path, which replaces the path only once every write, the flush to disk
// and the close have succeeded. A failure or an interruption never leaves a
// part of a file under the name, and never touches a file already there.
#pragma once

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

private:
    std::string path_;
    std::string tempPath_;
    std::FILE* stream_ = nullptr;
};

}  // namespace qdx::viewer
