// The stream's health on a clock the test sets: every figure exact, so the
// tests that stream from the simulated camera need only count events.
#include <gtest/gtest.h>

#include "live/FrameCheck.h"
#include "live/StreamHealth.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;

// Guards the figures the Analysis window and qdxctl stream show: the gap is
// the longest time between frames (the open one up to now included, a late
// arrival never shortening it), rates over the time since the restart, the
// frames delivered counted from the reader's count at the restart, a stale
// reading counting nothing, and a restart forgetting everything before it.
TEST(StreamHealthTest, FiguresFollowTheFramesAndTheClock)
{
    StreamHealth health;
    const auto t0 = StreamHealth::Clock::now();
    health.restart(t0 - milliseconds(5000), false);
    health.framesDelivered(7);
    health.frameTaken(kFrameWrongSize, 10, t0 - milliseconds(4000));
    health.connection(true);
    health.restart(t0, true);

    health.framesDelivered(100);
    health.framesDelivered(101);
    health.frameTaken(kFrameWhole, 1000, t0 + milliseconds(40), true);
    health.framesDelivered(103);
    health.frameTaken(kFrameWrongSize, 500, t0 + milliseconds(80));
    health.framesDelivered(102);  // read just before the one above: stale
    health.frameTaken(kFrameWrongMarkers, 1000, t0 + milliseconds(70));  // taken late, arrived earlier
    health.connection(false);
    health.connection(false);
    health.connection(true);
    health.framesDelivered(105);
    health.frameTaken(kFrameWhole, 1000, t0 + milliseconds(530), true);
    health.framesDelivered(107);

    StreamFigures f = health.figures(t0 + milliseconds(600));
    EXPECT_DOUBLE_EQ(f.seconds, 0.6);
    EXPECT_EQ(f.delivered, 1 + 2 + 2 + 2);
    EXPECT_EQ(f.taken, 4);
    EXPECT_EQ(f.shown, 2);
    EXPECT_EQ(f.bytes, 3500);
    EXPECT_EQ(f.shortFrames, 1);
    EXPECT_EQ(f.damagedFrames, 1);
    EXPECT_DOUBLE_EQ(f.largestGapMs, 450.0);
    EXPECT_EQ(f.disconnections, 1);
    EXPECT_EQ(f.reconnections, 1);
    EXPECT_DOUBLE_EQ(f.framesPerSecond(), 7 / 0.6);
    EXPECT_DOUBLE_EQ(f.megabytesPerSecond(), 3500 / 0.6 / 1e6);

    // Without frames the open gap grows with the clock.
    f = health.figures(t0 + milliseconds(1530));
    EXPECT_DOUBLE_EQ(f.largestGapMs, 1000.0);
    EXPECT_EQ(f.taken, 4);
}

}  // namespace
}  // namespace qdx::viewer::test
