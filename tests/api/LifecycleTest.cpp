// Start and stop of the library and its threads.
#include "api/SimCameraFixture.h"

namespace qdx::test {
namespace {

using LifecycleTest = SimCameraTest;

// Guards against a second connection thread fighting over the camera.
TEST_F(LifecycleTest, InitTwiceStartsOneConnectionThread)
{
    startConnected();
    // A new thread carries its creator's name until it renames itself; once
    // frames flow, every thread has its own name.
    waitForFrames(1);
    QDX_HANDLE first = nullptr, second = nullptr;
    QDX_GetDataSemaphoHandle(&first);
    ASSERT_EQ(QDX_Init(), 0);
    QDX_GetDataSemaphoHandle(&second);
    EXPECT_EQ(threadsNamed("qdx-connection"), 1);
    EXPECT_EQ(threadsNamed("qdx-reader"), 1);
    EXPECT_EQ(first, second) << "a second QDX_Init must not replace the semaphore";
}

// Guards against threads left behind, and against Term on a stopped library.
TEST_F(LifecycleTest, TermStopsEveryThreadAndIsHarmlessTwice)
{
    startConnected();
    waitForFrames(1);
    ASSERT_EQ(QDX_Term(), 0);
    EXPECT_EQ(threadsNamed("qdx-"), 0);
    EXPECT_EQ(QDX_Term(), 0);
}

// Guards restarting: fresh buffers, frames flow again from index 0.
TEST_F(LifecycleTest, InitAfterTermStreamsAgain)
{
    startConnected();
    waitForFrames(3);
    ASSERT_EQ(QDX_Term(), 0);
    startConnected();
    EXPECT_LT(frameIndex(), 3);
    waitForFrames(2);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    unsigned int length = 0;
    EXPECT_EQ(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length), 0);
    EXPECT_EQ(length, QDX_FRAME_BYTES);
}

// Guards QDX_Init waiting for a camera: it returns at once and the camera is
// opened whenever it is plugged in.
TEST_F(LifecycleTest, InitWithoutCameraThenPlugIn)
{
    QDXSim_SetPlugged(0, 0);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(QDX_Init(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    QDX_HANDLE handle = nullptr;
    QDX_GetDataSemaphoHandle(&handle);
    EXPECT_NE(handle, nullptr) << "the semaphore exists from QDX_Init on, camera or not";
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_EQ(status(), 0);
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    waitForFrames(1);
}

}  // namespace
}  // namespace qdx::test
