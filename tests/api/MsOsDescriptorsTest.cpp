// Parsers of the Microsoft OS descriptors. The bytes come from any
// vendor-specific device on the bus, so besides recognising the camera the
// parsers must survive truncated and hostile descriptors. Buffers are exact-size
// vectors, so that a sanitizer build reports any read past the received bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "link/MsOsDescriptorBuilder.h"
#include "link/MsOsDescriptors.h"

namespace qdx::msos {
namespace {

constexpr std::string_view kGuid = "{1EE90284-4BA8-4DD9-A275-4A746DDF9076}";
constexpr std::string_view kOtherGuid = "{88BAE032-5A81-49F0-BC3D-A4FF138216D6}";

Bytes guidProperty(std::string_view guid = kGuid)
{
    return msOs20GuidProperty(guid);
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
        extendedProperties({propertySection(kRegSz, "DeviceInterfaceGUID", utf16z(kGuid))})));
    EXPECT_TRUE(extendedPropertiesNameCamera(
        extendedProperties({propertySection(kRegMultiSz, "DeviceInterfaceGUIDs", multiSz({kOtherGuid, kGuid}))})));
    EXPECT_TRUE(extendedPropertiesNameCamera(extendedProperties(
        {propertySection(kRegSz, "deviceinterfaceguid", utf16z("1ee90284-4ba8-4dd9-a275-4a746ddf9076"))})));
    EXPECT_TRUE(extendedPropertiesNameCamera(
        extendedProperties({propertySection(kRegSz, "Label", utf16z("Camera")), msOs10GuidSection(kGuid)})));
}

// Guards against matching on the GUID alone, on another name, on a non-string
// type, or on text after the end of a REG_SZ or REG_MULTI_SZ value.
TEST(MsOsExtendedProperties, IgnoresOtherProperties)
{
    EXPECT_FALSE(extendedPropertiesNameCamera(extendedProperties({propertySection(kRegSz, "Label", utf16z(kGuid))})));
    EXPECT_FALSE(extendedPropertiesNameCamera(
        extendedProperties({propertySection(kRegSz, "DeviceInterfaceGUID", utf16z(kOtherGuid))})));
    EXPECT_FALSE(extendedPropertiesNameCamera(
        extendedProperties({propertySection(kRegDword, "DeviceInterfaceGUID", utf16z(kGuid))})));

    Bytes afterString = utf16z(kOtherGuid);
    append(afterString, utf16z(kGuid));
    EXPECT_FALSE(extendedPropertiesNameCamera(
        extendedProperties({propertySection(kRegSz, "DeviceInterfaceGUID", afterString)})));
    Bytes afterList = multiSz({kOtherGuid});
    append(afterList, utf16z(kGuid));
    EXPECT_FALSE(extendedPropertiesNameCamera(
        extendedProperties({propertySection(kRegMultiSz, "DeviceInterfaceGUIDs", afterList)})));
}

// Guards the header check: another feature descriptor (wIndex 4, compat ID)
// answered in its place is not read as properties.
TEST(MsOsExtendedProperties, ChecksHeader)
{
    const Bytes good = extendedProperties({propertySection(kRegSz, "DeviceInterfaceGUID", utf16z(kGuid))});
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
    const Bytes full = extendedProperties({propertySection(kRegSz, "DeviceInterfaceGUID", utf16z(kGuid))});
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
    const Bytes full = extendedProperties({propertySection(kRegSz, "DeviceInterfaceGUID", utf16z(kGuid))});
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
    const Bytes usb20Extension = {0x07, 0x10, 0x02, 0x02, 0x00, 0x00, 0x00};
    Bytes otherPlatform = {0x18, 0x10, 0x05, 0x00};
    for (uint8_t i = 0; i < 16; ++i)
        otherPlatform.push_back(i);
    append(otherPlatform, Bytes{0x00, 0x01, 0x00, 0x00});
    const Bytes msOs20 = msOs20Capability({{0x06030000, 0xB2, 0x01, 0x00},
                                           {0x0A000000, 0x40, 0x02, 0x01},    // Windows 10
                                           {0x0A000000, 0x09, 0x03, 0x00}});  // 9 bytes: unusable

    const std::vector<DescriptorSetInfo> expected = {{0x06030000, 0xB2, 0x01, 0x00}, {0x0A000000, 0x40, 0x02, 0x01}};
    EXPECT_EQ(msOs20DescriptorSets(bos({usb20Extension, otherPlatform, msOs20})), expected);
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

}  // namespace
}  // namespace qdx::msos
