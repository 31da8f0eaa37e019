// Parsers of the Microsoft OS descriptors. The bytes come from any
// vendor-specific device on the bus, so besides recognising the camera the
// parsers must survive truncated and hostile descriptors. Buffers are exact-size
// vectors, so that a sanitizer build reports any read past the received bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "link/MsOsDescriptors.h"

namespace qdx::msos {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr std::string_view kGuid = "{1EE90284-4BA8-4DD9-A275-4A746DDF9076}";
constexpr std::string_view kOtherGuid = "{88BAE032-5A81-49F0-BC3D-A4FF138216D6}";
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;

// --- Descriptor builders, written from the published layouts -------------------

void put16(Bytes& out, std::size_t value)
{
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void put32(Bytes& out, std::size_t value)
{
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// UTF-16LE with a terminating NUL.
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

// MS OS 1.0 extended-properties custom section.
Bytes section(uint32_t type, std::string_view name, const Bytes& data)
{
    const Bytes utf16Name = utf16z(name);
    Bytes out;
    put32(out, 14 + utf16Name.size() + data.size());
    put32(out, type);
    put16(out, utf16Name.size());
    append(out, utf16Name);
    put32(out, data.size());
    append(out, data);
    return out;
}

Bytes extendedProperties(std::initializer_list<Bytes> sections)
{
    Bytes body;
    for (const auto& s : sections)
        append(body, s);
    Bytes out;
    put32(out, 10 + body.size());
    put16(out, 0x0100);
    put16(out, 5);
    put16(out, sections.size());
    append(out, body);
    return out;
}

// MS OS 2.0 descriptors.
Bytes registryProperty(uint16_t type, std::string_view name, const Bytes& data)
{
    const Bytes utf16Name = utf16z(name);
    Bytes out;
    put16(out, 10 + utf16Name.size() + data.size());
    put16(out, 0x04);
    put16(out, type);
    put16(out, utf16Name.size());
    append(out, utf16Name);
    put16(out, data.size());
    append(out, data);
    return out;
}

Bytes compatibleId()
{
    Bytes out;
    put16(out, 20);
    put16(out, 0x03);
    for (const char c : std::string_view("WINUSB\0\0", 8))
        out.push_back(static_cast<uint8_t>(c));
    out.resize(20, 0);
    return out;
}

Bytes functionSubset(uint8_t firstInterface, const Bytes& content)
{
    Bytes out;
    put16(out, 8);
    put16(out, 0x02);
    out.push_back(firstInterface);
    out.push_back(0);
    put16(out, 8 + content.size());
    append(out, content);
    return out;
}

Bytes configurationSubset(const Bytes& content)
{
    Bytes out;
    put16(out, 8);
    put16(out, 0x01);
    out.push_back(0);
    out.push_back(0);
    put16(out, 8 + content.size());
    append(out, content);
    return out;
}

Bytes descriptorSet(const Bytes& content)
{
    Bytes out;
    put16(out, 10);
    put16(out, 0x00);
    put32(out, 0x06030000);
    put16(out, 10 + content.size());
    append(out, content);
    return out;
}

Bytes guidProperty(std::string_view guid = kGuid)
{
    return registryProperty(kRegMultiSz, "DeviceInterfaceGUIDs", multiSz({guid}));
}

Bytes prefix(const Bytes& bytes, std::size_t length) { return Bytes(bytes.begin(), bytes.begin() + length); }

// --- GUID text ----------------------------------------------------------------

class CameraGuidText : public ::testing::TestWithParam<std::pair<std::string_view, bool>> {};

// Guards the comparison: Windows writes GUIDs in any case and with or without
// braces, and a near miss must not make another vendor's device the camera.
TEST_P(CameraGuidText, IsRecognisedExactly)
{
    EXPECT_EQ(isCameraInterfaceGuid(GetParam().first), GetParam().second) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(
    MsOsDescriptors, CameraGuidText,
    ::testing::Values(std::pair{kGuid, true}, std::pair{std::string_view("1EE90284-4BA8-4DD9-A275-4A746DDF9076"), true},
                      std::pair{std::string_view("{1ee90284-4ba8-4dd9-a275-4a746ddf9076}"), true},
                      std::pair{std::string_view("{1EE90284-4BA8-4DD9-A275-4A746DDF9076"), false},
                      std::pair{std::string_view("1EE90284-4BA8-4DD9-A275-4A746DDF9076}"), false},
                      std::pair{std::string_view("{1EE90284-4BA8-4DD9-A275-4A746DDF9077}"), false},
                      std::pair{std::string_view("{{1EE90284-4BA8-4DD9-A275-4A746DDF9076}}"), false},
                      std::pair{std::string_view(" 1EE90284-4BA8-4DD9-A275-4A746DDF9076"), false},
                      std::pair{kOtherGuid, false}, std::pair{std::string_view(""), false}));

// --- MS OS 1.0 string descriptor ----------------------------------------------

// The descriptor as a device sends it: "MSFT100", vendor code 0x21, pad.
const Bytes kOsString = {0x12, 0x03, 'M', 0, 'S', 0, 'F', 0, 'T', 0, '1', 0, '0', 0, '0', 0, 0x21, 0x00};

// Guards reading the vendor code from its fixed place.
TEST(MsOsStringDescriptor, GivesVendorCode)
{
    EXPECT_EQ(osStringVendorCode(kOsString), uint8_t{0x21});
}

// Guards against taking an ordinary string, a different signature, a
// descriptor of another type or a short answer for the OS string.
TEST(MsOsStringDescriptor, RejectsOtherDescriptors)
{
    Bytes otherSignature = kOsString;
    otherSignature[12] = '2';  // "MSFT200"
    Bytes otherType = kOsString;
    otherType[1] = 0x02;
    Bytes shortLength = kOsString;
    shortLength[0] = 0x10;
    Bytes wideChar = kOsString;
    wideChar[3] = 0x01;  // 'M' with a high byte is not 'M'

    EXPECT_FALSE(osStringVendorCode(otherSignature));
    EXPECT_FALSE(osStringVendorCode(otherType));
    EXPECT_FALSE(osStringVendorCode(shortLength));
    EXPECT_FALSE(osStringVendorCode(wideChar));
    for (std::size_t length = 0; length < kOsString.size(); ++length)
        EXPECT_FALSE(osStringVendorCode(prefix(kOsString, length))) << length;
}

// --- MS OS 1.0 extended properties --------------------------------------------

// Guards recognition of both property names, both string types, any name
// case, and a GUID that is not the first of a list or section.
TEST(MsOsExtendedProperties, FindsCameraGuid)
{
    EXPECT_TRUE(extendedPropertiesNameCamera(
        extendedProperties({section(kRegSz, "DeviceInterfaceGUID", utf16z(kGuid))})));
    EXPECT_TRUE(extendedPropertiesNameCamera(
        extendedProperties({section(kRegMultiSz, "DeviceInterfaceGUIDs", multiSz({kOtherGuid, kGuid}))})));
    EXPECT_TRUE(extendedPropertiesNameCamera(
        extendedProperties({section(kRegSz, "deviceinterfaceguid", utf16z("1ee90284-4ba8-4dd9-a275-4a746ddf9076"))})));
    EXPECT_TRUE(extendedPropertiesNameCamera(extendedProperties(
        {section(kRegSz, "Label", utf16z("Camera")), section(kRegSz, "DeviceInterfaceGUID", utf16z(kGuid))})));
}

// Guards against matching on the GUID alone, on another name, on a non-string
// type, or on text after the end of a REG_SZ or REG_MULTI_SZ value.
TEST(MsOsExtendedProperties, IgnoresOtherProperties)
{
    EXPECT_FALSE(extendedPropertiesNameCamera(extendedProperties({section(kRegSz, "Label", utf16z(kGuid))})));
    EXPECT_FALSE(extendedPropertiesNameCamera(
        extendedProperties({section(kRegSz, "DeviceInterfaceGUID", utf16z(kOtherGuid))})));
    EXPECT_FALSE(extendedPropertiesNameCamera(
        extendedProperties({section(kRegDword, "DeviceInterfaceGUID", utf16z(kGuid))})));

    Bytes afterString = utf16z(kOtherGuid);
    append(afterString, utf16z(kGuid));
    EXPECT_FALSE(extendedPropertiesNameCamera(
        extendedProperties({section(kRegSz, "DeviceInterfaceGUID", afterString)})));
    Bytes afterList = multiSz({kOtherGuid});
    append(afterList, utf16z(kGuid));
    EXPECT_FALSE(extendedPropertiesNameCamera(
        extendedProperties({section(kRegMultiSz, "DeviceInterfaceGUIDs", afterList)})));
}

// Guards the header check: another feature descriptor (wIndex 4, compat ID)
// answered in its place is not read as properties.
TEST(MsOsExtendedProperties, ChecksHeader)
{
    const Bytes good = extendedProperties({section(kRegSz, "DeviceInterfaceGUID", utf16z(kGuid))});
    EXPECT_EQ(extendedPropertiesLength(good), good.size());
    Bytes otherIndex = good;
    otherIndex[6] = 4;
    EXPECT_FALSE(extendedPropertiesLength(otherIndex));
    EXPECT_FALSE(extendedPropertiesNameCamera(otherIndex));
    Bytes tinyLength = good;
    tinyLength[0] = 9;
    EXPECT_FALSE(extendedPropertiesLength(tinyLength));
    EXPECT_FALSE(extendedPropertiesLength(prefix(good, 9)));
}

// Guards bounds: a descriptor cut anywhere (the device sent less than it
// declared) must not be read past its end nor match on half a GUID.
TEST(MsOsExtendedProperties, TruncatedNeverMatches)
{
    const Bytes full = extendedProperties({section(kRegSz, "DeviceInterfaceGUID", utf16z(kGuid))});
    ASSERT_TRUE(extendedPropertiesNameCamera(full));
    for (std::size_t length = 0; length < full.size(); ++length)
        EXPECT_FALSE(extendedPropertiesNameCamera(prefix(full, length))) << length;
    // Only the declared length counts, even when more bytes arrived.
    Bytes shortDeclared = full;
    shortDeclared[0] = static_cast<uint8_t>(full.size() - 2);
    EXPECT_FALSE(extendedPropertiesNameCamera(shortDeclared));
}

// Guards against lengths inside a section that overrun it: a zero section size
// (endless walk), a huge one, and name or data lengths past the section.
TEST(MsOsExtendedProperties, HostileLengthsAreRejected)
{
    const Bytes full = extendedProperties({section(kRegSz, "DeviceInterfaceGUID", utf16z(kGuid))});
    const std::size_t sectionAt = 10;
    const std::size_t nameLengthAt = sectionAt + 8;
    const std::size_t dataLengthAt = sectionAt + 10 + full[nameLengthAt];

    for (const uint8_t size : {uint8_t{0}, uint8_t{13}}) {
        Bytes bad = full;
        bad[sectionAt] = size;
        bad[sectionAt + 1] = 0;
        EXPECT_FALSE(extendedPropertiesNameCamera(bad)) << int{size};
    }
    Bytes hugeSize = full;
    hugeSize[sectionAt + 3] = 0xFF;
    EXPECT_FALSE(extendedPropertiesNameCamera(hugeSize));
    Bytes hugeName = full;
    hugeName[nameLengthAt + 1] = 0xFF;
    EXPECT_FALSE(extendedPropertiesNameCamera(hugeName));
    Bytes hugeData = full;
    hugeData[dataLengthAt + 3] = 0x80;
    EXPECT_FALSE(extendedPropertiesNameCamera(hugeData));
    Bytes manySections = full;
    manySections[8] = 0xFF;
    manySections[9] = 0xFF;
    EXPECT_TRUE(extendedPropertiesNameCamera(manySections));
}

// --- BOS platform capability --------------------------------------------------

// A BOS as a WinUSB device sends it: header, then the MS OS 2.0 platform
// capability for Windows 8.1 with a 0xB2-byte descriptor set and vendor code 1.
const Bytes kBos = {0x05, 0x0F, 0x21, 0x00, 0x01, 0x1C, 0x10, 0x05, 0x00, 0xDF, 0x60, 0xDD, 0xD8, 0x89, 0x45, 0xC7, 0x4C,
                    0x9C, 0xD2, 0x65, 0x9D, 0x9E, 0x64, 0x8A, 0x9F, 0x00, 0x00, 0x03, 0x06, 0xB2, 0x00, 0x01, 0x00};

// Guards the UUID byte order and the set-information layout.
TEST(MsOsBos, GivesDescriptorSet)
{
    EXPECT_EQ(bosTotalLength(kBos), uint16_t{0x21});
    const std::vector<DescriptorSetInfo> expected = {{0x06030000, 0xB2, 0x01, 0x00}};
    EXPECT_EQ(msOs20DescriptorSets(kBos), expected);
}

// Guards the walk over capabilities: other capabilities (USB 2.0 extension,
// another platform UUID) are skipped, several set entries are all returned,
// and an entry too short for a set header is dropped.
TEST(MsOsBos, WalksCapabilities)
{
    Bytes bos = {0x05, 0x0F, 0, 0, 3};
    const Bytes usb20Extension = {0x07, 0x10, 0x02, 0x02, 0x00, 0x00, 0x00};
    Bytes otherPlatform = {0x18, 0x10, 0x05, 0x00};
    for (uint8_t i = 0; i < 16; ++i)
        otherPlatform.push_back(i);
    append(otherPlatform, {0x00, 0x01, 0x00, 0x00});
    Bytes msOs20(kBos.begin() + 5, kBos.end());
    msOs20[0] = 0x1C + 16;
    append(msOs20, {0x00, 0x00, 0x00, 0x0A, 0x40, 0x00, 0x02, 0x01});  // Windows 10, 0x40 bytes, code 2
    append(msOs20, {0x00, 0x00, 0x00, 0x0A, 0x09, 0x00, 0x03, 0x00});  // 9 bytes: unusable
    append(bos, usb20Extension);
    append(bos, otherPlatform);
    append(bos, msOs20);
    bos[2] = static_cast<uint8_t>(bos.size());

    const std::vector<DescriptorSetInfo> expected = {{0x06030000, 0xB2, 0x01, 0x00}, {0x0A000000, 0x40, 0x02, 0x01}};
    EXPECT_EQ(msOs20DescriptorSets(bos), expected);
}

// Guards bounds: a BOS cut anywhere, a capability of length 0 or 2 (endless
// walk), a capability longer than the BOS, and a header bLength beyond the bytes.
TEST(MsOsBos, TruncatedOrHostileGivesNothing)
{
    for (std::size_t length = 0; length < kBos.size(); ++length)
        EXPECT_TRUE(msOs20DescriptorSets(prefix(kBos, length)).empty()) << length;
    for (const uint8_t capabilityLength : {uint8_t{0}, uint8_t{2}, uint8_t{0x1D}, uint8_t{0xFF}}) {
        Bytes bad = kBos;
        bad[5] = capabilityLength;
        EXPECT_TRUE(msOs20DescriptorSets(bad).empty()) << int{capabilityLength};
    }
    Bytes headerPastEnd = kBos;
    headerPastEnd[0] = 0xF0;
    headerPastEnd[2] = 0xF0;
    EXPECT_TRUE(msOs20DescriptorSets(headerPastEnd).empty());
    Bytes otherType = kBos;
    otherType[1] = 0x02;
    EXPECT_FALSE(bosTotalLength(otherType));
    Bytes totalBelowHeader = kBos;
    totalBelowHeader[2] = 4;
    EXPECT_FALSE(bosTotalLength(totalBelowHeader));
}

// --- MS OS 2.0 descriptor set -------------------------------------------------

// Guards recognition in the layouts devices use: device-wide, inside a
// configuration subset, inside interface 0's function subset, after a
// compatible-ID feature, with REG_SZ and the singular name.
TEST(MsOsDescriptorSet, FindsCameraGuid)
{
    Bytes compatThenProperty = compatibleId();
    append(compatThenProperty, guidProperty());
    EXPECT_TRUE(descriptorSetNamesCamera(descriptorSet(guidProperty())));
    EXPECT_TRUE(descriptorSetNamesCamera(descriptorSet(compatThenProperty)));
    EXPECT_TRUE(descriptorSetNamesCamera(descriptorSet(configurationSubset(functionSubset(0, compatThenProperty)))));
    EXPECT_TRUE(descriptorSetNamesCamera(
        descriptorSet(registryProperty(kRegSz, "DeviceInterfaceGUID", utf16z(kGuid)))));
}

// Guards against claiming the wrong interface: the GUID given to another
// function of a composite device does not make interface 0 the camera, but
// interface 0's own subset after it does.
TEST(MsOsDescriptorSet, OnlyInterfaceZeroCounts)
{
    EXPECT_FALSE(descriptorSetNamesCamera(descriptorSet(configurationSubset(functionSubset(2, guidProperty())))));
    Bytes twoFunctions = functionSubset(2, guidProperty());
    append(twoFunctions, functionSubset(0, guidProperty()));
    EXPECT_TRUE(descriptorSetNamesCamera(descriptorSet(configurationSubset(twoFunctions))));
}

// Guards against matching another GUID, another property, or a set without
// its header.
TEST(MsOsDescriptorSet, IgnoresOtherContent)
{
    EXPECT_FALSE(descriptorSetNamesCamera(descriptorSet(guidProperty(kOtherGuid))));
    EXPECT_FALSE(descriptorSetNamesCamera(
        descriptorSet(registryProperty(kRegMultiSz, "DeviceIdleEnabled", multiSz({kGuid})))));
    Bytes noHeader = descriptorSet(guidProperty());
    noHeader[2] = 0x01;
    EXPECT_FALSE(descriptorSetNamesCamera(noHeader));
}

// Guards bounds: a set cut anywhere, or whose header declares less than the
// property needs, never matches; a descriptor length of 0 (endless walk) or
// past the end, and property name or data lengths past the descriptor, are refused.
TEST(MsOsDescriptorSet, TruncatedOrHostileNeverMatches)
{
    const Bytes full = descriptorSet(guidProperty());
    ASSERT_TRUE(descriptorSetNamesCamera(full));
    for (std::size_t length = 0; length < full.size(); ++length)
        EXPECT_FALSE(descriptorSetNamesCamera(prefix(full, length))) << length;

    Bytes shortTotal = full;
    shortTotal[8] = static_cast<uint8_t>(full.size() - 1);
    EXPECT_FALSE(descriptorSetNamesCamera(shortTotal));
    Bytes tinyTotal = full;
    tinyTotal[8] = 3;
    EXPECT_FALSE(descriptorSetNamesCamera(tinyTotal));

    const std::size_t propertyAt = 10;
    for (const uint8_t length : {uint8_t{0}, uint8_t{3}, uint8_t{0xFF}}) {
        Bytes bad = full;
        bad[propertyAt] = length;
        bad[propertyAt + 1] = 0;
        EXPECT_FALSE(descriptorSetNamesCamera(bad)) << int{length};
    }
    Bytes hugeName = full;
    hugeName[propertyAt + 7] = 0x7F;
    EXPECT_FALSE(descriptorSetNamesCamera(hugeName));
    Bytes hugeData = full;
    hugeData[propertyAt + 8 + full[propertyAt + 6] + 1] = 0x7F;
    EXPECT_FALSE(descriptorSetNamesCamera(hugeData));
}

// Guards every parser against crashes and endless loops on garbage: valid
// descriptors with random bytes overwritten and random lengths. Meaningful
// mainly under the sanitizer build, which reports reads past the buffer.
TEST(MsOsDescriptors, SurviveMutatedInput)
{
    const std::vector<Bytes> seeds = {
        kOsString, kBos, extendedProperties({section(kRegMultiSz, "DeviceInterfaceGUIDs", multiSz({kGuid}))}),
        descriptorSet(configurationSubset(functionSubset(0, guidProperty())))};
    std::mt19937 random(20240611);
    for (int round = 0; round < 20000; ++round) {
        Bytes bytes = seeds[static_cast<std::size_t>(round) % seeds.size()];
        const int flips = std::uniform_int_distribution<int>(1, 4)(random);
        for (int i = 0; i < flips; ++i)
            bytes[std::uniform_int_distribution<std::size_t>(0, bytes.size() - 1)(random)] =
                static_cast<uint8_t>(random());
        bytes.resize(std::uniform_int_distribution<std::size_t>(0, bytes.size())(random));
        bytes.shrink_to_fit();
        (void)osStringVendorCode(bytes);
        (void)extendedPropertiesNameCamera(bytes);
        (void)msOs20DescriptorSets(bytes);
        (void)descriptorSetNamesCamera(bytes);
    }
}

}  // namespace
}  // namespace qdx::msos
