// The Analysis window's feed between the display thread and a reader: every
// snapshot the reader gets is whole (its figures and its frame belong
// together), and the feed does nothing while the window is closed.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "live/AnalysisFeed.h"
#include "viewer/FrameBuilder.h"

namespace qdx::viewer::test {
namespace {

// Guards the hand-over: a writer shows frames of one grey level each, as fast
// as it can, while the reader checks that each snapshot's statistics, profile
// and frame copy are of the same frame, and that the numbers only go up.
TEST(AnalysisFeedTest, SnapshotsAreWholeWhileTheDisplayThreadWrites)
{
    AnalysisFeed feed;
    const std::vector<uint8_t> frame = makeFrame();
    feed.frameShown({frame.data(), false, false});
    EXPECT_EQ(feed.latest(), nullptr) << "nothing is analysed while the window is closed";

    feed.setActive(true);
    feed.setLine(PixelLine{{2, 2}, {401, 401}});
    std::atomic<bool> done{false};
    std::thread display([&] {
        std::vector<uint8_t> level = makeFrame();
        for (uint16_t step = 0; step < 400; ++step) {
            const uint16_t y = static_cast<uint16_t>((step % 4000 + 16) << 4);
            for (int row = 0; row < kCameraSide; ++row)
                for (int pair = 0; pair < kCameraSide / 2; ++pair)
                    setPair(level, row, pair, {0x8000, y, 0x8000, y});
            feed.frameShown({level.data(), step % 2 == 0, false});
        }
        done = true;
    });
    uint64_t last = 0;
    int checked = 0;
    while (!done || checked == 0) {
        const AnalysisSnapshot* shot = feed.latest();
        if (!shot || shot->number == last)
            continue;
        ASSERT_GT(shot->number, last);
        last = shot->number;
        const RegionStats& stats = shot->analysis.stats;
        const int y = frameWord(shot->frame.get(), kCameraSide * 2 * 200 + 201) >> 4;
        ASSERT_EQ(stats.min, y);
        ASSERT_EQ(stats.max, y);
        ASSERT_EQ(stats.pixels, 400 * 400);
        ASSERT_EQ(shot->profile.size(), 400u);
        ASSERT_EQ(shot->profile.front(), y);
        ++checked;
    }
    display.join();
    EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace qdx::viewer::test
