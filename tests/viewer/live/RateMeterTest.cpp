// The rates line, and the one rule for the library's frame index that it,
// stream health and qdxctl share (FrameReader.h).
#include <gtest/gtest.h>

#include <vector>

#include "live/FrameReader.h"
#include "live/RateMeter.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;

// Guards the first line appearing at once, and no second line within the second.
TEST(RateMeterTest, FirstReportAtOnceThenOncePerSecond)
{
    RateMeter meter;
    const auto t0 = RateMeter::Clock::now();
    meter.start(500, 0, t0);
    auto first = meter.poll(500, 0, t0);
    ASSERT_TRUE(first);
    EXPECT_EQ(ratesText(*first), "fps DISP:0 / USB:0");
    EXPECT_FALSE(meter.poll(510, 0, t0 + milliseconds(999)));
    meter.frameShown();
    meter.frameShown();
    auto second = meter.poll(530, 0, t0 + milliseconds(1000));
    ASSERT_TRUE(second);
    EXPECT_EQ(ratesText(*second), "fps DISP:2 / USB:30");
}

struct IndexSequence {
    const char* name;
    std::vector<uint32_t> indexes;  // the first is the start, the rest are looks within one second
    long long delivered;
    int restarts;
    uint32_t usb;  // the rates line's USB figure with 7 frames displayed
};

class IndexRuleTest : public ::testing::TestWithParam<IndexSequence> {};

// Guards the one restart rule: a reconnection (the index counting from 0
// again, however small the step back) counts the frames since and shows the
// displayed count for that second instead of a huge or negative USB rate,
// while a wrap of the counter is frames like any other; more than 100 frames
// in a second are no rate either.
TEST_P(IndexRuleTest, CountsFramesAndRestarts)
{
    const IndexSequence& sequence = GetParam();
    FrameCount count(sequence.indexes.front());
    RateMeter meter;
    const auto t0 = RateMeter::Clock::now();
    meter.start(0, 0, t0);
    meter.poll(0, 0, t0);
    for (std::size_t i = 1; i < sequence.indexes.size(); ++i)
        count.look(sequence.indexes[i]);
    EXPECT_EQ(count.delivered(), sequence.delivered);
    EXPECT_EQ(count.restarts(), sequence.restarts);

    for (int i = 0; i < 7; ++i)
        meter.frameShown();
    const auto rates = meter.poll(count.delivered(), count.restarts(), t0 + milliseconds(1000));
    ASSERT_TRUE(rates);
    EXPECT_EQ(rates->displayed, 7u);
    EXPECT_EQ(rates->received, sequence.usb);
}

const IndexSequence kSequences[] = {
    {"Steady", {1000, 1010, 1030}, 30, 0, 30},
    {"StandingStill", {1000, 1000, 1000}, 0, 0, 0},
    {"ExactlyAHundred", {1000, 1100}, 100, 0, 100},
    {"AHundredAndOne", {1000, 1101}, 101, 0, 7},
    {"RestartedLower", {1000, 1005, 12}, 17, 1, 7},
    {"RestartedOneBack", {103, 102}, 102, 1, 7},
    {"RestartedToZeroThenOn", {50, 0, 4}, 4, 1, 7},
    {"TwoRestarts", {900, 20, 30, 5}, 35, 2, 7},
    {"CounterWrap", {0xFFFFFFF0u, 0xFFFFFFFFu, 0x0000000Eu}, 30, 0, 30},
};

INSTANTIATE_TEST_SUITE_P(Sequences, IndexRuleTest, ::testing::ValuesIn(kSequences),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace qdx::viewer::test
