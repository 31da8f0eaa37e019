#include <gtest/gtest.h>

#include "QDX_API.h"

// Guards the version being taken from the build only once the library starts,
// and surviving QDX_Term.
TEST(Version, ZeroBeforeFirstInitThenOnePointOne)
{
    unsigned int version = 0xDEADBEEF;
    ASSERT_EQ(QDX_GetVersion(&version), 0);
    EXPECT_EQ(version, 0u);
    EXPECT_EQ(QDX_GetVersion(nullptr), -1);

    setenv("QDX_CAMERA", "sim", 1);
    ASSERT_EQ(QDX_Init(), 0);
    ASSERT_EQ(QDX_GetVersion(&version), 0);
    EXPECT_EQ(version, 0x01010000u);
    ASSERT_EQ(QDX_Term(), 0);
    ASSERT_EQ(QDX_GetVersion(&version), 0);
    EXPECT_EQ(version, 0x01010000u);
}
