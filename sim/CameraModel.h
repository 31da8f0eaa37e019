// The simulated camera's inside: what the FX2 controller, the FPGA register
// file, the sensor head's I2C devices and both EEPROMs answer on the control
// pipe. One model serves every door to it (the in-process link and the
// emulated USB bus). Not thread-safe: its owner serialises access.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Eeprom.h"
#include "protocol/Registers.h"
#include "protocol/VendorRequests.h"

namespace qdx::sim {

inline constexpr std::size_t kFx2EepromSize = 64 * 1024;
inline constexpr std::size_t kCisEepromSize = 128 * 1024;
inline constexpr int kSensorHeadI2CAddress = 0x58;
inline constexpr int kRegisterCount = 65536;
inline constexpr int kChangeMaskRegisters = 48;

inline constexpr uint16_t kFpgaVersion = 0x0021;  // 2.1, variant A
inline constexpr uint8_t kFirmwareMajor = 1;
inline constexpr uint8_t kFirmwareMinor = 4;

// What a frame needs to know of the camera's settings, taken under the
// owner's lock so that rendering can run without it.
struct FrameSettings {
    int dataFormat = 0;
};

class CameraModel {
public:
    // stateFilePrefix empty: memories in RAM only; otherwise both EEPROM
    // images persist in files named prefix + "-fx2.eeprom" / "-cis.eeprom".
    explicit CameraModel(const std::string& stateFilePrefix);

    // Power-on state of everything but the EEPROM contents.
    void powerOn();

    // Lets the camera's own activity advance to `now` (one-push white balance).
    void advance(SimClock::time_point now);
    void blankMemories();

    // One control transfer. IN requests fill setup.wLength bytes of data.
    // False is a stalled request (the host sees a failed transfer).
    bool handleControl(const SetupPacket& setup, uint8_t* data, SimClock::time_point now);

    FrameSettings frameSettings() const;

    uint16_t reg(int address) const { return registers_[static_cast<std::size_t>(address)]; }
    // A change the camera makes itself; optionally reported in the change mask.
    void setRegister(int address, uint16_t value, bool reportChange);

    Eeprom& memory(int memoryType) { return memoryType == kMemoryCis ? *cis_ : *fx2_; }

    // The next statusReads status records report this state (-1: until changed).
    void overrideMemoryState(int memoryType, int state, int statusReads);
    void setCisPresent(bool present);
    bool cisPresent() const { return cisPresent_; }
    void setEepromWriteCycle(std::chrono::microseconds cycle);

private:
    bool readStatus(uint8_t* record, SimClock::time_point now);
    bool deviceControl(int recordIndex, const uint8_t* record);
    bool i2cRead(int slave, std::size_t length, uint8_t* data);
    bool i2cWrite(int slave, std::size_t length, const uint8_t* data);
    bool memoryRead(int type, uint32_t address, std::size_t length, uint8_t* data);
    bool memoryWrite(int type, uint32_t address, std::size_t length, const uint8_t* data, SimClock::time_point now);
    bool registerRead(int device, int first, std::size_t length, uint8_t* data);
    bool registerWrite(int device, int first, std::size_t length, const uint8_t* data);
    uint8_t memoryState(int type, SimClock::time_point now);
    void loadPowerOnTables();
    void finishWhiteBalance();

    struct StateOverride {
        int state = 0;
        int remaining = 0;  // status reads left; -1 for ever; 0 inactive
    };

    std::vector<uint16_t> registers_;
    uint64_t changeBits_ = 0;  // registers 0..47 changed by the camera, not yet reported
    std::array<uint8_t, kDeviceInfoSize> deviceInfo_{};
    std::array<std::array<uint8_t, kFormatInfoSize>, 2> formatInfo_{};
    std::array<std::array<uint8_t, kDeviceControlSize>, 8> controlRecords_{};
    std::array<uint8_t, 256> sensorHeadRegisters_{};
    uint8_t sensorHeadPointer_ = 0;
    std::unique_ptr<Eeprom> fx2_;
    std::unique_ptr<Eeprom> cis_;
    std::array<StateOverride, 2> stateOverride_{};
    bool cisPresent_ = true;
    int dataFormat_ = 0;
    bool whiteBalanceBusy_ = false;
    SimClock::time_point whiteBalanceDone_{};
};

// A one-push white balance takes this long (a few frames) before the new
// red and blue gains appear.
inline constexpr std::chrono::milliseconds kWhiteBalanceTime{150};

}  // namespace qdx::sim
