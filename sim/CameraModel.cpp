#include "CameraModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qdx::sim {

namespace {

void putLe16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v & 0xFF);
    p[1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

CameraModel::CameraModel(const std::string& stateFilePrefix)
    : registers_(kRegisterCount, 0),
      fx2_(std::make_unique<Eeprom>(kFx2EepromSize,
                                    stateFilePrefix.empty() ? std::string() : stateFilePrefix + "-fx2.eeprom")),
      cis_(std::make_unique<Eeprom>(kCisEepromSize,
                                    stateFilePrefix.empty() ? std::string() : stateFilePrefix + "-cis.eeprom"))
{
    powerOn();
}

void CameraModel::powerOn()
{
    std::fill(registers_.begin(), registers_.end(), uint16_t{0});
    registers_[reg::kCisConnected] = cisPresent_ ? 1 : 0;
    registers_[reg::kFpgaVersion] = kFpgaVersion;
    // The camera starts with a neutral picture at 28.8 ms and unity gain.
    registers_[reg::kExposureTime] = 400;
    registers_[reg::kRawGain] = 16;
    registers_[reg::kControlTarget] = 50;
    for (int i : {0, 4, 8})
        registers_[static_cast<std::size_t>(reg::kColorMatrix + i)] = 128;
    loadPowerOnTables();
    whiteBalanceBusy_ = false;
    changeBits_ = 0;
    dataFormat_ = 0;
    sensorHeadPointer_ = 0;
    stateOverride_ = {};
    for (auto& record : controlRecords_)
        record.fill(0);

    // Device information: a product tag, the firmware version in bytes 2 and 3,
    // the picture size; the rest is the camera's own and left zero.
    deviceInfo_.fill(0);
    deviceInfo_[0] = 0x51;  // 'Q'
    deviceInfo_[1] = 0x44;  // 'D'
    deviceInfo_[2] = kFirmwareMajor;
    deviceInfo_[3] = kFirmwareMinor;
    putLe16(&deviceInfo_[4], 404);
    putLe16(&deviceInfo_[6], 404);
    std::memcpy(&deviceInfo_[16], "QDX-404 SIM", 11);

    // Format records: width, height, bits per sample, format code, frame rate.
    for (int f = 0; f < 2; ++f) {
        auto& record = formatInfo_[static_cast<std::size_t>(f)];
        putLe16(&record[0], 404);
        putLe16(&record[2], 404);
        record[4] = 16;
        record[5] = static_cast<uint8_t>(f);  // 0 YCbCr 4:2:2, 1 sensor luma
        record[6] = 30;
        record[7] = 0;
    }

    // The sensor head's register device: an identification and a few settings.
    sensorHeadRegisters_.fill(0);
    sensorHeadRegisters_[0x00] = 0x40;  // chip id
    sensorHeadRegisters_[0x01] = 0x04;
    sensorHeadRegisters_[0x02] = 0x01;  // revision
}

// Empty defect-pixel tables, a zero FPN table, and three gamma curves
// (exponents 1/1.8, 1/2.2 and 1/2.6) from 12-bit input to 12-bit output.
void CameraModel::loadPowerOnTables()
{
    for (int i = 0; i < 2 * reg::kDpTableRegisters; ++i)
        registers_[static_cast<std::size_t>(reg::kDpTable0 + i)] = reg::kDpEmpty;
    const double exponents[3] = {1 / 1.8, 1 / 2.2, 1 / 2.6};
    const int bases[3] = {reg::kGammaTable0, reg::kGammaTable1, reg::kGammaTable2};
    for (int t = 0; t < 3; ++t) {
        for (int i = 0; i < reg::kGammaTableRegisters; ++i) {
            const double out = 4095.0 * std::pow(i / 4095.0, exponents[t]);
            registers_[static_cast<std::size_t>(bases[t] + i)] = static_cast<uint16_t>(std::lround(out));
        }
    }
}

void CameraModel::advance(SimClock::time_point now)
{
    if (whiteBalanceBusy_ && now >= whiteBalanceDone_)
        finishWhiteBalance();
}

// The scene is lit a little warm: red comes out 2 dB high and blue 3 dB low.
// The gains that neutralise it are stored and reported like any change the
// camera makes itself.
void CameraModel::finishWhiteBalance()
{
    constexpr double dbPerStep = 0.0352;
    const auto sm8 = [](int v) { return static_cast<uint16_t>((v < 0 ? 0x100 : 0) | (std::abs(v) & 0xFF)); };
    setRegister(reg::kRedGain, sm8(static_cast<int>(std::lround(-2.0 / dbPerStep))), true);
    setRegister(reg::kBlueGain, sm8(static_cast<int>(std::lround(3.0 / dbPerStep))), true);
    setRegister(reg::kOnePushAwb, 0, true);
    whiteBalanceBusy_ = false;
}

void CameraModel::blankMemories()
{
    fx2_->blank();
    cis_->blank();
}

void CameraModel::setRegister(int address, uint16_t value, bool reportChange)
{
    registers_[static_cast<std::size_t>(address)] = value;
    if (reportChange && address < kChangeMaskRegisters)
        changeBits_ |= uint64_t{1} << address;
}

void CameraModel::overrideMemoryState(int memoryType, int state, int statusReads)
{
    stateOverride_[memoryType == kMemoryCis ? 1 : 0] = {state, statusReads};
}

void CameraModel::setCisPresent(bool present)
{
    cisPresent_ = present;
    registers_[reg::kCisConnected] = present ? 1 : 0;
}

void CameraModel::setEepromWriteCycle(std::chrono::microseconds cycle)
{
    fx2_->setWriteCycle(cycle);
    cis_->setWriteCycle(cycle);
}

FrameSettings CameraModel::frameSettings() const
{
    FrameSettings settings;
    settings.dataFormat = dataFormat_;
    return settings;
}

bool CameraModel::handleControl(const SetupPacket& setup, uint8_t* data, SimClock::time_point now)
{
    const bool in = setup.isDeviceToHost();
    const std::size_t length = setup.wLength;
    // The FX2 answers vendor requests to the device only, in the direction
    // each request is defined for.
    if ((setup.bmRequestType & 0x7F) != 0x40)
        return false;
    advance(now);

    switch (setup.bRequest) {
    case request::kDeviceInfo:
        if (!in || length != kDeviceInfoSize)
            return false;
        std::memcpy(data, deviceInfo_.data(), kDeviceInfoSize);
        return true;
    case request::kFormatInfo:
        if (!in || length != kFormatInfoSize || setup.wIndex > 1)
            return false;
        std::memcpy(data, formatInfo_[setup.wIndex].data(), kFormatInfoSize);
        return true;
    case request::kDeviceStatus:
        if (!in || length != kDeviceStatusSize)
            return false;
        return readStatus(data, now);
    case request::kDeviceControl:
        if (in || length != kDeviceControlSize || setup.wIndex > 7)
            return false;
        return deviceControl(setup.wIndex, data);
    case request::kI2CRead:
        return in && i2cRead(setup.wIndex, length, data);
    case request::kI2CWrite:
        return !in && i2cWrite(setup.wIndex, length, data);
    case request::kMemoryRead:
        return in && memoryRead(memoryTypeOf(setup), memoryAddressOf(setup), length, data);
    case request::kMemoryWrite:
        return !in && memoryWrite(memoryTypeOf(setup), memoryAddressOf(setup), length, data, now);
    case request::kRegisterRead:
        return in && registerRead(setup.wValue, setup.wIndex, length, data);
    case request::kRegisterWrite:
        return !in && registerWrite(setup.wValue, setup.wIndex, length, data);
    default:
        return false;
    }
}

uint8_t CameraModel::memoryState(int type, SimClock::time_point now)
{
    auto& forced = stateOverride_[type == kMemoryCis ? 1 : 0];
    if (forced.remaining != 0) {
        if (forced.remaining > 0)
            --forced.remaining;
        return static_cast<uint8_t>(forced.state);
    }
    if (type == kMemoryCis && !cisPresent_)
        return kMemoryAbsent;
    return memory(type).busy(now) ? kMemoryBusy : kMemoryReady;
}

bool CameraModel::readStatus(uint8_t* record, SimClock::time_point now)
{
    std::memset(record, 0, kDeviceStatusSize);
    record[status::kDataFormat] = static_cast<uint8_t>(dataFormat_);
    record[status::kFx2MemoryState] = memoryState(kMemoryFx2, now);
    record[status::kCisMemoryState] = memoryState(kMemoryCis, now);
    // Each change is reported once; the camera forgets it when it has told the host.
    for (std::size_t i = 0; i < kChangeMaskSize; ++i)
        record[status::kChangeMask + i] = static_cast<uint8_t>(changeBits_ >> (8 * i));
    changeBits_ = 0;
    return true;
}

bool CameraModel::deviceControl(int recordIndex, const uint8_t* record)
{
    auto& stored = controlRecords_[static_cast<std::size_t>(recordIndex)];
    std::memcpy(stored.data(), record, kDeviceControlSize);
    if (recordIndex == kDataFormatRecord) {
        // Formats 0 (colour) and 1 (sensor luma) exist; the camera refuses others.
        if (record[1] > 1)
            return false;
        dataFormat_ = record[1];
    }
    return true;
}

// The sensor head's register device: a write sets the register pointer with
// its first byte and stores any further bytes from there on; a read returns
// bytes from the pointer on. Both advance the pointer. Other addresses do not
// acknowledge.
bool CameraModel::i2cRead(int slave, std::size_t length, uint8_t* data)
{
    if (slave != kSensorHeadI2CAddress || !cisPresent_)
        return false;
    for (std::size_t i = 0; i < length; ++i)
        data[i] = sensorHeadRegisters_[sensorHeadPointer_++];
    return true;
}

bool CameraModel::i2cWrite(int slave, std::size_t length, const uint8_t* data)
{
    if (slave != kSensorHeadI2CAddress || !cisPresent_ || length == 0)
        return false;
    sensorHeadPointer_ = data[0];
    for (std::size_t i = 1; i < length; ++i)
        sensorHeadRegisters_[sensorHeadPointer_++] = data[i];
    return true;
}

bool CameraModel::memoryRead(int type, uint32_t address, std::size_t length, uint8_t* data)
{
    if (type != kMemoryFx2 && type != kMemoryCis)
        return false;
    if (type == kMemoryCis && !cisPresent_)
        return false;
    return memory(type).read(address, length, data);
}

bool CameraModel::memoryWrite(int type, uint32_t address, std::size_t length, const uint8_t* data,
                              SimClock::time_point now)
{
    if (type != kMemoryFx2 && type != kMemoryCis)
        return false;
    if (type == kMemoryCis && !cisPresent_)
        return false;
    return memory(type).programPage(address, length, data, now);
}

bool CameraModel::registerRead(int device, int first, std::size_t length, uint8_t* data)
{
    if (device != kDeviceFpga || length == 0 || length % 2 != 0)
        return false;
    const std::size_t count = length / 2;
    if (static_cast<std::size_t>(first) + count > registers_.size())
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const uint16_t v = registers_[static_cast<std::size_t>(first) + i];
        data[2 * i] = static_cast<uint8_t>(v >> 8);
        data[2 * i + 1] = static_cast<uint8_t>(v & 0xFF);
    }
    return true;
}

bool CameraModel::registerWrite(int device, int first, std::size_t length, const uint8_t* data)
{
    if (device != kDeviceFpga || length == 0 || length % 2 != 0)
        return false;
    const std::size_t count = length / 2;
    if (static_cast<std::size_t>(first) + count > registers_.size())
        return false;
    for (std::size_t i = 0; i < count; ++i) {
        const auto address = static_cast<std::size_t>(first) + i;
        // The sensor-head presence and the FPGA version are read-only.
        if (address == reg::kCisConnected || address == reg::kFpgaVersion)
            continue;
        const auto value = static_cast<uint16_t>((data[2 * i] << 8) | data[2 * i + 1]);
        registers_[address] = value;
        if (address == reg::kOnePushAwb && value == 1 && !whiteBalanceBusy_) {
            whiteBalanceBusy_ = true;
            whiteBalanceDone_ = SimClock::now() + kWhiteBalanceTime;
        }
    }
    return true;
}

}  // namespace qdx::sim
