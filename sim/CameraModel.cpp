#include "CameraModel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "protocol/RegisterEncoding.h"

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
    registers_[QDX_REG_CIS_CONNECT] = cisPresent_ ? 1 : 0;
    registers_[QDX_REG_FPGA_VER] = kFpgaVersion;
    // The camera starts at 28.8 ms and unity gain, with the display gamma
    // curve (Curve2); white balance is left to the operator.
    registers_[QDX_REG_GAMMA] = 2;
    registers_[QDX_REG_EXPOSURE_TIME] = 400;
    registers_[QDX_REG_RAW_GAIN] = 16;
    registers_[QDX_REG_CONTROL_TARGET] = 1600;
    registers_[QDX_REG_CIS_CLOCK_PHASE] = kBestClockPhase;
    for (int r : {QDX_REG_COLOR_MATRIX_RR, QDX_REG_COLOR_MATRIX_GG, QDX_REG_COLOR_MATRIX_BB})
        registers_[static_cast<std::size_t>(r)] = 128;
    loadPowerOnTables();
    exposureActive_ = false;
    levelActive_ = false;
    whiteBalanceFrames_ = 0;
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
    registers_[QDX_REG_CIS_CONNECT] = present ? 1 : 0;
}

void CameraModel::setEepromWriteCycle(std::chrono::microseconds cycle)
{
    fx2_->setWriteCycle(cycle);
    cis_->setWriteCycle(cycle);
}

FrameSettings CameraModel::frameSettings() const
{
    FrameSettings settings;
    takeFrameSettings(settings);
    return settings;
}

void CameraModel::takeFrameSettings(FrameSettings& out) const
{
    out.dataFormat = dataFormat_;
    out.scene = scene_;
    std::copy_n(registers_.begin(), out.registers.size(), out.registers.begin());
    const auto at = [&](int r) { return registers_.begin() + r; };
    out.dpTables.assign(at(reg::kDpTable0), at(reg::kDpTable0 + 2 * reg::kDpTableRegisters));
    if (registers_[QDX_REG_FPN_CORR] != 0)
        out.fpnTable.assign(at(reg::kFpnTable), at(reg::kFpnTable + reg::kFpnTableRegisters));
    else
        out.fpnTable.clear();
    const int gamma = registers_[QDX_REG_GAMMA];
    if (gamma >= 1 && gamma <= 3) {
        const int base = gamma == 1 ? reg::kGammaTable0 : gamma == 2 ? reg::kGammaTable1 : reg::kGammaTable2;
        out.gammaTable.assign(at(base), at(base + reg::kGammaTableRegisters));
    } else {
        out.gammaTable.clear();
    }
}

namespace {

int fromSm8(uint16_t word)
{
    return decodeRegister(Encoding::SM8, word);
}

// The camera's own gains stay within what the register can hold.
uint16_t toSm8(int v)
{
    return encodeRegister(Encoding::SM8, std::clamp(v, -255, 255));
}

constexpr int kMaxExposure = 438;  // 31.5 ms, the frame time
constexpr int kMinGain = 16;
constexpr int kMaxGain = 255;

}  // namespace

void CameraModel::applyStatistics(const FrameStatistics& stats)
{
    if (!stats.valid)
        return;
    runExposureControl(stats);
    runLevelControl(stats);
    runWhiteBalance(stats);
}

// Automatic exposure (mode 1) and exposure with gain (mode 3): move toward the
// target by a share of the error each frame (the speed), starting once the
// error leaves the outer band (A2) and resting once it is inside the inner
// band (A1). Gain comes in only when the exposure is at its limit, and goes
// out first when the picture is too bright.
void CameraModel::runExposureControl(const FrameStatistics& stats)
{
    const int mode = registers_[QDX_REG_CONTROL_MODE];
    if (mode != 1 && mode != 3) {
        exposureActive_ = false;
        return;
    }
    const double target = registers_[QDX_REG_CONTROL_TARGET];
    const double error = target - stats.meteredLuma;
    const double rest = std::max<double>(registers_[QDX_REG_HYSTERESIS_A1], 8);
    const double start = std::max<double>(registers_[QDX_REG_HYSTERESIS_A2], rest);
    if (std::abs(error) > start)
        exposureActive_ = true;
    else if (std::abs(error) <= rest)
        exposureActive_ = false;
    if (!exposureActive_)
        return;

    const double share = (registers_[QDX_REG_CONTROL_SPEED] % 8 + 1) / 8.0;
    const double ratio = std::clamp(target / std::max(stats.meteredLuma, 1.0), 0.05, 20.0);
    const double wanted = 1.0 + share * (ratio - 1.0);  // overall change this frame

    const int exposure = registers_[QDX_REG_EXPOSURE_TIME];
    const int gain = registers_[QDX_REG_RAW_GAIN];
    if (mode == 3 && wanted < 1.0 && gain > kMinGain) {
        const int newGain = std::clamp(static_cast<int>(std::lround(gain * wanted)), kMinGain, gain - 1);
        setRegister(QDX_REG_RAW_GAIN, static_cast<uint16_t>(newGain), true);
        return;
    }
    const int newExposure = std::clamp(static_cast<int>(std::lround(std::max(exposure, 1) * wanted)), 1, kMaxExposure);
    if (newExposure != exposure)
        setRegister(QDX_REG_EXPOSURE_TIME, static_cast<uint16_t>(newExposure), true);
    if (mode == 3 && wanted > 1.0 && newExposure == kMaxExposure && exposure == kMaxExposure) {
        const int newGain = std::clamp(static_cast<int>(std::lround(gain * wanted)), gain + 1, kMaxGain);
        if (newGain != gain)
            setRegister(QDX_REG_RAW_GAIN, static_cast<uint16_t>(newGain), true);
    }
}

// Automatic level control: the digital Y gain brings the output level to the
// target, with the B bands as hysteresis.
void CameraModel::runLevelControl(const FrameStatistics& stats)
{
    if (registers_[QDX_REG_ALC] != 1) {
        levelActive_ = false;
        return;
    }
    const int yGain = fromSm8(registers_[QDX_REG_Y_GAIN]);
    const double level = stats.meteredLuma * std::pow(10.0, yGain * kGainDbPerStep / 20.0);
    const double target = registers_[QDX_REG_CONTROL_TARGET];
    const double error = target - level;
    const double rest = std::max<double>(registers_[QDX_REG_HYSTERESIS_B1], 8);
    const double start = std::max<double>(registers_[QDX_REG_HYSTERESIS_B2], rest);
    if (std::abs(error) > start)
        levelActive_ = true;
    else if (std::abs(error) <= rest)
        levelActive_ = false;
    if (!levelActive_ || level <= 0)
        return;
    const double share = (registers_[QDX_REG_CONTROL_SPEED] % 8 + 1) / 8.0;
    const double db = share * 20.0 * std::log10(std::max(target, 1.0) / level);
    const int newGain = std::clamp(yGain + static_cast<int>(std::lround(db / kGainDbPerStep)), -255, 255);
    if (newGain != yGain)
        setRegister(QDX_REG_Y_GAIN, toSm8(newGain), true);
}

// One-push white balance: over a few frames, find the parts of the picture
// that are grey under the current light and set the red and blue gains that
// make them neutral.
void CameraModel::runWhiteBalance(const FrameStatistics& stats)
{
    if (registers_[QDX_REG_AWB] != 1)
        return;
    if (whiteBalanceFrames_ == 0)
        whiteBalanceSums_ = {};

    // Start from the average of everything, then keep only what is near
    // grey under that estimate, twice.
    double redGain = 1, blueGain = 1;
    for (int pass = 0; pass < 3; ++pass) {
        double r = 0, g = 0, b = 0;
        for (const auto& s : stats.samples) {
            if (s[1] < 100 || s[1] > 3800)
                continue;
            if (pass > 0) {
                const double rr = s[0] * redGain / s[1], bb = s[2] * blueGain / s[1];
                if (std::abs(rr - 1) > 0.15 || std::abs(bb - 1) > 0.15)
                    continue;
            }
            r += s[0];
            g += s[1];
            b += s[2];
        }
        if (r <= 0 || b <= 0 || g <= 0)
            break;
        redGain = g / r;
        blueGain = g / b;
    }
    whiteBalanceSums_[0] += redGain;
    whiteBalanceSums_[2] += blueGain;
    if (++whiteBalanceFrames_ < kWhiteBalanceFrames)
        return;

    const auto steps = [](double ratio) {
        return static_cast<int>(std::lround(20.0 * std::log10(ratio) / kGainDbPerStep));
    };
    setRegister(QDX_REG_RED_GAIN, toSm8(steps(whiteBalanceSums_[0] / kWhiteBalanceFrames)), true);
    setRegister(QDX_REG_BLUE_GAIN, toSm8(steps(whiteBalanceSums_[2] / kWhiteBalanceFrames)), true);
    setRegister(QDX_REG_AWB, 0, true);
    whiteBalanceFrames_ = 0;
}

bool CameraModel::handleControl(const SetupPacket& setup, uint8_t* data, SimClock::time_point now)
{
    const bool in = setup.isDeviceToHost();
    const std::size_t length = setup.wLength;
    // The FX2 answers vendor requests to the device only, in the direction
    // each request is defined for.
    if ((setup.bmRequestType & 0x7F) != 0x40)
        return false;

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

// The FPGA answers whole registers inside its address space only.
bool CameraModel::validRegisterRange(int device, int first, std::size_t length) const
{
    return device == kDeviceFpga && length > 0 && length % 2 == 0 &&
           static_cast<std::size_t>(first) + length / 2 <= registers_.size();
}

bool CameraModel::registerRead(int device, int first, std::size_t length, uint8_t* data)
{
    if (!validRegisterRange(device, first, length))
        return false;
    const std::size_t count = length / 2;
    for (std::size_t i = 0; i < count; ++i) {
        const auto bytes = toWire(registers_[static_cast<std::size_t>(first) + i]);
        std::copy(bytes.begin(), bytes.end(), data + 2 * i);
    }
    return true;
}

bool CameraModel::registerWrite(int device, int first, std::size_t length, const uint8_t* data)
{
    if (!validRegisterRange(device, first, length))
        return false;
    const std::size_t count = length / 2;
    for (std::size_t i = 0; i < count; ++i) {
        const auto address = static_cast<std::size_t>(first) + i;
        // The sensor-head presence and the FPGA version are read-only.
        if (address == QDX_REG_CIS_CONNECT || address == QDX_REG_FPGA_VER)
            continue;
        const uint16_t value = fromWire(data + 2 * i);
        // A white balance already running keeps its measurements.
        if (address == QDX_REG_AWB && value == 1 && registers_[address] != 1)
            whiteBalanceFrames_ = 0;
        registers_[address] = value;
    }
    return true;
}

}  // namespace qdx::sim
