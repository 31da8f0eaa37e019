// How the configuration file's values read.
#include <gtest/gtest.h>

#include <climits>

#include "shell/ViewerConfig.h"

namespace qdx::viewer::test {
namespace {

struct Reading {
    const char* text;
    int value;
};

class ProfileIntTest : public ::testing::TestWithParam<Reading> {};

// Guards hand-edited values: text that is not a number reads 0, trailing
// text after a number is ignored, and huge values do not overflow.
TEST_P(ProfileIntTest, ReadsLeadingDecimalNumber)
{
    EXPECT_EQ(parseProfileInt(GetParam().text), GetParam().value);
}

const Reading kReadings[] = {
    {"", 0},          {"0", 0},     {"2", 2},        {" 7", 7},  {"-3", -3}, {"+4", 4},
    {"12abc", 12},    {"abc", 0},   {"0x10", 0},     {"-", 0},   {"99999999999", INT_MAX},
    {"-99999999999", INT_MIN},
};

INSTANTIATE_TEST_SUITE_P(Texts, ProfileIntTest, ::testing::ValuesIn(kReadings));

}  // namespace
}  // namespace qdx::viewer::test
