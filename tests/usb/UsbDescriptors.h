// The descriptors a device shows on the emulated bus, built from the USB 2.0
// and Microsoft OS descriptor layouts: the standard device and configuration
// descriptors that the kernel exposes in sysfs, and the BOS, OS string and
// OS feature descriptors that a WinUSB device answers on its control pipe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qdx::test::usb {

using Bytes = std::vector<uint8_t>;

inline constexpr std::string_view kCameraGuid = "{1EE90284-4BA8-4DD9-A275-4A746DDF9076}";
inline constexpr std::string_view kOtherGuid = "{5C2F6A3E-0B1D-4E7A-9F21-8D04C3B6E915}";

inline constexpr uint8_t kBulkInEndpoint = 0x81;
inline constexpr uint8_t kBulkOutEndpoint = 0x02;
inline constexpr uint8_t kInterruptEndpoint = 0x83;
inline constexpr uint8_t kIsochronousEndpoint = 0x84;

// Vendor request codes under which the device returns its MS OS descriptors;
// any value outside the camera's own 0x10..0x19 will do.
inline constexpr uint8_t kMsOs20VendorCode = 0x5A;
inline constexpr uint8_t kMsOs10VendorCode = 0x5B;

struct DeviceShape {
    uint16_t vendor = 0;
    uint16_t product = 0;
    uint16_t bcdUsb = 0x0200;
    uint8_t interfaceClass = 0xFF;
    bool isochronousEndpoint = false;  // besides bulk IN, bulk OUT and interrupt IN
};

// Device descriptor followed by the one configuration, as in sysfs "descriptors".
Bytes deviceDescriptors(const DeviceShape& shape);

// The descriptors of a USB 2.0 root hub.
Bytes rootHubDescriptors();

// BOS with one MS OS 2.0 platform capability announcing a descriptor set of
// setLength bytes under kMsOs20VendorCode.
Bytes msOs20Bos(uint16_t setLength);

// MS OS 2.0 descriptor set: WINUSB compatible ID and DeviceInterfaceGUIDs = guid.
Bytes msOs20DescriptorSet(std::string_view guid);

// MS OS 1.0 string descriptor (index 0xEE) carrying kMsOs10VendorCode.
Bytes msOs10String();

// MS OS 1.0 extended properties with DeviceInterfaceGUID = guid (REG_SZ).
Bytes msOs10ExtendedProperties(std::string_view guid);

}  // namespace qdx::test::usb
