#include "link/MsOsDescriptorBuilder.h"

#include <algorithm>

namespace qdx::msos {

namespace {

constexpr uint16_t kExtendedPropertiesVersion = 0x0100;

// An MS OS 2.0 subset: its 8-byte header (wLength, wDescriptorType, one byte
// of its own, a reserved byte, wSubsetLength), then its content.
Bytes subset(uint16_t type, uint8_t first, std::span<const uint8_t> content)
{
    Bytes out;
    put16(out, kSubsetHeaderLength);
    put16(out, type);
    out.push_back(first);
    out.push_back(0);
    put16(out, kSubsetHeaderLength + content.size());
    append(out, content);
    return out;
}

}  // namespace

void put16(Bytes& out, std::size_t value)
{
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

void put32(Bytes& out, std::size_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, (value >> 16) & 0xFFFF);
}

void append(Bytes& out, std::span<const uint8_t> more)
{
    out.insert(out.end(), more.begin(), more.end());
}

Bytes utf16z(std::string_view text)
{
    Bytes out;
    for (const char c : text)
        put16(out, static_cast<uint8_t>(c));
    put16(out, 0);
    return out;
}

Bytes multiSz(std::initializer_list<std::string_view> items)
{
    Bytes out;
    for (const auto item : items)
        append(out, utf16z(item));
    put16(out, 0);
    return out;
}

Bytes osStringDescriptor(uint8_t vendorCode)
{
    Bytes out{static_cast<uint8_t>(kOsStringLength), kStringDescriptorType};
    for (const char c : std::string_view("MSFT100"))
        put16(out, static_cast<uint8_t>(c));
    out.push_back(vendorCode);
    out.push_back(0);  // pad
    return out;
}

Bytes propertySection(uint32_t type, std::string_view name, std::span<const uint8_t> value)
{
    const Bytes utf16Name = utf16z(name);
    Bytes out;
    put32(out, kExtendedPropertyFixedLength + utf16Name.size() + value.size());
    put32(out, type);
    put16(out, utf16Name.size());
    append(out, utf16Name);
    put32(out, value.size());
    append(out, value);
    return out;
}

Bytes extendedProperties(std::initializer_list<Bytes> sections)
{
    Bytes body;
    for (const auto& section : sections)
        append(body, section);
    Bytes out;
    put32(out, kExtendedPropertiesHeaderLength + body.size());
    put16(out, kExtendedPropertiesVersion);
    put16(out, kExtendedPropertiesIndex);
    put16(out, sections.size());
    append(out, body);
    return out;
}

Bytes bos(std::initializer_list<Bytes> capabilities)
{
    Bytes out{static_cast<uint8_t>(kBosHeaderLength), kBosDescriptorType};
    std::size_t total = kBosHeaderLength;
    for (const auto& capability : capabilities)
        total += capability.size();
    put16(out, total);
    out.push_back(static_cast<uint8_t>(capabilities.size()));
    for (const auto& capability : capabilities)
        append(out, capability);
    return out;
}

Bytes msOs20Capability(std::initializer_list<DescriptorSetInfo> sets)
{
    Bytes out{static_cast<uint8_t>(kPlatformHeaderLength + kSetInfoLength * sets.size()), kDeviceCapabilityType,
              kPlatformCapability, 0};
    append(out, kMsOs20PlatformUuid);
    for (const auto& set : sets) {
        put32(out, set.windowsVersion);
        put16(out, set.totalLength);
        out.push_back(set.vendorCode);
        out.push_back(set.altEnumCode);
    }
    return out;
}

Bytes descriptorSet(std::span<const uint8_t> content)
{
    Bytes out;
    put16(out, kSetHeaderLength);
    put16(out, kSetHeader);
    put32(out, kWindows81);
    put16(out, kSetHeaderLength + content.size());
    append(out, content);
    return out;
}

Bytes configurationSubset(std::span<const uint8_t> content)
{
    return subset(kConfigurationSubset, 0, content);
}

Bytes functionSubset(uint8_t firstInterface, std::span<const uint8_t> content)
{
    return subset(kFunctionSubset, firstInterface, content);
}

Bytes compatibleId(std::string_view id)
{
    Bytes out;
    put16(out, kCompatibleIdLength);
    put16(out, kCompatibleId);
    // CompatibleID and SubCompatibleID, 8 bytes each, NUL-padded.
    for (std::size_t i = 0; i < 16; ++i)
        out.push_back(i < std::min<std::size_t>(id.size(), 8) ? static_cast<uint8_t>(id[i]) : 0);
    return out;
}

Bytes registryProperty(uint16_t type, std::string_view name, std::span<const uint8_t> value)
{
    const Bytes utf16Name = utf16z(name);
    Bytes out;
    put16(out, kRegistryPropertyFixedLength + utf16Name.size() + value.size());
    put16(out, kRegistryProperty);
    put16(out, type);
    put16(out, utf16Name.size());
    append(out, utf16Name);
    put16(out, value.size());
    append(out, value);
    return out;
}

Bytes msOs10GuidSection(std::string_view guid)
{
    return propertySection(kRegSz, "DeviceInterfaceGUID", utf16z(guid));
}

Bytes msOs20GuidProperty(std::string_view guid)
{
    return registryProperty(kRegMultiSz, "DeviceInterfaceGUIDs", multiSz({guid}));
}

}  // namespace qdx::msos
