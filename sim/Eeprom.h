// One of the camera's EEPROMs: a byte image (optionally a file mapped into
// memory, so that it persists like the real part) with the write-cycle busy
// time of a real EEPROM after every page write.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qdx::sim {

using SimClock = std::chrono::steady_clock;

class Eeprom {
public:
    // backingFile empty: the image lives in memory only. Otherwise the file is
    // created (blank, all 0xFF) when it is missing or has the wrong size.
    Eeprom(std::size_t size, const std::string& backingFile);
    ~Eeprom();
    Eeprom(const Eeprom&) = delete;
    Eeprom& operator=(const Eeprom&) = delete;

    std::size_t size() const { return size_; }
    bool persistent() const { return mapped_; }

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
    std::size_t size_;
    uint8_t* bytes_ = nullptr;
    bool mapped_ = false;
    SimClock::time_point busyUntil_{};
    std::chrono::microseconds writeCycle_{500};
};

}  // namespace qdx::sim
