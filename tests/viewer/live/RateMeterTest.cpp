// The rates line and the Analysis window's last second, from one count of the
// library's frame times, and the one rule for the library's frame index that
// stream health and qdxctl share (FrameReader.h).
#include <gtest/gtest.h>

#include <vector>

#include "live/FrameCheck.h"
#include "live/FrameReader.h"
#include "live/StreamHealth.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// Guards against the rates line counting the frames between two looks at the
// clock at least a second apart (31-32 for a 30 frames/s camera, while the
// Analysis window said 30.0): fed the library's times of a 30 frames/s stream
// with jitter, one frame in five overwritten unseen and eight more of each
// 30 not shown, and looked at as the display thread does (after a frame, late
// by the time it took), every second counts 30 received, 16 shown, and the
// Analysis window's figures hold the same count.
TEST(RateMeterTest, RatesLineAndAnalysisCountTheSameSecond)
{
    StreamHealth health;
    const auto t0 = StreamHealth::Clock::now();
    health.restart(t0, true);
    auto nextLine = t0;
    std::vector<std::string> lines;
    for (int n = 1; n <= 300; ++n) {
        const auto arrived = t0 + microseconds(n * 33'333 + (n % 7) * 700 - 2'000);
        if (n % 5 == 0)
            continue;  // overwritten by the next one before the display thread came round
        health.frameTaken(kFrameWhole, 1000, arrived, n % 3 != 0, static_cast<uint64_t>(n));
        const auto look = arrived + milliseconds(4 + n % 11);
        if (look >= nextLine && n > 30) {
            nextLine = look + std::chrono::seconds(1);
            const Rates rates = health.closeSecond(look);
            lines.push_back(ratesText(rates));
            const StreamFigures figures = health.figures(look);
            EXPECT_EQ(figures.lastSecond.received, rates.received);
            EXPECT_EQ(figures.lastSecond.bytes, rates.received * 1000LL);
        }
    }
    ASSERT_GE(lines.size(), 8u);
    for (const std::string& line : lines)
        EXPECT_EQ(line, "fps DISP:16 / USB:30");

    // No frames: the count runs down to 0, and a restart of the Analysis
    // window's counts leaves the rates line's last count standing.
    const auto later = t0 + std::chrono::seconds(20);
    EXPECT_EQ(ratesText(health.closeSecond(later)), "fps DISP:0 / USB:0");
    health.frameTaken(kFrameWhole, 1000, later + milliseconds(10), true, 301);
    health.closeSecond(later + milliseconds(20));
    health.restart(later + milliseconds(30), true);
    EXPECT_EQ(health.figures(later + milliseconds(30)).lastSecond.received, 1u);
}

struct IndexSequence {
    const char* name;
    std::vector<uint32_t> indexes;  // the first is the start, the rest are looks
    long long delivered;
    int restarts;
};

class IndexRuleTest : public ::testing::TestWithParam<IndexSequence> {};

// Guards the one restart rule: a reconnection (the index counting from 0
// again, however small the step back) counts the frames since, while a wrap
// of the counter is frames like any other.
TEST_P(IndexRuleTest, CountsFramesAndRestarts)
{
    const IndexSequence& sequence = GetParam();
    FrameCount count(sequence.indexes.front());
    for (std::size_t i = 1; i < sequence.indexes.size(); ++i)
        count.look(sequence.indexes[i]);
    EXPECT_EQ(count.delivered(), sequence.delivered);
    EXPECT_EQ(count.restarts(), sequence.restarts);
}

const IndexSequence kSequences[] = {
    {"Steady", {1000, 1010, 1030}, 30, 0},
    {"StandingStill", {1000, 1000, 1000}, 0, 0},
    {"AHundredAndOne", {1000, 1101}, 101, 0},
    {"RestartedLower", {1000, 1005, 12}, 17, 1},
    {"RestartedOneBack", {103, 102}, 102, 1},
    {"RestartedToZeroThenOn", {50, 0, 4}, 4, 1},
    {"TwoRestarts", {900, 20, 30, 5}, 35, 2},
    {"CounterWrap", {0xFFFFFFF0u, 0xFFFFFFFFu, 0x0000000Eu}, 30, 0},
};

INSTANTIATE_TEST_SUITE_P(Sequences, IndexRuleTest, ::testing::ValuesIn(kSequences),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace qdx::viewer::test
