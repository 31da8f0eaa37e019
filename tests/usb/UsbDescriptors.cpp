#include "usb/UsbDescriptors.h"

#include "link/MsOsDescriptorBuilder.h"

namespace qdx::test::usb {

namespace {

using msos::append;
using msos::put16;

constexpr uint8_t kDeviceType = 0x01;
constexpr uint8_t kConfigurationType = 0x02;
constexpr uint8_t kInterfaceType = 0x04;
constexpr uint8_t kEndpointType = 0x05;

constexpr uint8_t kBulk = 0x02;
constexpr uint8_t kInterrupt = 0x03;
constexpr uint8_t kIsochronous = 0x01;

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
    return msos::bos({msos::msOs20Capability({{msos::kWindows81, setLength, kMsOs20VendorCode, 0}})});
}

Bytes msOs20DescriptorSet(std::string_view guid)
{
    Bytes content = msos::compatibleId();
    msos::append(content, msos::msOs20GuidProperty(guid));
    return msos::descriptorSet(content);
}

Bytes msOs10String()
{
    return msos::osStringDescriptor(kMsOs10VendorCode);
}

Bytes msOs10ExtendedProperties(std::string_view guid)
{
    return msos::extendedProperties({msos::msOs10GuidSection(guid)});
}

}  // namespace qdx::test::usb
