// Frames over the bulk pipe: whole frames byte for byte, short transfers,
// reads that the camera leaves pending, and stopping while one is pending.
#include "usb/UsbCameraFixture.h"

#include <algorithm>
#include <array>

namespace qdx::test::usb {
namespace {

using namespace std::chrono_literals;

using UsbStreamingTest = UsbCameraTest;

std::vector<BulkEvent> eventsOf(const std::vector<BulkEvent>& events, BulkEventKind kind)
{
    std::vector<BulkEvent> selected;
    std::copy_if(events.begin(), events.end(), std::back_inserter(selected),
                 [kind](const BulkEvent& e) { return e.kind == kind; });
    return selected;
}

// Guards the frame path from the URB to QDX_GetFrame: every read asks for a
// whole slot, each transfer counts once, and the newest frame arrives
// complete and unaltered.
TEST_F(UsbStreamingTest, DeliversWholeFramesUnaltered)
{
    auto& camera = bus_->plug({.streaming = false});
    startConnected();
    camera.startStreaming(6);
    waitForFrames(6);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES + 16, 0xEE);
    unsigned length = 0;
    ASSERT_EQ(QDX_GetFrame(frame.data(), static_cast<unsigned>(frame.size()), &length), 0);
    EXPECT_EQ(length, QDX_FRAME_BYTES);
    frame.resize(QDX_FRAME_BYTES);
    EXPECT_TRUE(frame == patternFrame(camera, 5)) << "the sixth frame arrived altered";
    EXPECT_EQ(frameIndex(), 6) << "a transfer was counted twice";

    for (const BulkEvent& read : eventsOf(camera.bulkEvents(), BulkEventKind::Submitted))
        EXPECT_EQ(read.bytes, 1048576u);
}

// Guards short transfers: a read that gets less than a frame (the camera's
// end of a frame when reading began mid-frame) is still a frame of its own
// length, and whole frames follow.
TEST_F(UsbStreamingTest, ShortTransferIsAFrameOfItsLength)
{
    auto& camera = bus_->plug({.streaming = false});
    startConnected();
    camera.sendShortFrame(1000);
    waitForFrames(1);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    unsigned length = 0;
    ASSERT_EQ(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length), 0);
    ASSERT_EQ(length, 1000u);
    const auto tail = patternFrame(camera, 0);
    EXPECT_TRUE(std::equal(frame.begin(), frame.begin() + 1000, tail.end() - 1000));

    camera.startStreaming(1);
    waitForFrames(2);
    ASSERT_EQ(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length), 0);
    EXPECT_EQ(length, QDX_FRAME_BYTES);
}

// Guards the read limit: a read the camera leaves pending is cancelled when
// the limit passes, not before and not much later, and is tried again at
// once, so frames flow as soon as the camera sends again.
TEST_F(UsbStreamingTest, PendingReadIsAbandonedAtTheLimitAndRetried)
{
    setenv("QDX_BULK_READ_LIMIT_MS", "200", 1);
    auto& camera = bus_->plug({.streaming = false});
    startConnected();
    ASSERT_TRUE(waitUntil([&] { return camera.counters().discarded >= 3; }, 3000ms));
    EXPECT_EQ(frameIndex(), 0);

    const auto events = camera.bulkEvents();
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        if (events[i].kind != BulkEventKind::Submitted || events[i + 1].kind != BulkEventKind::Discarded)
            continue;
        const auto pending = events[i + 1].at - events[i].at;
        EXPECT_GE(pending, 195ms);
        EXPECT_LT(pending, 450ms);
        if (i + 2 < events.size()) {
            EXPECT_EQ(events[i + 2].kind, BulkEventKind::Submitted);
            EXPECT_LT(events[i + 2].at - events[i + 1].at, 100ms) << "the read was not retried at once";
        }
    }

    camera.startStreaming();
    waitForFrames(2);
}

// Guards the default limit of 3,000 ms: a stalled camera is given that long.
TEST_F(UsbStreamingTest, DefaultReadLimitIsThreeSeconds)
{
    auto& camera = bus_->plug({.streaming = false});
    startConnected();
    ASSERT_TRUE(waitUntil([&] { return camera.counters().discarded >= 1; }, 5000ms));
    const auto events = camera.bulkEvents();
    const auto submitted = eventsOf(events, BulkEventKind::Submitted);
    const auto discarded = eventsOf(events, BulkEventKind::Discarded);
    ASSERT_FALSE(submitted.empty());
    const auto pending = discarded.front().at - submitted.front().at;
    EXPECT_GE(pending, 2990ms);
    EXPECT_LT(pending, 3500ms);
}

// Guards stopping while a read is pending: the reader is told from another
// thread and cancels the transfer within a few milliseconds, instead of
// waiting for the camera or the limit.
TEST_F(UsbStreamingTest, StopCancelsAPendingReadAtOnce)
{
    auto& camera = bus_->plug({.streaming = false});
    startConnected();
    ASSERT_TRUE(waitUntil([&] { return camera.counters().submitted >= 1; }));
    const auto start = Clock::now();
    QDX_Term();
    const auto stopped = Clock::now() - start;
    const auto discarded = eventsOf(camera.bulkEvents(), BulkEventKind::Discarded);
    ASSERT_EQ(discarded.size(), 1u);
    const auto cancelled = discarded.front().at - start;
    std::printf("pending read cancelled %.1f ms after QDX_Term; QDX_Term took %.1f ms\n",
                std::chrono::duration<double, std::milli>(cancelled).count(),
                std::chrono::duration<double, std::milli>(stopped).count());
    EXPECT_LT(cancelled, 50ms);
    EXPECT_LT(stopped, 500ms);
}

}  // namespace
}  // namespace qdx::test::usb
