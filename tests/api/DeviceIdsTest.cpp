// The VID:PID lists that name the camera without probing. The environment list
// is typed by people, so malformed entries must be reported and skipped, not
// crash the library or take the well-formed entries with them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "link/DeviceIds.h"

namespace qdx {
namespace {

// Guards hex parsing of either case, short IDs, blanks around entries and
// empty entries, and the order of the list.
TEST(DeviceIds, ParsesWellFormedList)
{
    const UsbIdList list = parseUsbIds(" 04b4:1003 ,CAFE:BEEF,,4b4:1:\t");
    EXPECT_EQ(list.ids, (std::vector<UsbId>{{0x04B4, 0x1003}, {0xCAFE, 0xBEEF}}));
    EXPECT_EQ(list.rejected, std::vector<std::string>{"4b4:1:"});

    const UsbIdList shortIds = parseUsbIds("4b4:1,0:0,ffff:ffff");
    EXPECT_EQ(shortIds.ids, (std::vector<UsbId>{{0x04B4, 0x0001}, {0, 0}, {0xFFFF, 0xFFFF}}));
    EXPECT_TRUE(shortIds.rejected.empty());
}

// Guards the empty environment variable and the empty built-in list: no IDs,
// nothing reported.
TEST(DeviceIds, EmptyListsAreQuiet)
{
    for (const std::string_view text : {"", " ", ",", " , ,"}) {
        const UsbIdList list = parseUsbIds(text);
        EXPECT_TRUE(list.ids.empty()) << text;
        EXPECT_TRUE(list.rejected.empty()) << text;
    }
}

class MalformedUsbId : public ::testing::TestWithParam<std::string_view> {};

// Guards against overflow past 16 bits, signs and prefixes that a lenient
// number parser would take, and missing or extra parts: each is reported and
// its well-formed neighbours are kept.
TEST_P(MalformedUsbId, IsRejectedAlone)
{
    const std::string text = "0001:0002," + std::string(GetParam()) + ",0003:0004";
    const UsbIdList list = parseUsbIds(text);
    EXPECT_EQ(list.ids, (std::vector<UsbId>{{1, 2}, {3, 4}})) << text;
    EXPECT_EQ(list.rejected, std::vector<std::string>{std::string(GetParam())}) << text;
}

INSTANTIATE_TEST_SUITE_P(DeviceIds, MalformedUsbId,
                         ::testing::Values("04b4", "04b4:", ":1003", "04b4:1003:0001", "0x04b4:1003", "04b4:0x10",
                                           "104b4:1003", "04b4:10030", "g4b4:1003", "04b4;1003", "04 b4:1003",
                                           "-4b4:1003", "+4b4:1003", "04b4:-1", ":", "\xff\xfe:1"));

// The test build may set the built-in list to "cafe:0001" to check how it joins
// the environment list; without it the built-in list is empty.
#ifdef QDX_BUILTIN_USB_IDS
const std::vector<UsbId> kBuiltIn = {{0xCAFE, 0x0001}};
#else
const std::vector<UsbId> kBuiltIn = {};
#endif

std::vector<UsbId> followedByBuiltIn(std::vector<UsbId> ids)
{
    ids.insert(ids.end(), kBuiltIn.begin(), kBuiltIn.end());
    return ids;
}

// Guards the sources and their order: the environment list comes first, the
// built-in list after it, and a malformed environment does not lose the
// built-in IDs.
TEST(DeviceIds, ConfiguredListJoinsEnvironmentAndBuiltIn)
{
    ASSERT_EQ(setenv("QDX_USB_IDS", "04b4:1003", 1), 0);
    const UsbIdList fromEnvironment = configuredUsbIds();
    EXPECT_EQ(fromEnvironment.ids, followedByBuiltIn({{0x04B4, 0x1003}}));
    EXPECT_TRUE(fromEnvironment.contains({0x04B4, 0x1003}));
    EXPECT_FALSE(fromEnvironment.contains({0x1003, 0x04B4}));

    ASSERT_EQ(setenv("QDX_USB_IDS", "zz", 1), 0);
    const UsbIdList malformed = configuredUsbIds();
    EXPECT_EQ(malformed.ids, kBuiltIn);
    EXPECT_EQ(malformed.rejected, std::vector<std::string>{"zz"});

    ASSERT_EQ(unsetenv("QDX_USB_IDS"), 0);
    EXPECT_EQ(configuredUsbIds().ids, kBuiltIn);
}

}  // namespace
}  // namespace qdx
