// One of the camera's EEPROMs: a byte image (optionally kept in a file, so
// that it persists like the real part) with the write-cycle busy time of a
// real EEPROM after every page write.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qdx::sim {

using SimClock = std::chrono::steady_clock;

// Not thread-safe: the camera that owns it serialises every call.
class Eeprom {
public:
    // backingFile empty: the image lives in memory only. Otherwise the image
    // is read from the file once and every write goes through to it; a
    // missing file is created blank (all 0xFF). A file is never blanked or
    // cut to size: a regular file of another size is renamed to a free name
    // beside it and a blank image takes its place; a file that cannot be used
    // leaves the image in memory only. startNote() says what happened.
    Eeprom(std::size_t size, const std::string& backingFile);
    ~Eeprom();
    Eeprom(const Eeprom&) = delete;
    Eeprom& operator=(const Eeprom&) = delete;

    std::size_t size() const { return bytes_.size(); }
    bool persistent() const { return fd_ >= 0; }
    // Why the image does not persist, or where a wrong-sized file went; empty
    // when the file was used as it was (or none was asked for).
    const std::string& startNote() const { return startNote_; }

    void blank();

    // Direct access (tools and tests); false when the range does not fit.
    bool read(uint32_t address, std::size_t length, uint8_t* out) const;
    bool write(uint32_t address, std::size_t length, const uint8_t* in);

    // Access from the camera's controller: a write is refused while the part
    // is busy with the previous page write, and starts a new write cycle.
    bool programPage(uint32_t address, std::size_t length, const uint8_t* in, SimClock::time_point now);
    bool busy(SimClock::time_point now) const { return now < busyUntil_; }

    void setWriteCycle(std::chrono::microseconds cycle) { writeCycle_ = cycle; }

private:
    void openFile();
    bool createFile();
    void moveAside(long long heldBytes);
    void writeThrough(std::size_t address, std::size_t length);

    std::vector<uint8_t> bytes_;  // the image; the file only ever follows it
    std::string path_;
    int fd_ = -1;  // the image file while it takes our writes
    std::string startNote_;
    SimClock::time_point busyUntil_{};
    std::chrono::microseconds writeCycle_{500};
};

}  // namespace qdx::sim
