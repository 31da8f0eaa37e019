// Microsoft OS descriptors, 1.0 and 2.0: how a WinUSB device names its
// device-interface GUID, and so how the camera is told apart from other
// vendor-specific devices when its VID:PID is not configured.
//
// Pure functions over bytes that came from a device: every length inside them
// is checked against the bytes actually received, and a malformed descriptor
// yields "nothing found", never a read outside the span. Thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace qdx::msos {

// The camera's device-interface GUID, without braces.
inline constexpr std::string_view kCameraInterfaceGuid = "1EE90284-4BA8-4DD9-A275-4A746DDF9076";

// MS OS 1.0: the string descriptor at index 0xEE carries the vendor code; a
// vendor request with that code and wIndex 5 returns the extended properties.
inline constexpr uint8_t kOsStringIndex = 0xEE;
inline constexpr uint16_t kOsStringLength = 18;
inline constexpr uint16_t kExtendedPropertiesIndex = 5;
inline constexpr uint16_t kExtendedPropertiesHeaderLength = 10;

// MS OS 2.0: the BOS descriptor's platform capability carries the vendor code
// and length of the descriptor set, which a vendor request with wIndex 7 returns.
inline constexpr uint16_t kBosHeaderLength = 5;
inline constexpr uint16_t kDescriptorSetIndex = 7;

// The layouts' codes and fixed lengths, shared by the parsers and the builder
// of MsOsDescriptorBuilder.h.
inline constexpr uint8_t kStringDescriptorType = 0x03;
inline constexpr uint8_t kBosDescriptorType = 0x0F;
inline constexpr uint8_t kDeviceCapabilityType = 0x10;
inline constexpr uint8_t kPlatformCapability = 0x05;
// Platform capability: bLength, bDescriptorType, bDevCapabilityType, bReserved,
// UUID (16), then one entry per descriptor set.
inline constexpr std::size_t kPlatformHeaderLength = 20;
inline constexpr std::size_t kSetInfoLength = 8;
// {D8DD60DF-4589-4CC7-9CD2-659D9E648A9F} in the byte order of the descriptor.
inline constexpr std::array<uint8_t, 16> kMsOs20PlatformUuid = {0xDF, 0x60, 0xDD, 0xD8, 0x89, 0x45, 0xC7, 0x4C,
                                                                0x9C, 0xD2, 0x65, 0x9D, 0x9E, 0x64, 0x8A, 0x9F};

// Descriptor types inside an MS OS 2.0 descriptor set.
inline constexpr uint16_t kSetHeader = 0x00;
inline constexpr uint16_t kConfigurationSubset = 0x01;
inline constexpr uint16_t kFunctionSubset = 0x02;
inline constexpr uint16_t kCompatibleId = 0x03;
inline constexpr uint16_t kRegistryProperty = 0x04;
inline constexpr std::size_t kSetHeaderLength = 10;
inline constexpr std::size_t kSubsetHeaderLength = 8;
inline constexpr std::size_t kCompatibleIdLength = 20;
// wLength, wDescriptorType, wPropertyDataType, wPropertyNameLength, ..., wPropertyDataLength.
inline constexpr std::size_t kRegistryPropertyFixedLength = 10;

// MS OS 1.0 extended-properties section: dwSize, dwPropertyDataType,
// wPropertyNameLength, ..., dwPropertyDataLength.
inline constexpr std::size_t kExtendedPropertyFixedLength = 14;

// Registry value types.
inline constexpr uint32_t kRegSz = 1;
inline constexpr uint32_t kRegDword = 4;
inline constexpr uint32_t kRegMultiSz = 7;

// True when text is the camera's GUID, in any letter case, with or without braces.
bool isCameraInterfaceGuid(std::string_view text);

// The vendor code of an MS OS 1.0 string descriptor ("MSFT100"), or nothing.
std::optional<uint8_t> osStringVendorCode(std::span<const uint8_t> bytes);

// dwLength of an extended-properties descriptor from its 10-byte header, or
// nothing when the header is not one.
std::optional<uint32_t> extendedPropertiesLength(std::span<const uint8_t> header);

// True when an extended-properties descriptor sets DeviceInterfaceGUID or
// DeviceInterfaceGUIDs (REG_SZ or REG_MULTI_SZ) to the camera's GUID.
bool extendedPropertiesNameCamera(std::span<const uint8_t> bytes);

// wTotalLength of a BOS descriptor from its 5-byte header, or nothing.
std::optional<uint16_t> bosTotalLength(std::span<const uint8_t> header);

// One descriptor-set information entry of the MS OS 2.0 platform capability.
struct DescriptorSetInfo {
    uint32_t windowsVersion = 0;
    uint16_t totalLength = 0;
    uint8_t vendorCode = 0;
    uint8_t altEnumCode = 0;

    bool operator==(const DescriptorSetInfo&) const = default;
};

// The descriptor sets announced by a whole BOS descriptor, in order. Entries
// too short to hold a descriptor-set header are left out.
std::vector<DescriptorSetInfo> msOs20DescriptorSets(std::span<const uint8_t> bos);

// True when an MS OS 2.0 descriptor set gives interface 0 (or the whole
// device) the registry property DeviceInterfaceGUID or DeviceInterfaceGUIDs
// naming the camera's GUID. A property inside the function subset of another
// interface does not count: that interface is not the one the link claims.
bool descriptorSetNamesCamera(std::span<const uint8_t> bytes);

}  // namespace qdx::msos
