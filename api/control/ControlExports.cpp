// The camera control exports: one setter and one getter per setting of the
// register map, the data format, and the correction-table transfers.
#include "QDX_API.h"

#include <algorithm>
#include <array>

#include "control/RegisterMap.h"
#include "lifecycle/Library.h"
#include "protocol/Guarded.h"
#include "protocol/Registers.h"

namespace qdx {

int setSetting(const Setting& s, int index, int value)
{
    const int r = s.registerOf(index);
    if (r < 0)
        return QDX_ERR_ARGUMENT;
    auto bytes = toWire(encodeRegister(s.encoding, value));
    auto& library = Library::instance();
    if (!library.request(registerRequest(false, kDeviceFpga, r, 2), bytes.data()))
        return QDX_ERR_TRANSFER;
    if (s.shadowed)
        library.shadow().store(r, bytes.data());
    return QDX_OK;
}

int getSetting(const Setting& s, int index, int* value)
{
    if (!value)
        return QDX_ERR_ARGUMENT;
    const int r = s.registerOf(index);
    if (r < 0)
        return QDX_ERR_ARGUMENT;
    std::array<uint8_t, 2> bytes{};
    auto& library = Library::instance();
    if (!library.request(registerRequest(true, kDeviceFpga, r, 2), bytes.data()))
        return QDX_ERR_TRANSFER;
    if (s.shadowed)
        library.shadow().store(r, bytes.data());
    *value = decodeRegister(s.encoding, fromWire(bytes.data()));
    return QDX_OK;
}

namespace {

constexpr int kTableChunkRegisters = 32;

// Moves a table in requests of 32 registers; stops at the first failure,
// leaving the chunks before it done. Exactly one of in and out is set.
int transferTable(int firstRegister, int registers, const uint8_t* in, uint8_t* out)
{
    if (!in && !out)
        return QDX_ERR_ARGUMENT;
    auto& library = Library::instance();
    std::array<uint8_t, 2 * kTableChunkRegisters> chunk{};
    for (int done = 0; done < registers; done += kTableChunkRegisters) {
        const int count = std::min(kTableChunkRegisters, registers - done);
        const auto bytes = static_cast<std::size_t>(2 * count);
        const auto setup = registerRequest(out != nullptr, kDeviceFpga, firstRegister + done,
                                           static_cast<uint16_t>(bytes));
        if (in)
            std::copy_n(in + 2 * done, bytes, chunk.begin());
        if (!library.request(setup, chunk.data()))
            return QDX_ERR_TRANSFER;
        if (out)
            std::copy_n(chunk.begin(), bytes, out + 2 * done);
    }
    return QDX_OK;
}

int dpTableBase(int index)
{
    return index == 1 ? reg::kDpTable1 : reg::kDpTable0;
}

int gammaTableBase(int index)
{
    return index == 1 ? reg::kGammaTable1 : index == 2 ? reg::kGammaTable2 : reg::kGammaTable0;
}

}  // namespace

}  // namespace qdx

#define QDX_SCALAR_PAIR(Name, S)                                                                            \
    QDX_EXPORT int QDX_Set_##Name(int value)                                                                 \
    {                                                                                                        \
        return qdx::guarded(QDX_ERR_TRANSFER, [&] { return qdx::setSetting(S, 0, value); });                 \
    }                                                                                                        \
    QDX_EXPORT int QDX_Get_##Name(int* value)                                                                \
    {                                                                                                        \
        return qdx::guarded(QDX_ERR_TRANSFER, [&] { return qdx::getSetting(S, 0, value); });                 \
    }

#define QDX_INDEXED_PAIR(Name, S)                                                                           \
    QDX_EXPORT int QDX_Set_##Name(int index, int value)                                                      \
    {                                                                                                        \
        return qdx::guarded(QDX_ERR_TRANSFER, [&] { return qdx::setSetting(S, index, value); });             \
    }                                                                                                        \
    QDX_EXPORT int QDX_Get_##Name(int index, int* value)                                                     \
    {                                                                                                        \
        return qdx::guarded(QDX_ERR_TRANSFER, [&] { return qdx::getSetting(S, index, value); });             \
    }

extern "C" {

using namespace qdx::setting;

QDX_INDEXED_PAIR(ControlMode, kControlMode)
QDX_SCALAR_PAIR(BlackLevel, kBlackLevel)
QDX_SCALAR_PAIR(ExposureTime, kExposureTime)
QDX_SCALAR_PAIR(RawGain, kRawGain)
QDX_SCALAR_PAIR(ControlTarget, kControlTarget)
QDX_INDEXED_PAIR(Hysteresis, kHysteresis)
QDX_SCALAR_PAIR(ControlSpeed, kControlSpeed)
QDX_INDEXED_PAIR(ControlMonitor, kControlMonitor)
QDX_SCALAR_PAIR(AWB, kAwb)
QDX_INDEXED_PAIR(GainRB, kGainRB)
QDX_INDEXED_PAIR(ColorMatrix, kColorMatrix)
QDX_INDEXED_PAIR(GainYC, kGainYC)
QDX_SCALAR_PAIR(Gamma, kGamma)
QDX_SCALAR_PAIR(ImageFlip, kImageFlip)
QDX_SCALAR_PAIR(ImageRotation, kImageRotation)
QDX_SCALAR_PAIR(DVIImageSize, kDviImageSize)
QDX_SCALAR_PAIR(DP_Corr, kDpCorr)
QDX_SCALAR_PAIR(FPN_Corr, kFpnCorr)
QDX_SCALAR_PAIR(NoiseReduction, kNoiseReduction)
QDX_SCALAR_PAIR(EdgeEnhancement, kEdgeEnhancement)
QDX_SCALAR_PAIR(VFPN_Corr, kVfpnCorr)
QDX_SCALAR_PAIR(CIS_ClockPhase, kCisClockPhase)

QDX_EXPORT int QDX_Get_CIS_Connect(int* value)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] { return qdx::getSetting(kCisConnect, 0, value); });
}

QDX_EXPORT int QDX_Get_FPGA_Ver(int* value)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] { return qdx::getSetting(kFpgaVersion, 0, value); });
}

QDX_EXPORT int QDX_Set_DataFormat(int format)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        std::array<uint8_t, qdx::kDeviceControlSize> record{0x00, static_cast<uint8_t>(format & 0xFF), 0x00};
        const bool sent =
            qdx::Library::instance().request(qdx::deviceControlRequest(qdx::kDataFormatRecord), record.data());
        return sent ? QDX_OK : QDX_ERR_TRANSFER;
    });
}

QDX_EXPORT int QDX_Get_DataFormat(int* format)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!format)
            return QDX_ERR_ARGUMENT;
        std::array<uint8_t, qdx::kDeviceStatusSize> status{};
        if (!qdx::Library::instance().readStatus(status.data()))
            return QDX_ERR_TRANSFER;
        *format = status[qdx::status::kDataFormat];
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_Set_DP_Table(int index, const unsigned char* data)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] {
        return qdx::transferTable(qdx::dpTableBase(index), qdx::reg::kDpTableRegisters, data, nullptr);
    });
}

QDX_EXPORT int QDX_Get_DP_Table(int index, unsigned char* data)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] {
        return qdx::transferTable(qdx::dpTableBase(index), qdx::reg::kDpTableRegisters, nullptr, data);
    });
}

QDX_EXPORT int QDX_Set_FPN_Table(const unsigned char* data)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] {
        return qdx::transferTable(qdx::reg::kFpnTable, qdx::reg::kFpnTableRegisters, data, nullptr);
    });
}

QDX_EXPORT int QDX_Get_FPN_Table(unsigned char* data)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] {
        return qdx::transferTable(qdx::reg::kFpnTable, qdx::reg::kFpnTableRegisters, nullptr, data);
    });
}

QDX_EXPORT int QDX_Set_Gamma_Table(int index, const unsigned char* data)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] {
        return qdx::transferTable(qdx::gammaTableBase(index), qdx::reg::kGammaTableRegisters, data, nullptr);
    });
}

QDX_EXPORT int QDX_Get_Gamma_Table(int index, unsigned char* data)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&] {
        return qdx::transferTable(qdx::gammaTableBase(index), qdx::reg::kGammaTableRegisters, nullptr, data);
    });
}

}  // extern "C"
