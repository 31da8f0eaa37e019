#include "Eeprom.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace qdx::sim {

namespace {

std::string errorText(int error)
{
    return std::generic_category().message(error);
}

std::string quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

bool readAll(int fd, uint8_t* out, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd, out + done, length - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = EIO;  // shorter than it was a moment ago
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool writeAll(int fd, std::size_t offset, const uint8_t* in, std::size_t length)
{
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pwrite(fd, in + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

// The image is read once and written through, never mapped: a file that
// shrinks under a mapping kills the process on the next access.
Eeprom::Eeprom(std::size_t size, const std::string& backingFile) : bytes_(size, 0xFF), path_(backingFile)
{
    if (!path_.empty())
        openFile();
}

Eeprom::~Eeprom()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void Eeprom::openFile()
{
    bool writable = true;
    // O_NONBLOCK: a FIFO planted under the name must not hold the open; it is
    // refused below, and on a regular file the flag changes nothing.
    int fd = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        createFile();
        return;
    }
    if (fd < 0 && (errno == EACCES || errno == EPERM || errno == EROFS)) {
        writable = false;
        fd = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    if (fd < 0) {
        startNote_ = quoted(path_) + " cannot be opened (" + errorText(errno) + "): the EEPROM is kept in memory only";
        return;
    }

    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        startNote_ = quoted(path_) + " is not a regular file: left alone, the EEPROM is kept in memory only";
        return;
    }
    if (static_cast<std::size_t>(st.st_size) != size()) {
        ::close(fd);
        if (writable) {
            moveAside(static_cast<long long>(st.st_size));
        } else {
            startNote_ = quoted(path_) + " holds " + std::to_string(st.st_size) + " bytes, not the " +
                         std::to_string(size()) +
                         " of an image, and is read-only: left alone, the EEPROM is kept in memory only";
        }
        return;
    }
    if (!readAll(fd, bytes_.data(), size())) {
        const int error = errno;
        ::close(fd);
        std::fill(bytes_.begin(), bytes_.end(), uint8_t{0xFF});
        startNote_ = quoted(path_) + " cannot be read (" + errorText(error) +
                     "): left alone, the EEPROM is kept in memory only";
        return;
    }
    if (!writable) {
        ::close(fd);
        startNote_ = quoted(path_) + " is read-only: the EEPROM starts from it, its changes are not kept";
        return;
    }
    fd_ = fd;
}

// A new file, blank. O_EXCL: a file that appeared meanwhile is not ours to fill.
bool Eeprom::createFile()
{
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        startNote_ = quoted(path_) + " cannot be created (" + errorText(errno) + "): the EEPROM is kept in memory only";
        return false;
    }
    if (!writeAll(fd, 0, bytes_.data(), size())) {
        const int error = errno;
        ::close(fd);
        ::unlink(path_.c_str());
        startNote_ = quoted(path_) + " cannot be written (" + errorText(error) + "): the EEPROM is kept in memory only";
        return false;
    }
    fd_ = fd;
    return true;
}

// Another size is another part's image or a damaged one: it keeps its bytes
// under a name of its own, never replaced (RENAME_NOREPLACE).
void Eeprom::moveAside(long long heldBytes)
{
    const std::string held = quoted(path_) + " holds " + std::to_string(heldBytes) + " bytes, not the " +
                             std::to_string(size()) + " of an image";
    int error = 0;
    for (int n = 1; n <= 9; ++n) {
        const std::string aside = path_ + ".wrong-size" + (n > 1 ? "." + std::to_string(n) : std::string());
        if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) {
            const std::string moved = held + ": renamed to " + quoted(aside);
            startNote_ = createFile() ? moved + ", a blank image takes its place" : moved + "; " + startNote_;
            return;
        }
        error = errno;
        if (error != EEXIST)
            break;
    }
    startNote_ = held + " and cannot be renamed (" + errorText(error) +
                 "): left alone, the EEPROM is kept in memory only";
}

void Eeprom::writeThrough(std::size_t address, std::size_t length)
{
    if (fd_ < 0)
        return;
    struct stat st {};
    bool written = false;
    if (::fstat(fd_, &st) == 0) {
        if (static_cast<std::size_t>(st.st_size) == size()) {
            written = writeAll(fd_, address, bytes_.data() + address, length);
        } else {
            std::fprintf(stderr,
                         "QDX: the simulated EEPROM image %s changed size while in use: it is written whole "
                         "again from the camera's memory\n",
                         quoted(path_).c_str());
            written = ::ftruncate(fd_, static_cast<off_t>(size())) == 0 && writeAll(fd_, 0, bytes_.data(), size());
        }
    }
    if (!written) {
        std::fprintf(stderr,
                     "QDX: writing the simulated EEPROM image %s failed (%s): the EEPROM is kept in memory only from "
                     "now on\n",
                     quoted(path_).c_str(), errorText(errno).c_str());
        ::close(fd_);
        fd_ = -1;
    }
}

void Eeprom::blank()
{
    std::fill(bytes_.begin(), bytes_.end(), uint8_t{0xFF});
    writeThrough(0, size());
    busyUntil_ = {};
}

bool Eeprom::read(uint32_t address, std::size_t length, uint8_t* out) const
{
    if (address > size() || length > size() - address)
        return false;
    if (length)
        std::memcpy(out, bytes_.data() + address, length);
    return true;
}

bool Eeprom::write(uint32_t address, std::size_t length, const uint8_t* in)
{
    if (address > size() || length > size() - address)
        return false;
    if (length) {
        std::memcpy(bytes_.data() + address, in, length);
        writeThrough(address, length);
    }
    return true;
}

bool Eeprom::programPage(uint32_t address, std::size_t length, const uint8_t* in, SimClock::time_point now)
{
    if (busy(now) || !write(address, length, in))
        return false;
    busyUntil_ = now + writeCycle_;
    return true;
}

}  // namespace qdx::sim
