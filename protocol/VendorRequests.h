// The camera's vendor protocol on the default control pipe: setup packets for
// every request the library issues, and the record sizes the camera answers with.
#pragma once

#include <cstddef>
#include <cstdint>

#include "QDX_API.h"

namespace qdx {

struct SetupPacket {
    uint8_t bmRequestType = 0;
    uint8_t bRequest = 0;
    uint16_t wValue = 0;
    uint16_t wIndex = 0;
    uint16_t wLength = 0;

    bool isDeviceToHost() const { return (bmRequestType & 0x80) != 0; }
    bool operator==(const SetupPacket&) const = default;
};

inline constexpr uint8_t kVendorIn = 0xC0;   // device-to-host, vendor, device
inline constexpr uint8_t kVendorOut = 0x40;  // host-to-device, vendor, device

namespace request {
inline constexpr uint8_t kDeviceInfo = 0x10;
inline constexpr uint8_t kFormatInfo = 0x11;
inline constexpr uint8_t kDeviceStatus = 0x12;
inline constexpr uint8_t kDeviceControl = 0x13;
inline constexpr uint8_t kI2CRead = 0x14;
inline constexpr uint8_t kI2CWrite = 0x15;
inline constexpr uint8_t kMemoryRead = 0x16;
inline constexpr uint8_t kMemoryWrite = 0x17;
inline constexpr uint8_t kRegisterRead = 0x18;
inline constexpr uint8_t kRegisterWrite = 0x19;
}  // namespace request

inline constexpr std::size_t kDeviceInfoSize = 48;
inline constexpr std::size_t kFormatInfoSize = 8;
inline constexpr std::size_t kDeviceStatusSize = 16;
inline constexpr std::size_t kDeviceControlSize = 3;
inline constexpr std::size_t kChangeMaskSize = 6;

// Bytes of the device status record.
namespace status {
inline constexpr std::size_t kDataFormat = 1;
inline constexpr std::size_t kFx2MemoryState = 3;
inline constexpr std::size_t kCisMemoryState = 4;
inline constexpr std::size_t kChangeMask = 10;  // six bytes, one bit per FPGA register 0..47
}  // namespace status

// Memory types of requests 0x16/0x17 and the memory states of the status record.
inline constexpr int kMemoryFx2 = QDX_MEMORY_FX2;
inline constexpr int kMemoryCis = QDX_MEMORY_CIS;
enum MemoryState : uint8_t { kMemoryReady = 0, kMemoryBusy = 1, kMemoryError = 2, kMemoryAbsent = 3 };

// Device control record 2 carries the data format.
inline constexpr int kDataFormatRecord = 2;

inline constexpr uint16_t kDeviceFpga = 0;

constexpr SetupPacket deviceInfoRequest()
{
    return {kVendorIn, request::kDeviceInfo, 0, 0, kDeviceInfoSize};
}

constexpr SetupPacket formatInfoRequest(int formatIndex)
{
    return {kVendorIn, request::kFormatInfo, 0, static_cast<uint16_t>(formatIndex & 1), kFormatInfoSize};
}

constexpr SetupPacket deviceStatusRequest()
{
    return {kVendorIn, request::kDeviceStatus, 0, 0, kDeviceStatusSize};
}

constexpr SetupPacket deviceControlRequest(int recordIndex)
{
    return {kVendorOut, request::kDeviceControl, 0, static_cast<uint16_t>(recordIndex & 7), kDeviceControlSize};
}

constexpr SetupPacket i2cRequest(bool read, int slaveAddress, uint16_t length)
{
    return {read ? kVendorIn : kVendorOut, read ? request::kI2CRead : request::kI2CWrite, 0,
            static_cast<uint16_t>(slaveAddress & 0x7F), length};
}

// A 20-bit memory address: bits 16..19 travel in the low nibble of wValue,
// the memory type in its high nibble, bits 0..15 in wIndex.
constexpr SetupPacket memoryRequest(bool read, int memoryType, uint32_t address, uint16_t length)
{
    const auto value = static_cast<uint16_t>(((memoryType & 0xF) << 12) | ((address >> 16) & 0xF));
    return {read ? kVendorIn : kVendorOut, read ? request::kMemoryRead : request::kMemoryWrite, value,
            static_cast<uint16_t>(address & 0xFFFF), length};
}

constexpr SetupPacket registerRequest(bool read, int device, int firstRegister, uint16_t length)
{
    return {read ? kVendorIn : kVendorOut, read ? request::kRegisterRead : request::kRegisterWrite,
            static_cast<uint16_t>(device & 0xFFFF), static_cast<uint16_t>(firstRegister & 0xFFFF), length};
}

// Decodes the memory type and address of a 0x16/0x17 request (the camera's side).
constexpr int memoryTypeOf(const SetupPacket& setup) { return setup.wValue >> 12; }
constexpr uint32_t memoryAddressOf(const SetupPacket& setup)
{
    return (static_cast<uint32_t>(setup.wValue & 0xF) << 16) | setup.wIndex;
}

}  // namespace qdx
