#include "usb/UsbDescriptors.h"

namespace qdx::test::usb {

namespace {

constexpr uint8_t kDeviceType = 0x01;
constexpr uint8_t kConfigurationType = 0x02;
constexpr uint8_t kStringType = 0x03;
constexpr uint8_t kInterfaceType = 0x04;
constexpr uint8_t kEndpointType = 0x05;
constexpr uint8_t kBosType = 0x0F;
constexpr uint8_t kDeviceCapabilityType = 0x10;
constexpr uint8_t kPlatformCapability = 0x05;

constexpr uint8_t kBulk = 0x02;
constexpr uint8_t kInterrupt = 0x03;
constexpr uint8_t kIsochronous = 0x01;

constexpr uint32_t kWindows81 = 0x06030000;
constexpr uint32_t kRegSz = 1;
constexpr uint16_t kRegMultiSz = 7;

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

void append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

// UTF-16LE of ASCII text, with a terminating NUL.
Bytes utf16z(std::string_view text)
{
    Bytes out;
    for (const char c : text)
        put16(out, static_cast<uint8_t>(c));
    put16(out, 0);
    return out;
}

Bytes endpoint(uint8_t address, uint8_t attributes, uint16_t maxPacket, uint8_t interval)
{
    Bytes out{7, kEndpointType, address, attributes};
    put16(out, maxPacket);
    out.push_back(interval);
    return out;
}

Bytes device(uint16_t bcdUsb, uint8_t deviceClass, uint16_t vendor, uint16_t product)
{
    Bytes out{18, kDeviceType};
    put16(out, bcdUsb);
    out.insert(out.end(), {deviceClass, 0, deviceClass == 0x09 ? uint8_t{1} : uint8_t{0}, 64});
    put16(out, vendor);
    put16(out, product);
    put16(out, 0x0100);               // bcdDevice
    out.insert(out.end(), {0, 0, 0, 1});  // no strings, one configuration
    return out;
}

Bytes configuration(uint8_t interfaceClass, const std::vector<Bytes>& endpoints)
{
    Bytes interface{9, kInterfaceType, 0, 0, static_cast<uint8_t>(endpoints.size()), interfaceClass, 0, 0, 0};
    for (const auto& e : endpoints)
        append(interface, e);
    Bytes out{9, kConfigurationType};
    put16(out, 9 + interface.size());
    out.insert(out.end(), {1, 1, 0, 0x80, 50});  // one interface, value 1, bus powered, 100 mA
    append(out, interface);
    return out;
}

}  // namespace

Bytes deviceDescriptors(const DeviceShape& shape)
{
    std::vector<Bytes> endpoints{endpoint(kBulkInEndpoint, kBulk, 512, 0), endpoint(kBulkOutEndpoint, kBulk, 512, 0),
                                 endpoint(kInterruptEndpoint, kInterrupt, 64, 4)};
    if (shape.isochronousEndpoint)
        endpoints.push_back(endpoint(kIsochronousEndpoint, kIsochronous, 1024, 1));
    Bytes out = device(shape.bcdUsb, 0, shape.vendor, shape.product);
    append(out, configuration(shape.interfaceClass, endpoints));
    return out;
}

Bytes rootHubDescriptors()
{
    Bytes out = device(0x0200, 0x09, 0x1D6B, 0x0002);
    append(out, configuration(0x09, {endpoint(0x81, kInterrupt, 4, 12)}));
    return out;
}

Bytes msOs20Bos(uint16_t setLength)
{
    // {D8DD60DF-4589-4CC7-9CD2-659D9E648A9F}, fields little-endian as on the wire.
    const Bytes platformUuid{0xDF, 0x60, 0xDD, 0xD8, 0x89, 0x45, 0xC7, 0x4C,
                             0x9C, 0xD2, 0x65, 0x9D, 0x9E, 0x64, 0x8A, 0x9F};
    Bytes capability{28, kDeviceCapabilityType, kPlatformCapability, 0};
    append(capability, platformUuid);
    put32(capability, kWindows81);
    put16(capability, setLength);
    capability.push_back(kMsOs20VendorCode);
    capability.push_back(0);  // no alternate enumeration

    Bytes out{5, kBosType};
    put16(out, 5 + capability.size());
    out.push_back(1);
    append(out, capability);
    return out;
}

Bytes msOs20DescriptorSet(std::string_view guid)
{
    Bytes compatibleId;
    put16(compatibleId, 20);
    put16(compatibleId, 0x03);
    for (const char c : std::string_view("WINUSB\0\0", 8))
        compatibleId.push_back(static_cast<uint8_t>(c));
    compatibleId.insert(compatibleId.end(), 8, 0);

    const Bytes name = utf16z("DeviceInterfaceGUIDs");
    Bytes value = utf16z(guid);
    put16(value, 0);  // REG_MULTI_SZ ends with an empty string
    Bytes property;
    put16(property, 10 + name.size() + value.size());
    put16(property, 0x04);
    put16(property, kRegMultiSz);
    put16(property, name.size());
    append(property, name);
    put16(property, value.size());
    append(property, value);

    Bytes out;
    put16(out, 10);
    put16(out, 0x00);
    put32(out, kWindows81);
    put16(out, 10 + compatibleId.size() + property.size());
    append(out, compatibleId);
    append(out, property);
    return out;
}

Bytes msOs10String()
{
    Bytes out{18, kStringType};
    for (const char c : std::string_view("MSFT100"))
        put16(out, static_cast<uint8_t>(c));
    out.push_back(kMsOs10VendorCode);
    out.push_back(0);
    return out;
}

Bytes msOs10ExtendedProperties(std::string_view guid)
{
    const Bytes name = utf16z("DeviceInterfaceGUID");
    const Bytes value = utf16z(guid);
    Bytes section;
    put32(section, 14 + name.size() + value.size());
    put32(section, kRegSz);
    put16(section, name.size());
    append(section, name);
    put32(section, value.size());
    append(section, value);

    Bytes out;
    put32(out, 10 + section.size());
    put16(out, 0x0100);
    put16(out, 5);  // wIndex of the extended-properties request
    put16(out, 1);
    append(out, section);
    return out;
}

}  // namespace qdx::test::usb
