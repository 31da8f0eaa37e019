#include "Eeprom.h"

#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qdx::sim {

namespace {

// Maps the file, creating or re-creating it blank when it does not hold an
// image of exactly the right size. Null when the file cannot be used.
uint8_t* mapImage(const std::string& path, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    struct stat st {};
    bool blankIt = false;
    if (::fstat(fd, &st) != 0 || static_cast<std::size_t>(st.st_size) != size) {
        if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
            ::close(fd);
            return nullptr;
        }
        blankIt = true;
    }
    void* p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (p == MAP_FAILED)
        return nullptr;
    auto* bytes = static_cast<uint8_t*>(p);
    if (blankIt)
        std::memset(bytes, 0xFF, size);
    return bytes;
}

}  // namespace

Eeprom::Eeprom(std::size_t size, const std::string& backingFile) : size_(size)
{
    if (!backingFile.empty()) {
        bytes_ = mapImage(backingFile, size);
        mapped_ = bytes_ != nullptr;
    }
    if (!bytes_) {
        bytes_ = new uint8_t[size];
        std::memset(bytes_, 0xFF, size);
    }
}

Eeprom::~Eeprom()
{
    if (mapped_)
        ::munmap(bytes_, size_);
    else
        delete[] bytes_;
}

void Eeprom::blank()
{
    std::memset(bytes_, 0xFF, size_);
    busyUntil_ = {};
}

bool Eeprom::read(uint32_t address, std::size_t length, uint8_t* out) const
{
    if (address > size_ || length > size_ - address)
        return false;
    if (length)
        std::memcpy(out, bytes_ + address, length);
    return true;
}

bool Eeprom::write(uint32_t address, std::size_t length, const uint8_t* in)
{
    if (address > size_ || length > size_ - address)
        return false;
    if (length)
        std::memcpy(bytes_ + address, in, length);
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
