// The parameter store in the camera's two EEPROMs: parameter blocks and gamma
// tables in the FX2 EEPROM, the sensor head's identity and calibration in the
// CIS EEPROM. Writes go in 64-byte pages, each after the memory reports ready.
//
// A parameter block and the CIS EEPROM are valid only with their header, so
// a save first writes the header invalid and writes the real one last: a
// save cut short at any page (a failed transfer, a power cut, a killed host)
// leaves a block that loads as not found, never half a block taken as good.
// Gamma, defect-pixel and FPN tables carry no header; their loads cannot tell.
#include "QDX_API.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "lifecycle/Library.h"
#include "lifecycle/RegisterShadow.h"
#include "protocol/Guarded.h"
#include "protocol/RegisterEncoding.h"
#include "protocol/Registers.h"

namespace qdx {
namespace {

constexpr std::size_t kPageSize = 64;
// A memory that stays busy this long is broken, not busy.
constexpr std::chrono::seconds kReadyLimit{1};
// A page write is often done by the first polls, so those go at once; after
// them each poll waits twice as long as the last, up to kPollPauseMax, so that
// a write cycle of milliseconds costs a dozen status reads, not thousands
// (over USB each is a control transfer), and finishes at most a pause late.
constexpr int kImmediatePolls = 3;
constexpr std::chrono::microseconds kFirstPollPause{100};
constexpr std::chrono::microseconds kPollPauseMax{1000};

// FX2 EEPROM.
constexpr uint32_t kSavedParameters = 0x4000;
constexpr uint32_t kDefaultParameters = 0x6000;
constexpr uint32_t kGammaStore[3] = {0x8000, 0xA000, 0xC000};
constexpr std::size_t kGammaTableBytes = 2 * reg::kGammaTableRegisters;

// CIS EEPROM.
constexpr uint32_t kCisHeader = 0x0000;
constexpr uint32_t kCisSerialNumber = 0x0010;
constexpr std::size_t kSerialNumberBytes = 14;
constexpr uint32_t kCisFpnGain = 0x0028;
constexpr uint32_t kCisDpTable[2] = {0x0200, 0x0300};
constexpr std::size_t kDpTableBytes = 2 * reg::kDpTableRegisters;
constexpr uint32_t kCisFpnTable = 0x2000;
constexpr std::size_t kFpnTableBytes = 2 * reg::kFpnTableRegisters;

constexpr std::size_t kHeaderBytes = 6;  // magic, version, state byte
using Header = std::array<uint8_t, kHeaderBytes>;
constexpr Header kValidHeader = {kBlockMagic[0], kBlockMagic[1], kBlockMagic[2], kBlockMagic[3], kBlockFormatVersion,
                                 0x00};
// No magic: what QDX_Clear_Default_Param leaves, and a save until its end.
constexpr Header kNoHeader = {};

// The registers a loaded parameter block restores, in the order the camera
// expects them (hysteresis from B2 down, so that A1 lands last, and the
// target after it).
constexpr int kRestoreOrder[] = {
    QDX_REG_CONTROL_MODE,    QDX_REG_ALC,             QDX_REG_BLACK_LEVEL,     QDX_REG_EXPOSURE_TIME,
    QDX_REG_RAW_GAIN,        QDX_REG_HYSTERESIS_B2,   QDX_REG_HYSTERESIS_B1,   QDX_REG_HYSTERESIS_A2,
    QDX_REG_HYSTERESIS_A1,   QDX_REG_CONTROL_TARGET,  QDX_REG_CONTROL_SPEED,   QDX_REG_CONTROL_AREA1,
    QDX_REG_CONTROL_AREA2,   QDX_REG_RED_GAIN,        QDX_REG_BLUE_GAIN,       QDX_REG_COLOR_MATRIX_RR,
    QDX_REG_COLOR_MATRIX_RG, QDX_REG_COLOR_MATRIX_RB, QDX_REG_COLOR_MATRIX_GR, QDX_REG_COLOR_MATRIX_GG,
    QDX_REG_COLOR_MATRIX_GB, QDX_REG_COLOR_MATRIX_BR, QDX_REG_COLOR_MATRIX_BG, QDX_REG_COLOR_MATRIX_BB,
    QDX_REG_Y_GAIN,          QDX_REG_CB_GAIN,         QDX_REG_CR_GAIN,         QDX_REG_GAMMA,
    QDX_REG_IMAGE_FLIP,      QDX_REG_IMAGE_ROTATION,  QDX_REG_DVI_IMAGE_SIZE,  QDX_REG_NOISE_REDUCTION,
    QDX_REG_EDGE_ENHANCEMENT, QDX_REG_VFPN_CORR,      QDX_REG_CIS_CLOCK_PHASE,
};

Library& lib()
{
    return Library::instance();
}

bool memoryRead(int type, uint32_t address, std::size_t length, uint8_t* out)
{
    std::array<uint8_t, kPageSize> chunk{};
    if (!lib().request(memoryRequest(true, type, address, static_cast<uint16_t>(length)), chunk.data()))
        return false;
    std::copy_n(chunk.begin(), length, out);
    return true;
}

bool memoryWrite(int type, uint32_t address, std::size_t length, const uint8_t* in)
{
    std::array<uint8_t, kPageSize> chunk{};
    std::copy_n(in, length, chunk.begin());
    return lib().request(memoryRequest(false, type, address, static_cast<uint16_t>(length)), chunk.data());
}

// Polls the status record until the memory is ready. Fails when the status
// cannot be read, the memory reports an error or absence, or it stays busy
// for longer than a page write can take.
bool waitMemoryReady(int type)
{
    const auto deadline = std::chrono::steady_clock::now() + kReadyLimit;
    std::array<uint8_t, kDeviceStatusSize> status{};
    auto pause = kFirstPollPause;
    for (int poll = 1;; ++poll) {
        if (!lib().readStatus(status.data()))
            return false;
        const uint8_t state = status[type == kMemoryCis ? status::kCisMemoryState : status::kFx2MemoryState];
        if (state == kMemoryReady)
            return true;
        if (state != kMemoryBusy || std::chrono::steady_clock::now() > deadline)
            return false;
        if (poll >= kImmediatePolls) {
            std::this_thread::sleep_for(pause);
            pause = std::min(2 * pause, kPollPauseMax);
        }
    }
}

// One write of at most a page, once the memory is ready.
int writePage(int type, uint32_t address, std::size_t length, const uint8_t* data)
{
    if (!waitMemoryReady(type))
        return QDX_ERR_NOT_READY;
    return memoryWrite(type, address, length, data) ? QDX_OK : QDX_ERR_WRITE;
}

int chunkedSave(int type, uint32_t base, const uint8_t* data, std::size_t length)
{
    for (std::size_t offset = 0; offset < length; offset += kPageSize) {
        const std::size_t n = std::min(kPageSize, length - offset);
        if (const int result = writePage(type, base + static_cast<uint32_t>(offset), n, data + offset))
            return result;
    }
    return QDX_OK;
}

// The CIS header alone; QDX_ERR_TRANSFER when it could not be written.
int writeCisHeader(const Header& header)
{
    return writePage(kMemoryCis, kCisHeader, header.size(), header.data()) == QDX_OK ? QDX_OK : QDX_ERR_TRANSFER;
}

int chunkedLoad(int type, uint32_t base, uint8_t* data, std::size_t length)
{
    for (std::size_t offset = 0; offset < length; offset += kPageSize) {
        const std::size_t n = std::min(kPageSize, length - offset);
        if (!memoryRead(type, base + static_cast<uint32_t>(offset), n, data + offset))
            return QDX_ERR_READ;
    }
    return QDX_OK;
}

// QDX_OK for a valid header "QDX\0", version 1, state 0; else the code of the first wrong field.
int checkHeader(const uint8_t* header)
{
    if (std::memcmp(header, kBlockMagic, sizeof kBlockMagic) != 0)
        return QDX_ERR_BAD_MAGIC;
    if (header[4] != kBlockFormatVersion)
        return QDX_ERR_BAD_VERSION;
    if (header[5] != 0)
        return QDX_ERR_BAD_STATE;
    return QDX_OK;
}

// The block's first page goes out without its header, which follows alone
// once every page is written. The stored bytes end up as the block is.
int saveParameters(uint32_t base)
{
    ParameterBlock block = lib().shadow().parameterBlock();
    Header header{};
    std::copy_n(block.begin(), header.size(), header.begin());
    std::copy(kNoHeader.begin(), kNoHeader.end(), block.begin());
    if (const int result = chunkedSave(kMemoryFx2, base, block.data(), block.size()))
        return result;
    return writePage(kMemoryFx2, base, header.size(), header.data());
}

// What a load would make of the stored block's header: QDX_OK or the code of
// its first wrong field in *state; QDX_ERR_TRANSFER when it cannot be read.
int storedBlockState(uint32_t base, int* state)
{
    std::array<uint8_t, 16> header{};
    if (!memoryRead(kMemoryFx2, base, header.size(), header.data()))
        return QDX_ERR_TRANSFER;
    *state = checkHeader(header.data());
    return QDX_OK;
}

int loadParameters(uint32_t base)
{
    int state = QDX_OK;
    if (const int result = storedBlockState(base, &state))
        return result;
    if (state != QDX_OK)
        return state;
    ParameterBlock block{};
    if (chunkedLoad(kMemoryFx2, base, block.data(), block.size()) != QDX_OK)
        return QDX_ERR_READ;

    auto& shadow = lib().shadow();
    shadow.loadParameterBlock(block);
    int failed = 0;
    for (int r : kRestoreOrder) {
        auto bytes = shadow.registerBytes(r);
        if (!lib().request(registerRequest(false, kDeviceFpga, r, 2), bytes.data()))
            ++failed;
    }
    return failed;
}

uint32_t gammaStore(int index)
{
    return index == 1 ? kGammaStore[1] : index == 2 ? kGammaStore[2] : kGammaStore[0];
}

uint32_t dpStore(int index)
{
    return index == 1 ? kCisDpTable[1] : kCisDpTable[0];
}

}  // namespace
}  // namespace qdx

using namespace qdx;

extern "C" {

QDX_EXPORT int QDX_Save_Param(int)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] { return saveParameters(kSavedParameters); });
}

QDX_EXPORT int QDX_Save_Default_Param(int)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] { return saveParameters(kDefaultParameters); });
}

QDX_EXPORT int QDX_Clear_Default_Param(int)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] {
        return writePage(kMemoryFx2, kDefaultParameters, kNoHeader.size(), kNoHeader.data());
    });
}

QDX_EXPORT int QDX_Load_Param(int)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] { return loadParameters(kSavedParameters); });
}

QDX_EXPORT int QDX_Load_Default_Param(int)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] { return loadParameters(kDefaultParameters); });
}

QDX_EXPORT int QDX_Check_Param(int block, int* state)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!state || (block != QDX_PARAM_SAVED && block != QDX_PARAM_DEFAULT))
            return QDX_ERR_ARGUMENT;
        return storedBlockState(block == QDX_PARAM_DEFAULT ? kDefaultParameters : kSavedParameters, state);
    });
}

QDX_EXPORT int QDX_Save_Gamma_Table(int index, const unsigned char* data)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!data)
            return QDX_ERR_ARGUMENT;
        return chunkedSave(kMemoryFx2, gammaStore(index), data, kGammaTableBytes);
    });
}

QDX_EXPORT int QDX_Load_Gamma_Table(int index, unsigned char* data)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!data)
            return QDX_ERR_ARGUMENT;
        return chunkedLoad(kMemoryFx2, gammaStore(index), data, kGammaTableBytes);
    });
}

QDX_EXPORT int QDX_Save_CIS_DP_Table(int index, const unsigned char* data)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!data)
            return QDX_ERR_ARGUMENT;
        return chunkedSave(kMemoryCis, dpStore(index), data, kDpTableBytes);
    });
}

QDX_EXPORT int QDX_Load_CIS_DP_Table(int index, unsigned char* data)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!data)
            return QDX_ERR_ARGUMENT;
        return chunkedLoad(kMemoryCis, dpStore(index), data, kDpTableBytes);
    });
}

QDX_EXPORT int QDX_Save_CIS_FPN_Table(const unsigned char* data, int gain)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!data)
            return QDX_ERR_ARGUMENT;
        if (const int result = chunkedSave(kMemoryCis, kCisFpnTable, data, kFpnTableBytes))
            return result;
        if (!waitMemoryReady(kMemoryCis))
            return QDX_ERR_TRANSFER;
        const auto bytes = toWire(encodeRegister(Encoding::U16, gain));
        return memoryWrite(kMemoryCis, kCisFpnGain, bytes.size(), bytes.data()) ? QDX_OK : QDX_ERR_TRANSFER;
    });
}

QDX_EXPORT int QDX_Load_CIS_FPN_Table(unsigned char* data, int* gain)
{
    return qdx::guarded(QDX_ERR_READ, [&]() -> int {
        if (!data)
            return QDX_ERR_ARGUMENT;
        if (chunkedLoad(kMemoryCis, kCisFpnTable, data, kFpnTableBytes) != QDX_OK)
            return QDX_ERR_READ;
        if (!gain)
            return QDX_ERR_ARGUMENT;
        *gain = 0;
        uint8_t bytes[2] = {};
        if (!memoryRead(kMemoryCis, kCisFpnGain, 2, bytes))
            return QDX_ERR_TRANSFER;
        *gain = fromWire(bytes);
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_Save_CIS_SerialNo(const unsigned char* serialNumber)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!serialNumber)
            return QDX_ERR_ARGUMENT;
        if (!waitMemoryReady(kMemoryCis))
            return QDX_ERR_TRANSFER;
        return memoryWrite(kMemoryCis, kCisSerialNumber, kSerialNumberBytes, serialNumber) ? QDX_OK : QDX_ERR_TRANSFER;
    });
}

QDX_EXPORT int QDX_Load_CIS_SerialNo(unsigned char* serialNumber)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!serialNumber)
            return QDX_ERR_ARGUMENT;
        return memoryRead(kMemoryCis, kCisSerialNumber, kSerialNumberBytes, serialNumber) ? QDX_OK : QDX_ERR_TRANSFER;
    });
}

QDX_EXPORT int QDX_Check_CISFlash(int* state)
{
    return qdx::guarded(QDX_ERR_CIS_CHECK, [&]() -> int {
        if (!state)
            return QDX_ERR_ARGUMENT;
        *state = QDX_CIS_FLASH_ABSENT;
        std::array<uint8_t, kDeviceStatusSize> status{};
        if (!lib().readStatus(status.data()))
            return QDX_ERR_CIS_CHECK;
        if (status[status::kCisMemoryState] == kMemoryAbsent)
            return QDX_OK;
        *state = QDX_CIS_FLASH_INVALID;
        std::array<uint8_t, 16> header{};
        if (!memoryRead(kMemoryCis, kCisHeader, header.size(), header.data()))
            return QDX_ERR_CIS_CHECK;
        if (checkHeader(header.data()) == QDX_OK)
            *state = QDX_CIS_FLASH_VALID;
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_Init_CISFlash(int mode)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (mode != 0)
            return writeCisHeader(kValidHeader);

        // Half-cleared calibration under a valid header would pass the check.
        if (const int result = writeCisHeader(kNoHeader))
            return result;
        const std::array<uint8_t, kSerialNumberBytes> noSerial{};
        if (const int result = QDX_Save_CIS_SerialNo(noSerial.data()))
            return result;

        std::vector<uint8_t> table(kFpnTableBytes, 0);
        for (std::size_t i = 0; i < kDpTableBytes; i += 2) {
            table[i] = reg::kDpEmpty >> 8;
            table[i + 1] = reg::kDpEmpty & 0xFF;
        }
        for (int index : {0, 1}) {
            if (const int result = QDX_Save_CIS_DP_Table(index, table.data()))
                return result;
        }

        std::fill(table.begin(), table.end(), uint8_t{0});
        int gain = 0;
        QDX_Get_RawGain(&gain);  // a silent camera leaves the gain at 0
        if (const int result = QDX_Save_CIS_FPN_Table(table.data(), gain))
            return result;
        return writeCisHeader(kValidHeader);
    });
}

}  // extern "C"
