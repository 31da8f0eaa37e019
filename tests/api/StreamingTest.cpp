// Frame streaming through the ring, the frame counter and the data semaphore.
#include <semaphore.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "api/SimCameraFixture.h"

namespace qdx::test {
namespace {

uint16_t wordAt(const std::vector<uint8_t>& frame, std::size_t index)
{
    return static_cast<uint16_t>(frame[2 * index] | (frame[2 * index + 1] << 8));
}

using StreamingTest = SimCameraTest;

// Stalls the camera and waits until the library has counted every frame the
// camera sent (deliveredBefore of them before the camera was last connected):
// from then on nothing arrives until the stall ends.
void stallAndSettle(unsigned long long deliveredBefore = 0)
{
    QDXSim_SetStalled(1);
    unsigned long long delivered = 0;
    ASSERT_TRUE(waitUntil([&] {
        QDXSim_GetBulkStats(&delivered, nullptr, nullptr);
        return static_cast<unsigned long long>(frameIndex()) + deliveredBefore == delivered;
    }));
}

// Guards against handing out stale or uninitialised ring contents.
TEST_F(StreamingTest, NoFrameBeforeTheFirstArrives)
{
    QDXSim_SetStalled(1);
    startConnected();
    std::vector<uint8_t> buffer(QDX_FRAME_BYTES, 0x42);
    unsigned int length = 1234;
    EXPECT_EQ(QDX_GetFrame(buffer.data(), QDX_FRAME_BYTES, &length), -1);
    EXPECT_EQ(length, 1234u);
    EXPECT_EQ(buffer[0], 0x42);
    EXPECT_EQ(frameIndex(), 0);
}

TEST_F(StreamingTest, FramesArriveWholeWithTheirMarkers)
{
    startConnected();
    waitForFrames(2);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES + 16);
    unsigned int length = 0;
    ASSERT_EQ(QDX_GetFrame(frame.data(), static_cast<unsigned>(frame.size()), &length), 0);
    ASSERT_EQ(length, QDX_FRAME_BYTES);
    EXPECT_EQ(wordAt(frame, 0), QDX_FRAME_START_MARKER0);
    EXPECT_EQ(wordAt(frame, 1), QDX_FRAME_START_MARKER1);
    EXPECT_EQ(wordAt(frame, QDX_FRAME_BYTES / 2 - 2), QDX_FRAME_END_MARKER0);
    EXPECT_EQ(wordAt(frame, QDX_FRAME_BYTES / 2 - 1), QDX_FRAME_END_MARKER1);
}

// Guards the new/same result: a consumer must be able to tell a repeated frame.
TEST_F(StreamingTest, SameFrameTwiceGivesZeroThenOneAndTheSameBytes)
{
    startConnected();
    waitForFrames(1);
    stallAndSettle();
    std::vector<uint8_t> first(QDX_FRAME_BYTES), second(QDX_FRAME_BYTES);
    unsigned int length = 0;
    ASSERT_EQ(QDX_GetFrame(first.data(), QDX_FRAME_BYTES, &length), 0);
    ASSERT_EQ(QDX_GetFrame(second.data(), QDX_FRAME_BYTES, nullptr), 1);
    EXPECT_EQ(first, second);
}

// Guards the copy length against the caller's buffer and the reported length.
TEST_F(StreamingTest, ShortBufferGetsThePrefixAndTheFullLength)
{
    startConnected();
    waitForFrames(1);
    std::vector<uint8_t> small(100, 0xEE);
    unsigned int length = 0;
    ASSERT_GE(QDX_GetFrame(small.data(), 64, &length), 0);
    EXPECT_EQ(length, QDX_FRAME_BYTES);
    EXPECT_EQ(small[0], 0x00);
    EXPECT_EQ(small[1], 0xFF);
    EXPECT_EQ(small[64], 0xEE) << "wrote past the given buffer length";
}

// Guards that a short transfer is still a frame: counted, with its own length.
TEST_F(StreamingTest, ShortFramesCount)
{
    startConnected();
    waitForFrames(1);
    stallAndSettle();
    const int before = frameIndex();
    // Every frame from now on comes short, so whichever is newest when the
    // test looks is one of them.
    QDXSim_InjectFrames(1, 1 << 20);
    QDXSim_SetStalled(0);
    waitForFrames(before + 1);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    unsigned int length = 0;
    ASSERT_EQ(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length), 0);
    EXPECT_EQ(length, QDX_FRAME_BYTES / 2);
}

// Guards the semaphore's maximum: 60 frames not waited for, then releases are lost.
TEST_F(StreamingTest, SemaphoreStopsCountingAtSixty)
{
    QDXSim_SetFrameInterval(1000);
    startConnected();
    QDX_HANDLE handle = nullptr;
    ASSERT_EQ(QDX_GetDataSemaphoHandle(&handle), 0);
    ASSERT_NE(handle, nullptr);
    waitForFrames(90);
    int value = 0;
    sem_getvalue(static_cast<sem_t*>(handle), &value);
    EXPECT_EQ(value, 60);
}

// Guards the 3-second limit (shortened here): a silent camera gives abandoned
// reads that are retried, and the stream resumes when the camera does.
TEST_F(StreamingTest, StalledCameraIsRetriedAndResumes)
{
    setenv("QDX_BULK_READ_LIMIT_MS", "100", 1);
    startConnected();
    unsetenv("QDX_BULK_READ_LIMIT_MS");
    waitForFrames(1);
    stallAndSettle();
    const int stalledAt = frameIndex();
    unsigned long long abandoned = 0;
    ASSERT_TRUE(waitUntil([&] {
        QDXSim_GetBulkStats(nullptr, nullptr, &abandoned);
        return abandoned >= 3;
    }));
    EXPECT_EQ(frameIndex(), stalledAt);
    EXPECT_EQ(status(), 1) << "a silent camera is still connected";
    QDXSim_SetStalled(0);
    waitForFrames(stalledAt + 3);
}

// Guards the hand-over of frames to a slow consumer: it always gets the newest
// frame, and a copy is never torn by frames landing meanwhile.
TEST_F(StreamingTest, FastCameraNeverTearsACopy)
{
    QDXSim_SetFrameInterval(0);
    startConnected();
    waitForFrames(1);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    constexpr std::size_t rowBytes = QDX_FRAME_WIDTH * 4;
    // Copies until 30 of them caught a new frame, however long that takes.
    int newFrames = 0;
    const auto safetyNet = std::chrono::steady_clock::now() + kConnectTimeout;
    while (newFrames < 30) {
        ASSERT_LT(std::chrono::steady_clock::now(), safetyNet) << "only " << newFrames << " new frames";
        unsigned int length = 0;
        const int result = QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length);
        ASSERT_GE(result, 0);
        newFrames += result == 0 ? 1 : 0;
        // The test picture repeats one row down the upper part of the frame;
        // a tear shows as rows of two pictures with the bar in different places.
        for (std::size_t row = 2; row < 300; ++row)
            ASSERT_EQ(std::memcmp(&frame[rowBytes], &frame[row * rowBytes], rowBytes), 0) << "torn at row " << row;
    }
}

QDX_FRAME_INFO takeFrame(std::vector<uint8_t>& frame, int expected = QDX_OK)
{
    QDX_FRAME_INFO info{};
    info.size = sizeof info;
    EXPECT_EQ(QDX_GetFrameEx(frame.data(), static_cast<unsigned>(frame.size()), &info), expected);
    return info;
}

int64_t nowNs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// Guards the per-frame record: an index that goes on across a reconnection
// while the counter starts again, arrival times in order and within the
// call's reach, every unseen frame counted, and the check of a cut frame.
TEST_F(StreamingTest, FrameInfoAccountsForEveryFrameAcrossAReconnection)
{
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    QDX_FRAME_INFO small{};
    small.size = 40;
    startConnected();
    EXPECT_EQ(QDX_GetFrameEx(frame.data(), QDX_FRAME_BYTES, &small), QDX_ERR_ARGUMENT);
    EXPECT_EQ(QDX_GetFrameEx(frame.data(), QDX_FRAME_BYTES, nullptr), QDX_ERR_ARGUMENT);
    waitForFrames(1);

    const int64_t start = nowNs(CLOCK_MONOTONIC);
    std::vector<QDX_FRAME_INFO> taken;
    int counterAfterReconnection = 0;
    unsigned long long deliveredBefore = 0;
    for (int round = 0; round < 2; ++round) {
        if (round == 1) {
            QDXSim_SetPlugged(0, 0);
            ASSERT_TRUE(waitUntil([] { return status() == 0; }));
            QDXSim_GetBulkStats(&deliveredBefore, nullptr, nullptr);
            QDXSim_SetPlugged(0, 1);
            ASSERT_TRUE(waitUntil([] { return status() == 1; }));
        }
        waitForFrames(3);
        stallAndSettle(deliveredBefore);
        counterAfterReconnection = frameIndex();
        const int64_t wallBefore = nowNs(CLOCK_REALTIME);
        taken.push_back(takeFrame(frame));
        const QDX_FRAME_INFO repeated = takeFrame(frame, QDX_FRAME_REPEATED);
        EXPECT_EQ(repeated.index, taken.back().index);
        EXPECT_EQ(repeated.skipped, 0u);
        EXPECT_EQ(taken.back().check, QDX_FRAME_WHOLE);
        EXPECT_EQ(taken.back().length, QDX_FRAME_BYTES);
        EXPECT_LE(taken.back().wallNs, wallBefore);
        EXPECT_GT(taken.back().wallNs, wallBefore - 60'000'000'000);
        QDXSim_SetStalled(0);
    }
    ASSERT_EQ(taken.size(), 2u);
    EXPECT_GT(taken[0].monotonicNs, start - 60'000'000'000);
    EXPECT_GT(taken[1].monotonicNs, taken[0].monotonicNs);
    EXPECT_EQ(taken[1].index - taken[0].index - 1, taken[1].skipped) << "every frame between is counted unseen";
    EXPECT_GE(taken[1].index - taken[0].index, static_cast<uint64_t>(counterAfterReconnection))
        << "the index goes on where the counter started again";

    stallAndSettle(deliveredBefore);
    QDXSim_InjectFrames(1, 1 << 20);
    const int before = frameIndex();
    QDXSim_SetStalled(0);
    waitForFrames(before + 1);
    const QDX_FRAME_INFO cut = takeFrame(frame);
    EXPECT_EQ(cut.check, QDX_FRAME_SHORT);
    EXPECT_EQ(cut.length, QDX_FRAME_BYTES / 2);
}

// Guards against use of freed buffers after QDX_Term.
TEST_F(StreamingTest, AfterTermNothingIsHandedOut)
{
    startConnected();
    waitForFrames(1);
    ASSERT_EQ(QDX_Term(), 0);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    EXPECT_EQ(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr), -1);
    QDX_HANDLE handle = &frame;
    ASSERT_EQ(QDX_GetDataSemaphoHandle(&handle), 0);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(status(), 0);
}

}  // namespace
}  // namespace qdx::test
