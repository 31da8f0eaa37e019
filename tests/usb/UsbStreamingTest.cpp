// Frames over the bulk pipe: whole frames byte for byte, short transfers,
// reads that the camera leaves pending, and stopping while one is pending.
#include "usb/UsbCameraFixture.h"

#include <algorithm>
#include <array>
#include <future>

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

// Guards the per-frame record on the USB path: each transfer's check (whole,
// cut short, a wrong marker) and length as it came, an index that goes on one
// by one and across an unplug while the camera's counter starts again, the
// frame overwritten unseen counted, and arrival times in order.
TEST_F(UsbStreamingTest, FrameInfoFollowsEachTransferAcrossAReplug)
{
    FakeUsbCamera* camera = &bus_->plug({.streaming = false});
    startConnected();
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    std::vector<QDX_FRAME_INFO> taken;
    const auto take = [&] {
        QDX_FRAME_INFO info{};
        info.size = sizeof info;
        EXPECT_EQ(QDX_GetFrameEx(frame.data(), QDX_FRAME_BYTES, &info), QDX_OK);
        taken.push_back(info);
    };
    camera->startStreaming(1);
    waitForFrames(1);
    take();
    camera->sendShortFrame(1000);
    waitForFrames(2);
    take();
    camera->sendDamagedFrame();
    waitForFrames(3);
    take();

    bus_->unplug(*camera);
    ASSERT_TRUE(waitUntil([] { return status() == 0; }));
    camera = &bus_->plug({.streaming = false});
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    camera->startStreaming(2);
    waitForFrames(2);
    take();
    ASSERT_EQ(frameIndex(), 2) << "the camera's counter did not start again";

    const std::array<int, 4> checks{QDX_FRAME_WHOLE, QDX_FRAME_SHORT, QDX_FRAME_DAMAGED, QDX_FRAME_WHOLE};
    const std::array<unsigned, 4> lengths{QDX_FRAME_BYTES, 1000, QDX_FRAME_BYTES, QDX_FRAME_BYTES};
    const std::array<uint64_t, 4> skipped{0, 0, 0, 1};
    for (std::size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].check, checks[i]) << "frame " << i;
        EXPECT_EQ(taken[i].length, lengths[i]) << "frame " << i;
        EXPECT_EQ(taken[i].skipped, skipped[i]) << "frame " << i;
        if (i == 0)
            continue;
        EXPECT_EQ(taken[i].index - taken[i - 1].index, 1 + skipped[i]) << "frame " << i;
        EXPECT_GT(taken[i].monotonicNs, taken[i - 1].monotonicNs) << "frame " << i;
        EXPECT_GT(taken[i].wallNs, taken[i - 1].wallNs) << "frame " << i;
    }
}

// Guards the read limit: a read the camera leaves pending is cancelled when
// the limit passes and tried again at once (each cancelled read is followed
// by a new one), so frames flow as soon as the camera sends again.
TEST_F(UsbStreamingTest, PendingReadIsAbandonedAtTheLimitAndRetried)
{
    setenv("QDX_BULK_READ_LIMIT_MS", "200", 1);
    auto& camera = bus_->plug({.streaming = false});
    startConnected();
    ASSERT_TRUE(waitUntil([&] { return camera.counters().discarded >= 3; }));
    EXPECT_EQ(frameIndex(), 0);

    const auto events = camera.bulkEvents();
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        if (events[i].kind == BulkEventKind::Discarded) {
            EXPECT_EQ(events[i + 1].kind, BulkEventKind::Submitted) << "event " << i << ": the read was not retried";
        }
    }

    camera.startStreaming();
    waitForFrames(2);
}

// Guards the default limit against being short: a camera that sends a frame
// only every second still has every read answered, none given up.
TEST_F(UsbStreamingTest, SlowCameraIsNeverGivenUpOnByDefault)
{
    auto& camera = bus_->plug({.frameInterval = 1s});
    startConnected();
    waitForFrames(3, kConnectTimeout);
    EXPECT_EQ(camera.counters().discarded, 0u);
}

// Guards stopping while a read is pending: the reader is told from another
// thread and cancels the transfer, instead of waiting for the camera or the
// limit (here ten minutes, so waiting would hang until the safety net).
TEST_F(UsbStreamingTest, StopCancelsAPendingRead)
{
    setenv("QDX_BULK_READ_LIMIT_MS", "600000", 1);
    auto& camera = bus_->plug({.streaming = false});
    startConnected();
    ASSERT_TRUE(waitUntil([&] { return camera.counters().submitted >= 1; }));
    auto term = std::async(std::launch::async, [] { return QDX_Term(); });
    ASSERT_EQ(term.wait_for(kConnectTimeout), std::future_status::ready) << "QDX_Term waits for the pending read";
    EXPECT_EQ(eventsOf(camera.bulkEvents(), BulkEventKind::Discarded).size(), 1u);
}

}  // namespace
}  // namespace qdx::test::usb
