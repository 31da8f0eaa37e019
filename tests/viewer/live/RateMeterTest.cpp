// The rates line: displayed frames and the library's frame index per second.
#include <gtest/gtest.h>

#include "live/RateMeter.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;

class RateMeterTest : public ::testing::Test {
protected:
    RateMeter meter;
    RateMeter::Clock::time_point t0 = RateMeter::Clock::now();
};

// Guards the first line appearing at once, and no second line within the second.
TEST_F(RateMeterTest, FirstReportAtOnceThenOncePerSecond)
{
    meter.start(500, t0);
    auto first = meter.poll(500, t0);
    ASSERT_TRUE(first);
    EXPECT_EQ(ratesText(*first), "fps DISP:0 / USB:0");
    EXPECT_FALSE(meter.poll(510, t0 + milliseconds(999)));
    meter.frameShown();
    meter.frameShown();
    auto second = meter.poll(530, t0 + milliseconds(1000));
    ASSERT_TRUE(second);
    EXPECT_EQ(ratesText(*second), "fps DISP:2 / USB:30");
}

struct IndexJump {
    const char* name;
    uint32_t from, to;
    uint32_t expectedUsb;  // with 7 frames displayed
};

class RateJumpTest : public ::testing::TestWithParam<IndexJump> {};

// Guards against printing a huge or negative USB rate when the library's
// index restarts after a reconnection, while a counter wrap is a real rate.
TEST_P(RateJumpTest, JumpsOverAHundredShowTheDisplayedCount)
{
    const IndexJump& jump = GetParam();
    RateMeter meter;
    const auto t0 = RateMeter::Clock::now();
    meter.start(jump.from, t0);
    meter.poll(jump.from, t0);
    for (int i = 0; i < 7; ++i)
        meter.frameShown();
    auto rates = meter.poll(jump.to, t0 + milliseconds(1000));
    ASSERT_TRUE(rates);
    EXPECT_EQ(rates->displayed, 7u);
    EXPECT_EQ(rates->received, jump.expectedUsb);
}

const IndexJump kJumps[] = {
    {"Steady", 1000, 1030, 30},
    {"ExactlyAHundred", 1000, 1100, 100},
    {"AHundredAndOne", 1000, 1101, 7},
    {"RestartedLower", 1000, 12, 7},
    {"CounterWrap", 0xFFFFFFF0u, 0x0000000Eu, 30},
};

INSTANTIATE_TEST_SUITE_P(Jumps, RateJumpTest, ::testing::ValuesIn(kJumps),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace qdx::viewer::test
