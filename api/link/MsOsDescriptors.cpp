#include "link/MsOsDescriptors.h"

#include <algorithm>
#include <string>

namespace qdx::msos {

namespace {

// Callers check that [at, at + 2) or [at, at + 4) lies inside bytes.
uint16_t le16(std::span<const uint8_t> bytes, std::size_t at)
{
    return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

uint32_t le32(std::span<const uint8_t> bytes, std::size_t at)
{
    return static_cast<uint32_t>(le16(bytes, at)) | (static_cast<uint32_t>(le16(bytes, at + 2)) << 16);
}

// UTF-16LE to ASCII. Anything else becomes '?', which neither a GUID nor a
// property name contains; NULs are kept so that REG_MULTI_SZ can be split.
// An odd trailing byte is dropped.
std::string asciiFromUtf16le(std::span<const uint8_t> bytes)
{
    std::string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        const uint16_t unit = le16(bytes, at);
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return text;
}

char upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return upper(x) == upper(y); });
}

bool isInterfaceGuidPropertyName(std::span<const uint8_t> utf16Name)
{
    const std::string decoded = asciiFromUtf16le(utf16Name);
    const std::string_view name(decoded.data(), std::min(decoded.size(), decoded.find('\0')));
    return equalsIgnoringCase(name, "DeviceInterfaceGUID") || equalsIgnoringCase(name, "DeviceInterfaceGUIDs");
}

// A REG_SZ value is its first string; a REG_MULTI_SZ value ends at its first
// empty string, as the registry reads it.
bool valueNamesCamera(uint32_t type, std::span<const uint8_t> utf16Value)
{
    if (type != kRegSz && type != kRegMultiSz)
        return false;
    const std::string decoded = asciiFromUtf16le(utf16Value);
    std::string_view rest(decoded);
    while (!rest.empty()) {
        const auto nul = rest.find('\0');
        const auto item = rest.substr(0, nul);
        if (item.empty())
            break;
        if (isCameraInterfaceGuid(item))
            return true;
        if (type == kRegSz || nul == std::string_view::npos)
            break;
        rest.remove_prefix(nul + 1);
    }
    return false;
}

bool registryPropertyNamesCamera(std::span<const uint8_t> descriptor)
{
    if (descriptor.size() < kRegistryPropertyFixedLength)
        return false;
    const uint16_t type = le16(descriptor, 4);
    const std::size_t nameLength = le16(descriptor, 6);
    if (nameLength > descriptor.size() - kRegistryPropertyFixedLength)
        return false;
    const std::size_t dataLength = le16(descriptor, 8 + nameLength);
    if (dataLength > descriptor.size() - kRegistryPropertyFixedLength - nameLength)
        return false;
    return isInterfaceGuidPropertyName(descriptor.subspan(8, nameLength)) &&
           valueNamesCamera(type, descriptor.subspan(kRegistryPropertyFixedLength + nameLength, dataLength));
}

}  // namespace

bool isCameraInterfaceGuid(std::string_view text)
{
    if (text.size() == kCameraInterfaceGuid.size() + 2 && text.front() == '{' && text.back() == '}')
        text = text.substr(1, text.size() - 2);
    return equalsIgnoringCase(text, kCameraInterfaceGuid);
}

std::optional<uint8_t> osStringVendorCode(std::span<const uint8_t> bytes)
{
    static constexpr std::string_view kSignature = "MSFT100";
    if (bytes.size() < kOsStringLength || bytes[0] < kOsStringLength || bytes[1] != kStringDescriptorType)
        return std::nullopt;
    if (asciiFromUtf16le(bytes.subspan(2, 2 * kSignature.size())) != kSignature)
        return std::nullopt;
    return bytes[16];
}

std::optional<uint32_t> extendedPropertiesLength(std::span<const uint8_t> header)
{
    if (header.size() < kExtendedPropertiesHeaderLength)
        return std::nullopt;
    const uint32_t length = le32(header, 0);
    if (le16(header, 6) != kExtendedPropertiesIndex || length < kExtendedPropertiesHeaderLength)
        return std::nullopt;
    return length;
}

bool extendedPropertiesNameCamera(std::span<const uint8_t> bytes)
{
    const auto declared = extendedPropertiesLength(bytes);
    if (!declared)
        return false;
    const std::size_t end = std::min<std::size_t>(*declared, bytes.size());
    const uint16_t count = le16(bytes, 8);
    std::size_t at = kExtendedPropertiesHeaderLength;
    for (uint16_t i = 0; i < count && end - at >= kExtendedPropertyFixedLength; ++i) {
        const std::size_t size = le32(bytes, at);
        // A section that does not fit leaves nothing trustworthy after it.
        if (size < kExtendedPropertyFixedLength || size > end - at)
            return false;
        const auto section = bytes.subspan(at, size);
        const uint32_t type = le32(section, 4);
        const std::size_t nameLength = le16(section, 8);
        if (nameLength > size - kExtendedPropertyFixedLength)
            return false;
        const std::size_t dataLength = le32(section, 10 + nameLength);
        if (dataLength > size - kExtendedPropertyFixedLength - nameLength)
            return false;
        if (isInterfaceGuidPropertyName(section.subspan(10, nameLength)) &&
            valueNamesCamera(type, section.subspan(kExtendedPropertyFixedLength + nameLength, dataLength)))
            return true;
        at += size;
    }
    return false;
}

std::optional<uint16_t> bosTotalLength(std::span<const uint8_t> header)
{
    if (header.size() < kBosHeaderLength || header[0] < kBosHeaderLength || header[1] != kBosDescriptorType)
        return std::nullopt;
    const uint16_t total = le16(header, 2);
    if (total < header[0])
        return std::nullopt;
    return total;
}

std::vector<DescriptorSetInfo> msOs20DescriptorSets(std::span<const uint8_t> bos)
{
    std::vector<DescriptorSetInfo> sets;
    const auto total = bosTotalLength(bos);
    if (!total)
        return sets;
    const std::size_t end = std::min<std::size_t>(*total, bos.size());
    std::size_t at = bos[0];
    while (at < end && end - at >= 3) {
        const std::size_t length = bos[at];
        if (length < 3 || length > end - at)
            break;
        const auto capability = bos.subspan(at, length);
        if (capability[1] == kDeviceCapabilityType && capability[2] == kPlatformCapability &&
            length >= kPlatformHeaderLength &&
            std::equal(kMsOs20PlatformUuid.begin(), kMsOs20PlatformUuid.end(), capability.begin() + 4)) {
            for (std::size_t entry = kPlatformHeaderLength; length - entry >= kSetInfoLength; entry += kSetInfoLength) {
                const DescriptorSetInfo info{le32(capability, entry), le16(capability, entry + 4),
                                             capability[entry + 6], capability[entry + 7]};
                if (info.totalLength >= kSetHeaderLength)
                    sets.push_back(info);
            }
        }
        at += length;
    }
    return sets;
}

bool descriptorSetNamesCamera(std::span<const uint8_t> bytes)
{
    if (bytes.size() < kSetHeaderLength || le16(bytes, 0) != kSetHeaderLength || le16(bytes, 2) != kSetHeader)
        return false;
    const std::size_t end = std::min<std::size_t>(le16(bytes, 8), bytes.size());
    if (end < kSetHeaderLength)
        return false;

    // The function subset being walked covers [.., functionEnd) and belongs to functionInterface.
    std::size_t functionEnd = 0;
    uint8_t functionInterface = 0;
    std::size_t at = kSetHeaderLength;
    while (end - at >= 4) {
        const std::size_t length = le16(bytes, at);
        if (length < 4 || length > end - at)
            return false;
        const auto descriptor = bytes.subspan(at, length);
        const uint16_t type = le16(descriptor, 2);
        if (type == kConfigurationSubset) {
            functionEnd = 0;
        } else if (type == kFunctionSubset && length >= kSubsetHeaderLength) {
            functionInterface = descriptor[4];
            functionEnd = at + le16(descriptor, 6);
        } else if (type == kRegistryProperty) {
            const bool forInterface0 = at >= functionEnd || functionInterface == 0;
            if (forInterface0 && registryPropertyNamesCamera(descriptor))
                return true;
        }
        at += length;
    }
    return false;
}

}  // namespace qdx::msos
