#include "RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace qdx::viewer {
namespace {

std::string systemError(const std::string& path)
{
    return path + ": " + std::strerror(errno);
}

// Why a file of this type cannot be used; empty for a regular file.
std::string whyNotRegular(const std::string& path, mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return path + ": is a folder";
    return path + ": " + kNotRegularFile;
}

}  // namespace

FileDescriptor::~FileDescriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = other.release();
    }
    return *this;
}

int FileDescriptor::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

bool FileDescriptor::close()
{
    return fd_ < 0 || ::close(release()) == 0;
}

bool checkWriteTarget(const std::string& path, std::string& why)
{
    if (path.empty() || path.back() == '/') {
        why = path + ": not a file name";
        return false;
    }
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        if (errno == ENOENT)
            return true;
        why = systemError(path);
        return false;
    }
    if (S_ISLNK(status.st_mode))
        return true;
    why = whyNotRegular(path, status.st_mode);
    return why.empty();
}

FileDescriptor createBeside(const std::string& path, std::string& tempPath, std::string& why)
{
    if (!checkWriteTarget(path, why))
        return {};
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = path.substr(folder.size());
    std::random_device random;
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".tmp-%08x", static_cast<unsigned>(random()));
        tempPath = folder + "." + name + suffix;
        FileDescriptor file(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (file)
            return file;
        if (errno != EEXIST) {
            why = systemError(path);
            return {};
        }
    }
    why = path + ": no temporary file could be made beside it";
    return {};
}

FileDescriptor openRegularFile(const std::string& path, std::string& why)
{
    // A device is not even opened (opening some has effects of its own); the
    // check after the open covers a file swapped meanwhile.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        why = systemError(path);
        return {};
    }
    if (why = whyNotRegular(path, status.st_mode); !why.empty())
        return {};
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file) {
        why = systemError(path);
        return {};
    }
    if (::fstat(file.get(), &status) != 0) {
        why = systemError(path);
        return {};
    }
    if (why = whyNotRegular(path, status.st_mode); !why.empty())
        return {};
    if (::fcntl(file.get(), F_SETFL, 0) != 0) {
        why = systemError(path);
        return {};
    }
    return file;
}

long readChunk(int fd, char* buffer, std::size_t room, const std::string& path, std::string& why)
{
    for (;;) {
        const ssize_t got = ::read(fd, buffer, room);
        if (got >= 0)
            return static_cast<long>(got);
        if (errno != EINTR) {
            why = systemError(path);
            return -1;
        }
    }
}

bool readRegularFile(const std::string& path, std::size_t maxBytes, std::string& contents, std::string& why)
{
    FileDescriptor file = openRegularFile(path, why);
    if (!file)
        return false;
    std::string text(maxBytes + 1, '\0');
    std::size_t total = 0;
    while (total < text.size()) {
        const long got = readChunk(file.get(), text.data() + total, text.size() - total, path, why);
        if (got < 0)
            return false;
        if (got == 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    if (total > maxBytes) {
        why = path + ": larger than " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    text.resize(total);
    contents = std::move(text);
    return true;
}

uint64_t freeBytesBeside(const std::string& path)
{
    std::string folder = path.substr(0, path.find_last_of('/') + 1);
    if (folder.empty())
        folder = ".";
    struct statvfs disk {};
    if (::statvfs(folder.c_str(), &disk) != 0)
        return UINT64_MAX;
    return static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize;
}

}  // namespace qdx::viewer
