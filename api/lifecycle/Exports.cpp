// The exported C functions of lifecycle, status, streaming and raw access.
#include "QDX_API.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "lifecycle/Library.h"
#include "protocol/Guarded.h"

using qdx::Library;

namespace {

Library& lib()
{
    return Library::instance();
}

// Reads a fixed-size record and hands out its first `length` bytes; the
// caller's buffer stays untouched when the transfer fails.
template <std::size_t N>
int readRecord(const qdx::SetupPacket& setup, unsigned int length, unsigned char* buffer)
{
    if (!buffer && length > 0)
        return QDX_ERR_ARGUMENT;
    std::array<uint8_t, N> record{};
    if (!lib().request(setup, record.data()))
        return QDX_ERR_TRANSFER;
    std::copy_n(record.data(), std::min<std::size_t>(length, N), buffer);
    return QDX_OK;
}

bool validLength(int length, const void* buffer)
{
    return length >= 0 && length <= 0xFFFF && (buffer || length == 0);
}

// A raw read goes through a buffer of ours so that the caller's stays
// unchanged when the transfer fails.
int rawRead(const qdx::SetupPacket& setup, unsigned char* buffer)
{
    std::vector<uint8_t> data(setup.wLength);
    if (!lib().request(setup, data.data()))
        return QDX_ERR_TRANSFER;
    std::copy(data.begin(), data.end(), buffer);
    return QDX_OK;
}

int rawWrite(const qdx::SetupPacket& setup, const unsigned char* buffer)
{
    std::vector<uint8_t> data(buffer, buffer + setup.wLength);
    return lib().request(setup, data.data()) ? QDX_OK : QDX_ERR_TRANSFER;
}

static_assert(static_cast<int>(qdx::AccessProblem::None) == QDX_DEVICE_PROBLEM_NONE &&
              static_cast<int>(qdx::AccessProblem::PermissionDenied) == QDX_DEVICE_PROBLEM_PERMISSION &&
              static_cast<int>(qdx::AccessProblem::Busy) == QDX_DEVICE_PROBLEM_BUSY &&
              static_cast<int>(qdx::AccessProblem::Other) == QDX_DEVICE_PROBLEM_OTHER);

}  // namespace

extern "C" {

QDX_EXPORT int QDX_Init(void)
{
    return qdx::guarded(QDX_ERR_RESOURCES, [&]() -> int {
        lib().init();
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_Term(void)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        lib().term();
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_SetRequestObserver(QDX_REQUEST_OBSERVER observer, void* context)
{
    return qdx::guarded(QDX_ERR_ARGUMENT, [&]() -> int {
        return lib().requestObserver().set(observer, context) ? QDX_OK : QDX_ERR_ARGUMENT;
    });
}

QDX_EXPORT int QDX_SetStatusObserver(QDX_STATUS_OBSERVER observer, void* context)
{
    return qdx::guarded(QDX_ERR_ARGUMENT, [&]() -> int {
        return lib().statusObserver().set(observer, context) ? QDX_OK : QDX_ERR_ARGUMENT;
    });
}

QDX_EXPORT int QDX_GetVersion(unsigned int* version)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!version)
            return QDX_ERR_ARGUMENT;
        *version = lib().version();
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_GetDevInfo(unsigned int length, unsigned char* buffer)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        return readRecord<qdx::kDeviceInfoSize>(qdx::deviceInfoRequest(), length, buffer);
    });
}

QDX_EXPORT int QDX_GetDevFormatInfo(int formatIndex, unsigned int length, unsigned char* buffer)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        return readRecord<qdx::kFormatInfoSize>(qdx::formatInfoRequest(formatIndex), length, buffer);
    });
}

QDX_EXPORT int QDX_GetDevStatus(unsigned int length, unsigned char* buffer)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!buffer && length > 0)
            return QDX_ERR_ARGUMENT;
        std::array<uint8_t, qdx::kDeviceStatusSize> record{};
        if (!lib().readStatus(record.data()))
            return QDX_ERR_TRANSFER;
        std::copy_n(record.data(), std::min<std::size_t>(length, record.size()), buffer);
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_SetDevStatus(int recordIndex, const unsigned char* record)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!record)
            return QDX_ERR_ARGUMENT;
        std::array<uint8_t, qdx::kDeviceControlSize> data{};
        std::copy_n(record, data.size(), data.data());
        return lib().request(qdx::deviceControlRequest(recordIndex), data.data()) ? QDX_OK : QDX_ERR_TRANSFER;
    });
}

QDX_EXPORT int QDX_GetFpgaStatus(unsigned int length, unsigned char* mask)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!mask)
            return QDX_ERR_ARGUMENT;
        std::array<uint8_t, qdx::kDeviceStatusSize> record{};
        if (!lib().readStatus(record.data()))
            return QDX_ERR_TRANSFER;
        lib().changeMask().take(mask, length);
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_GetDeviceProblem(struct QDX_DEVICE_PROBLEM* problem)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!problem)
            return QDX_ERR_ARGUMENT;
        const qdx::DeviceProblem found = lib().deviceProblem();
        QDX_DEVICE_PROBLEM out{};
        out.reason = static_cast<int>(found.reason);
        if (found.reason != qdx::AccessProblem::None) {
            out.busNumber = found.bus;
            out.deviceAddress = found.address;
            out.vendorId = found.vendor;
            out.productId = found.product;
            found.node.copy(out.devicePath, sizeof out.devicePath - 1);
        }
        *problem = out;
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_GetFrame(unsigned char* buffer, unsigned int bufferLength, unsigned int* frameLength)
{
    return qdx::guarded(QDX_ERR_NO_FRAME, [&]() -> int {
        if (!buffer)
            return QDX_ERR_ARGUMENT;
        return lib().withStream(
            [&](qdx::FrameStream& stream) { return stream.copyNewestFrame(buffer, bufferLength, frameLength); },
            int{QDX_ERR_NO_FRAME});
    });
}

// The first layout of QDX_FRAME_INFO: later ones only add fields after it.
static_assert(sizeof(QDX_FRAME_INFO) == 48);
inline constexpr uint32_t kFrameInfoMinSize = 48;

QDX_EXPORT int QDX_GetFrameEx(unsigned char* buffer, unsigned int bufferLength, QDX_FRAME_INFO* info)
{
    return qdx::guarded(QDX_ERR_NO_FRAME, [&]() -> int {
        if (!buffer || !info || info->size < kFrameInfoMinSize)
            return QDX_ERR_ARGUMENT;
        return lib().withStream(
            [&](qdx::FrameStream& stream) { return stream.copyNewestFrame(buffer, bufferLength, *info); },
            int{QDX_ERR_NO_FRAME});
    });
}

QDX_EXPORT int QDX_GetIndex(int* counter)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!counter)
            return QDX_ERR_ARGUMENT;
        *counter = lib().withStream(
            [](qdx::FrameStream& stream) { return static_cast<int>(stream.frameCounter()); }, 0);
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_GetDataSemaphoHandle(QDX_HANDLE* handle)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!handle)
            return QDX_ERR_ARGUMENT;
        *handle = lib().withStream(
            [](qdx::FrameStream& stream) { return static_cast<QDX_HANDLE>(stream.semaphore()); },
            static_cast<QDX_HANDLE>(nullptr));
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_GetStatus(int* status)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!status)
            return QDX_ERR_ARGUMENT;
        *status = lib().withStream(
            [](qdx::FrameStream& stream) { return stream.connected() ? QDX_STATUS_CONNECTED : 0; }, 0);
        return QDX_OK;
    });
}

QDX_EXPORT int QDX_I2CRead(int slaveAddress, int length, unsigned char* buffer)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!validLength(length, buffer))
            return QDX_ERR_ARGUMENT;
        return rawRead(qdx::i2cRequest(true, slaveAddress, static_cast<uint16_t>(length)), buffer);
    });
}

QDX_EXPORT int QDX_I2CWrite(int slaveAddress, int length, const unsigned char* buffer)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!validLength(length, buffer))
            return QDX_ERR_ARGUMENT;
        return rawWrite(qdx::i2cRequest(false, slaveAddress, static_cast<uint16_t>(length)), buffer);
    });
}

QDX_EXPORT int QDX_FlashRead(int memoryType, unsigned int address, int length, unsigned char* buffer)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!validLength(length, buffer))
            return QDX_ERR_ARGUMENT;
        return rawRead(qdx::memoryRequest(true, memoryType, address, static_cast<uint16_t>(length)), buffer);
    });
}

QDX_EXPORT int QDX_FlashWrite(int memoryType, unsigned int address, int length, const unsigned char* buffer)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!validLength(length, buffer))
            return QDX_ERR_ARGUMENT;
        return rawWrite(qdx::memoryRequest(false, memoryType, address, static_cast<uint16_t>(length)), buffer);
    });
}

QDX_EXPORT int QDX_DeviceRead(int device, int firstRegister, int length, unsigned char* buffer)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!validLength(length, buffer))
            return QDX_ERR_ARGUMENT;
        return rawRead(qdx::registerRequest(true, device, firstRegister, static_cast<uint16_t>(length)), buffer);
    });
}

QDX_EXPORT int QDX_DeviceWrite(int device, int firstRegister, int length, const unsigned char* buffer)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!validLength(length, buffer))
            return QDX_ERR_ARGUMENT;
        return rawWrite(qdx::registerRequest(false, device, firstRegister, static_cast<uint16_t>(length)), buffer);
    });
}

}  // extern "C"
