// The one rule for every file a user names, read or written: only regular
// files. A device node, a FIFO, a socket or a folder is refused with
// "PATH: not a regular file" (a folder: "PATH: is a folder"), never opened in
// a way that could block, truncate or replace it. A symbolic link named as
// the target of a write is replaced by the new file, never followed into the
// file it names; a read follows it to a regular file as any program does.
// Reads are bounded: nobody's memory fills up from /dev/zero.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace qdx::viewer {

inline constexpr const char* kNotRegularFile = "not a regular file";

// An owned file descriptor, closed when it goes.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    // Closes now; false (errno set) when the close reported an error.
    bool close();

private:
    int fd_ = -1;
};

// Whether path may be written: absent (its folder is checked when the file is
// made), a regular file or a symbolic link (which the write replaces). False
// with why ("PATH: not a regular file") for anything else.
bool checkWriteTarget(const std::string& path, std::string& why);

// A new, empty file beside path, to be renamed over it once written (whole,
// or far enough to be of use): ".NAME.tmp-XXXXXXXX" in the same folder,
// created exclusively, so nothing already there is followed or truncated.
// The target is checked first (checkWriteTarget). Mode 0666 less the umask.
// An invalid descriptor and why (naming path) on failure.
FileDescriptor createBeside(const std::string& path, std::string& tempPath, std::string& why);

// Opens path for reading without ever blocking (a FIFO with no writer) and
// only when it is a regular file; the descriptor then reads normally.
FileDescriptor openRegularFile(const std::string& path, std::string& why);

// Bytes free for an unprivileged writer on the disk of path's folder;
// UINT64_MAX when unknown (the write results still catch a full disk).
uint64_t freeBytesBeside(const std::string& path);

// The whole of a regular file of at most maxBytes: never reads more than
// maxBytes + 1 bytes. A larger file is refused ("PATH: larger than N bytes").
bool readRegularFile(const std::string& path, std::size_t maxBytes, std::string& contents, std::string& why);

// Reads a regular file in pieces, at most maxBytes in all, handing each to
// onChunk(std::string_view), which returns false to stop early: reading then
// ends without taking more of the file. why is set unless it stopped or ended.
enum class ChunkRead { Stopped, Ended, TooLarge, Failed };
template <typename OnChunk>
ChunkRead readRegularChunks(const std::string& path, std::size_t maxBytes, OnChunk&& onChunk, std::string& why);

// Implementation detail of readRegularChunks: the next piece of fd, at most
// room bytes; -1 on error (why set), 0 at the end.
long readChunk(int fd, char* buffer, std::size_t room, const std::string& path, std::string& why);

template <typename OnChunk>
ChunkRead readRegularChunks(const std::string& path, std::size_t maxBytes, OnChunk&& onChunk, std::string& why)
{
    FileDescriptor file = openRegularFile(path, why);
    if (!file)
        return ChunkRead::Failed;
    char buffer[16384];
    std::size_t total = 0;
    for (;;) {
        // One byte past the bound tells a file that goes on from one that ends there.
        const std::size_t room = std::min(sizeof buffer, maxBytes + 1 - total);
        const long got = readChunk(file.get(), buffer, room, path, why);
        if (got < 0)
            return ChunkRead::Failed;
        if (got == 0)
            return ChunkRead::Ended;
        const std::size_t usable = std::min(static_cast<std::size_t>(got), maxBytes - total);
        total += static_cast<std::size_t>(got);
        if (usable > 0 && !onChunk(std::string_view(buffer, usable)))
            return ChunkRead::Stopped;
        if (total > maxBytes) {
            why = path + ": larger than " + std::to_string(maxBytes) + " bytes";
            return ChunkRead::TooLarge;
        }
    }
}

}  // namespace qdx::viewer
