// Microsoft OS descriptors as a device sends them, built from the published
// layouts: the counterpart of the parsers in MsOsDescriptors.h, for the
// emulated USB devices and the parsers' tests. Nothing is checked, so a
// caller can build a malformed descriptor on purpose. Thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

#include "link/MsOsDescriptors.h"

namespace qdx::msos {

using Bytes = std::vector<uint8_t>;

// The Windows version a descriptor set is for: 8.1, the first with MS OS 2.0.
inline constexpr uint32_t kWindows81 = 0x06030000;

// Little-endian fields, appended to out.
void put16(Bytes& out, std::size_t value);
void put32(Bytes& out, std::size_t value);
void append(Bytes& out, std::span<const uint8_t> more);

// ASCII text as UTF-16LE with its terminating NUL, and a REG_MULTI_SZ value
// (the strings, then an empty one).
Bytes utf16z(std::string_view text);
Bytes multiSz(std::initializer_list<std::string_view> items);

// MS OS 1.0: the string descriptor at index 0xEE ("MSFT100" and the vendor
// code), one custom property section, and the extended-properties descriptor
// holding the sections.
Bytes osStringDescriptor(uint8_t vendorCode);
Bytes propertySection(uint32_t type, std::string_view name, std::span<const uint8_t> value);
Bytes extendedProperties(std::initializer_list<Bytes> sections);

// MS OS 2.0: a BOS descriptor around device capabilities, the platform
// capability announcing descriptor sets, and a descriptor set's parts.
Bytes bos(std::initializer_list<Bytes> capabilities);
Bytes msOs20Capability(std::initializer_list<DescriptorSetInfo> sets);
Bytes descriptorSet(std::span<const uint8_t> content);
Bytes configurationSubset(std::span<const uint8_t> content);
Bytes functionSubset(uint8_t firstInterface, std::span<const uint8_t> content);
Bytes compatibleId(std::string_view id = "WINUSB");
Bytes registryProperty(uint16_t type, std::string_view name, std::span<const uint8_t> value);

// The property a WinUSB device names its interface GUIDs with, in either version.
Bytes msOs10GuidSection(std::string_view guid);
Bytes msOs20GuidProperty(std::string_view guid);

}  // namespace qdx::msos
