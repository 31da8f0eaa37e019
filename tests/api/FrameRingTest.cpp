// The frame ring between the reader thread and copies, with a link that hands
// out exactly the frames the test releases: what the reader may and may not
// wait for is then a matter of counting frames, not of timing.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "streaming/FrameStream.h"

namespace qdx {
namespace {

// Generous: only a hang ever reaches it.
constexpr std::chrono::seconds kSafetyNet{30};

class ScriptedLink final : public Link {
public:
    // Lets count more bulk reads complete, each a frame whose bytes all read
    // its number (1, 2, ...).
    void release(int count)
    {
        {
            std::lock_guard lock(mutex_);
            released_ += count;
        }
        changed_.notify_all();
    }

    OpenResult open() override { return OpenResult::Opened; }
    void close() override {}
    bool isOpen() const override { return true; }
    bool isOpenDevicePresent() override { return true; }
    bool controlTransfer(const SetupPacket&, uint8_t*) override { return false; }
    DeviceProblem problem() const override { return {}; }

    ReadResult bulkRead(uint8_t* buffer, std::size_t size, std::size_t& received, std::chrono::milliseconds,
                        const std::atomic<bool>& keepReading) override
    {
        received = 0;
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return delivered_ < released_ || !keepReading.load(); });
        if (delivered_ == released_)
            return ReadResult::Abandoned;
        ++delivered_;
        std::fill_n(buffer, size, static_cast<uint8_t>(delivered_));
        received = size;
        return ReadResult::Received;
    }

    void interruptRead() override
    {
        std::lock_guard lock(mutex_);  // orders the stop flag before the reader's next look
        changed_.notify_all();
    }

private:
    std::mutex mutex_;  // protects released_ and delivered_
    std::condition_variable changed_;
    int released_ = 0;
    int delivered_ = 0;
};

class FrameRingTest : public ::testing::Test {
protected:
    void SetUp() override { stream_.start(); }
    void TearDown() override { stream_.stop(); }

    // Waits until the reader has stored count frames; false only on a hang.
    bool framesStored(uint32_t count)
    {
        const auto deadline = std::chrono::steady_clock::now() + kSafetyNet;
        while (stream_.frameCounter() < count) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    }

    ScriptedLink link_;
    FrameStream stream_{link_, std::chrono::milliseconds(60000)};
};

// Guards against the reader waiting for a copy of another slot: a copy held
// the lock the reader takes for every slot, and a consumer polling
// QDX_GetFrame cost the camera frames. While the newest slot stays pinned, the
// reader must still fill the three others; the pinned frame stays as it was.
TEST_F(FrameRingTest, ReaderFillsTheOtherSlotsWhileACopyIsInProgress)
{
    link_.release(1);
    ASSERT_TRUE(framesStored(1));
    const FrameStream::Pin pin = stream_.pinNewest();
    ASSERT_EQ(pin.result, QDX_OK);

    link_.release(kSlotCount - 1);
    EXPECT_TRUE(framesStored(kSlotCount)) << "the reader waited for a copy of another slot";
    EXPECT_EQ(pin.data[0], 1);
    EXPECT_EQ(pin.data[kSlotSize - 1], 1) << "the pinned frame was written";
    stream_.unpin(pin);

    // With the pin gone the reader laps the ring into that slot again.
    link_.release(1);
    EXPECT_TRUE(framesStored(kSlotCount + 1));
    std::vector<uint8_t> frame(kSlotSize);
    uint32_t length = 0;
    EXPECT_EQ(stream_.copyNewestFrame(frame.data(), kSlotSize, &length), QDX_OK);
    EXPECT_EQ(frame.front(), kSlotCount + 1);
    EXPECT_EQ(length, kSlotSize);
}

// A bus with no camera on it.
class EmptyBusLink final : public Link {
public:
    OpenResult open() override { return OpenResult::NotFound; }
    void close() override {}
    bool isOpen() const override { return false; }
    bool isOpenDevicePresent() override { return true; }
    bool controlTransfer(const SetupPacket&, uint8_t*) override { return false; }
    DeviceProblem problem() const override { return {}; }
    ReadResult bulkRead(uint8_t*, std::size_t, std::size_t& received, std::chrono::milliseconds,
                        const std::atomic<bool>&) override
    {
        received = 0;
        return ReadResult::Failed;
    }
    void interruptRead() override {}
};

// Guards against the connection thread polling an empty bus 20 times a
// second: it sleeps until the link tells of a change and otherwise looks only
// at the safety poll. A loaded machine wakes a sleeping thread no more often.
TEST(ConnectionThreadTest, StaysAsleepOnAQuietBus)
{
    EmptyBusLink link;
    FrameStream stream(link, std::chrono::milliseconds(1000));
    stream.start();
    const uint64_t before = stream.connectionPasses();
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_LE(stream.connectionPasses() - before, 3u);
    stream.stop();
}

}  // namespace
}  // namespace qdx
