#include "AtomicFile.h"

#include "RegularFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace qdx::viewer {
namespace {

namespace fs = std::filesystem;

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

}  // namespace

AtomicFile::~AtomicFile()
{
    if (stream_) {
        std::fclose(stream_);
        ::unlink(tempPath_.c_str());
    }
}

bool AtomicFile::open(const std::string& path, std::string& why)
{
    const fs::path target(path);
    if (target.filename().empty()) {
        why = path + ": not a file name";
        return false;
    }
    // A device node or FIFO under the name would be replaced by the rename
    // (createBeside refuses it), a link planted under the temporary name
    // would be followed (it is created exclusively).
    std::string tempPath;
    FileDescriptor file = createBeside(path, tempPath, why);
    if (!file)
        return false;
    stream_ = ::fdopen(file.get(), "wb");
    if (!stream_) {
        why = systemError(path);
        ::unlink(tempPath.c_str());
        return false;
    }
    file.release();  // the stream owns it now
    path_ = path;
    tempPath_ = std::move(tempPath);
    return true;
}

bool AtomicFile::commit(std::string& why)
{
    if (!stream_) {
        why = path_ + ": not open";
        return false;
    }
    std::FILE* stream = stream_;
    stream_ = nullptr;
    // On disk before the rename, so that a crash cannot leave the name on
    // an empty file.
    bool written = std::fflush(stream) == 0 && ::fsync(::fileno(stream)) == 0;
    int error = errno;
    if (std::fclose(stream) != 0 && written) {
        written = false;
        error = errno;
    }
    if (!written) {
        errno = error;
        why = systemError(path_);
        ::unlink(tempPath_.c_str());
        return false;
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        why = systemError(path_);
        ::unlink(tempPath_.c_str());
        return false;
    }
    return true;
}

bool AtomicFile::write(std::span<const unsigned char> bytes, std::string& why)
{
    if (!stream_) {
        why = path_ + ": not open";
        return false;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), stream_) != bytes.size()) {
        why = systemError(path_);
        return false;
    }
    return true;
}

bool AtomicFile::write(std::string_view text, std::string& why)
{
    return write(std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()), why);
}

bool AtomicFile::reserve(std::size_t bytes, std::string& why)
{
    if (!stream_) {
        why = path_ + ": not open";
        return false;
    }
    if (bytes == 0)
        return true;
    if (const int error = ::posix_fallocate(::fileno(stream_), 0, static_cast<off_t>(bytes)); error != 0) {
        errno = error;
        why = systemError(path_);
        return false;
    }
    return true;
}

bool checkRoomFor(const std::string& path, std::size_t bytes, std::string& why)
{
    AtomicFile probe;  // its temporary file goes with it, uncommitted
    return probe.open(path, why) && probe.reserve(bytes, why);
}

}  // namespace qdx::viewer
