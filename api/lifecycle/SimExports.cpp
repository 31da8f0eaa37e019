// The exported QDXSim_* interface over the simulated bus.
#include "QDX_SIM.h"

#include <chrono>
#include <algorithm>
#include <climits>

#include "SimBus.h"
#include "protocol/Guarded.h"

using qdx::sim::CameraModel;
using qdx::sim::SimBus;

namespace {

qdx::sim::SimCamera& firstCamera()
{
    return SimBus::instance().camera(0);
}

bool validMemory(int memoryType, unsigned int address, int length, const void* buffer)
{
    if (memoryType != qdx::kMemoryFx2 && memoryType != qdx::kMemoryCis)
        return false;
    if (length < 0 || (length > 0 && !buffer))
        return false;
    const std::size_t size = memoryType == qdx::kMemoryCis ? qdx::sim::kCisEepromSize : qdx::sim::kFx2EepromSize;
    return address <= size && static_cast<std::size_t>(length) <= size - address;
}

// The 8 bytes of a setup packet on the wire.
void putSetup(const qdx::SetupPacket& setup, unsigned char* packet)
{
    packet[0] = setup.bmRequestType;
    packet[1] = setup.bRequest;
    packet[2] = static_cast<unsigned char>(setup.wValue & 0xFF);
    packet[3] = static_cast<unsigned char>(setup.wValue >> 8);
    packet[4] = static_cast<unsigned char>(setup.wIndex & 0xFF);
    packet[5] = static_cast<unsigned char>(setup.wIndex >> 8);
    packet[6] = static_cast<unsigned char>(setup.wLength & 0xFF);
    packet[7] = static_cast<unsigned char>(setup.wLength >> 8);
}

}  // namespace

extern "C" {

QDX_EXPORT int QDXSim_Reset(void)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        SimBus::instance().reset();
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_SetPlugged(int camera, int plugged)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (camera < 0 || camera >= qdx::sim::kSimCameraCount)
            return QDX_ERR_ARGUMENT;
        SimBus::instance().camera(camera).setPlugged(plugged != 0);
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_SetAccess(int camera, int access)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (camera < 0 || camera >= qdx::sim::kSimCameraCount || access < 0 || access > 2)
            return QDX_ERR_ARGUMENT;
        SimBus::instance().camera(camera).setAccess(static_cast<qdx::sim::Access>(access));
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_SetFrameInterval(unsigned int microseconds)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        auto& bus = SimBus::instance();
        for (int i = 0; i < qdx::sim::kSimCameraCount; ++i)
            bus.camera(i).setFrameInterval(std::chrono::microseconds(microseconds));
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_SetStalled(int stalled)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        firstCamera().setStalled(stalled != 0);
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_InjectFrames(int kind, int count)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if ((kind != 1 && kind != 2) || count < 0)
            return QDX_ERR_ARGUMENT;
        firstCamera().injectFrames(static_cast<qdx::sim::FrameFault>(kind), count);
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_FailRequests(int bRequest, int count)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (bRequest < -1 || bRequest > 255 || count < 0)
            return QDX_ERR_ARGUMENT;
        firstCamera().failRequests(bRequest, count);
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_FailRequestsAfter(int bRequest, int skip, int count)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (bRequest < -1 || bRequest > 255 || count < 0 || skip < 0)
            return QDX_ERR_ARGUMENT;
        firstCamera().failRequests(bRequest, count, skip);
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_SetMemoryState(int memoryType, int state, int statusReads)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if ((memoryType != qdx::kMemoryFx2 && memoryType != qdx::kMemoryCis) || state < 0 || state > 3 ||
            statusReads < -1)
            return QDX_ERR_ARGUMENT;
        firstCamera().withModel([&](CameraModel& model) { model.overrideMemoryState(memoryType, state, statusReads); });
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_SetEepromWriteTime(unsigned int microseconds)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        firstCamera().withModel(
            [&](CameraModel& model) { model.setEepromWriteCycle(std::chrono::microseconds(microseconds)); });
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_ReadMemory(int memoryType, unsigned int address, int length, unsigned char* out)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!validMemory(memoryType, address, length, out))
            return QDX_ERR_ARGUMENT;
        firstCamera().withModel([&](CameraModel& model) {
            model.memory(memoryType).read(address, static_cast<std::size_t>(length), out);
        });
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_WriteMemory(int memoryType, unsigned int address, int length, const unsigned char* in)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!validMemory(memoryType, address, length, in))
            return QDX_ERR_ARGUMENT;
        firstCamera().withModel([&](CameraModel& model) {
            model.memory(memoryType).write(address, static_cast<std::size_t>(length), in);
        });
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_GetRegister(int reg, int* value)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!value || reg < 0 || reg >= qdx::sim::kRegisterCount)
            return QDX_ERR_ARGUMENT;
        *value = firstCamera().withModel([&](CameraModel& model) { return static_cast<int>(model.reg(reg)); });
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_SetRegister(int reg, int value, int reportChange)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (reg < 0 || reg >= qdx::sim::kRegisterCount || value < 0 || value > 0xFFFF)
            return QDX_ERR_ARGUMENT;
        firstCamera().withModel([&](CameraModel& model) {
            model.setRegister(reg, static_cast<uint16_t>(value), reportChange != 0);
        });
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_GetRequestCount(int bRequest)
{
    return qdx::guarded(-1, [&]() -> int {
        if (bRequest < -1 || bRequest > 255)
            return QDX_ERR_ARGUMENT;
        const uint64_t count = SimBus::instance().requestCount(bRequest);
        return count > INT_MAX ? INT_MAX : static_cast<int>(count);
    });
}

QDX_EXPORT int QDXSim_GetLastSetup(unsigned char packet[8])
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (!packet)
            return QDX_ERR_ARGUMENT;
        putSetup(firstCamera().lastSetup(), packet);
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_GetRequestLog(int maxPackets, unsigned char* packets)
{
    return qdx::guarded(-1, [&]() -> int {
        if (maxPackets < 0 || (maxPackets > 0 && !packets))
            return QDX_ERR_ARGUMENT;
        const auto log = firstCamera().requestLog();
        const std::size_t count = std::min(log.size(), static_cast<std::size_t>(maxPackets));
        for (std::size_t i = 0; i < count; ++i)
            putSetup(log[i], packets + 8 * i);
        return static_cast<int>(count);
    });
}

QDX_EXPORT int QDXSim_SetCisPresent(int present)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        firstCamera().withModel([&](CameraModel& model) { model.setCisPresent(present != 0); });
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_SetScene(int scene)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        if (scene < 0 || scene > 3)
            return QDX_ERR_ARGUMENT;
        firstCamera().withModel([&](CameraModel& model) { model.setScene(static_cast<qdx::sim::SceneKind>(scene)); });
        return QDX_OK;
    });
}

QDX_EXPORT int QDXSim_GetBulkStats(unsigned long long* delivered, unsigned long long* dropped,
                                   unsigned long long* abandoned)
{
    return qdx::guarded(QDX_ERR_TRANSFER, [&]() -> int {
        const auto stats = firstCamera().bulkStats();
        if (delivered)
            *delivered = stats.delivered;
        if (dropped)
            *dropped = stats.dropped;
        if (abandoned)
            *abandoned = stats.abandoned;
        return QDX_OK;
    });
}

}  // extern "C"
