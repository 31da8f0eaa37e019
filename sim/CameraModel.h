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
#include "Scene.h"
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
// The sensor-head clock phase that samples the pixels sharply.
inline constexpr uint16_t kBestClockPhase = 2;

// What a frame needs to know of the camera's settings, taken under the
// owner's lock so that rendering can run without it.
struct FrameSettings {
    int dataFormat = 0;
    SceneKind scene = SceneKind::Chart;
    std::array<uint16_t, 64> registers{};  // registers 0..63
    std::vector<uint16_t> dpTables;        // 0x100..0x1FF: both defect-pixel tables
    std::vector<uint16_t> fpnTable;        // 0x1000..0xB0F7, empty while FPN correction is off
    std::vector<uint16_t> gammaTable;      // the chosen gamma table, empty while gamma is off

    int reg(int r) const { return registers[static_cast<std::size_t>(r)]; }
};

// What the camera measured on a frame, for its automatic controls.
struct FrameStatistics {
    bool valid = false;
    double meteredLuma = 0;  // mean linear luma above the pedestal in the metering area, 12-bit
    // Linear red, green and blue above the pedestal on a sparse grid of the
    // picture, before white balance; the white balance searches it for grey.
    std::vector<std::array<float, 3>> samples;
};

class CameraModel {
public:
    // stateFilePrefix empty: memories in RAM only; otherwise both EEPROM
    // images persist in files named prefix + "-fx2.eeprom" / "-cis.eeprom".
    explicit CameraModel(const std::string& stateFilePrefix);

    // Power-on state of everything but the EEPROM contents.
    void powerOn();

    void blankMemories();

    // One control transfer. IN requests fill setup.wLength bytes of data.
    // False is a stalled request (the host sees a failed transfer).
    bool handleControl(const SetupPacket& setup, uint8_t* data, SimClock::time_point now);

    FrameSettings frameSettings() const;
    // As frameSettings(), reusing the buffers of `out`.
    void takeFrameSettings(FrameSettings& out) const;

    // The automatic controls act on each frame's measurements: exposure and
    // gain (QDX_REG_CONTROL_MODE), level (QDX_REG_ALC) and one-push white balance (QDX_REG_AWB).
    void applyStatistics(const FrameStatistics& stats);

    void setScene(SceneKind scene) { scene_ = scene; }

    uint16_t reg(int address) const { return registers_[static_cast<std::size_t>(address)]; }
    // A change the camera makes itself; optionally reported in the change mask.
    void setRegister(int address, uint16_t value, bool reportChange);

    Eeprom& memory(int memoryType) { return memoryType == kMemoryCis ? *cis_ : *fx2_; }

    // The next statusReads status records report this state (-1: until changed).
    void overrideMemoryState(int memoryType, int state, int statusReads);
    void setCisPresent(bool present);
    void setEepromWriteCycle(std::chrono::microseconds cycle);

private:
    bool readStatus(uint8_t* record, SimClock::time_point now);
    bool deviceControl(int recordIndex, const uint8_t* record);
    bool i2cRead(int slave, std::size_t length, uint8_t* data);
    bool i2cWrite(int slave, std::size_t length, const uint8_t* data);
    bool memoryRead(int type, uint32_t address, std::size_t length, uint8_t* data);
    bool memoryWrite(int type, uint32_t address, std::size_t length, const uint8_t* data, SimClock::time_point now);
    bool validRegisterRange(int device, int first, std::size_t length) const;
    bool registerRead(int device, int first, std::size_t length, uint8_t* data);
    bool registerWrite(int device, int first, std::size_t length, const uint8_t* data);
    uint8_t memoryState(int type, SimClock::time_point now);
    void loadPowerOnTables();
    void runExposureControl(const FrameStatistics& stats);
    void runLevelControl(const FrameStatistics& stats);
    void runWhiteBalance(const FrameStatistics& stats);

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
    SceneKind scene_ = SceneKind::Chart;
    bool exposureActive_ = false;  // the exposure loop is correcting (hysteresis state)
    bool levelActive_ = false;
    int whiteBalanceFrames_ = 0;   // frames measured so far by a running one-push white balance
    std::array<double, 3> whiteBalanceSums_{};
};

// A one-push white balance measures this many frames before it decides.
inline constexpr int kWhiteBalanceFrames = 4;
inline constexpr double kGainDbPerStep = 0.0352;

}  // namespace qdx::sim
