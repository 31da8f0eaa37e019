// Unplugging and plugging in cameras while the library streams.
#include <semaphore.h>
#include <time.h>

#include <atomic>
#include <thread>
#include <vector>

#include "api/SimCameraFixture.h"

namespace qdx::test {
namespace {

using HotPlugTest = SimCameraTest;

// Guards the connection edges: status follows the plug, the counter starts
// again from 0 and the semaphore stays the same object.
TEST_F(HotPlugTest, ReplugRestartsTheCounterAndKeepsTheSemaphore)
{
    startConnected();
    waitForFrames(5);
    QDX_HANDLE before = nullptr, after = nullptr;
    QDX_GetDataSemaphoHandle(&before);

    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(waitUntil([] { return status() == 0; }));
    // The last frame stays available while the camera is away.
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    EXPECT_GE(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr), 0);

    QDXSim_SetStalled(1);
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    EXPECT_EQ(frameIndex(), 0);
    EXPECT_EQ(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr), -1) << "no frame yet since the reconnection";
    QDX_GetDataSemaphoHandle(&after);
    EXPECT_EQ(before, after);
    QDXSim_SetStalled(0);
    waitForFrames(2);
}

// Guards against crashes, hangs and use of a released device while a
// consumer streams and another thread sends requests through repeated
// unplugs. Run it under TSan and ASan.
TEST_F(HotPlugTest, UnplugWhileStreamingAndRequesting)
{
    QDXSim_SetFrameInterval(5000);
    startConnected();
    std::atomic<bool> run{true};
    std::atomic<int> framesTaken{0}, requestsOk{0};

    std::thread consumer([&] {
        sem_t* sem = dataSemaphore();
        std::vector<uint8_t> frame(QDX_FRAME_BYTES);
        int last = -1;
        while (run.load()) {
            if (!awaitFrameSignal(sem, std::chrono::milliseconds(50)))
                continue;
            const int index = frameIndex();
            if (index == last)
                continue;
            last = index;
            if (QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr) >= 0)
                ++framesTaken;
        }
    });
    std::thread requester([&] {
        std::array<uint8_t, 16> status{};
        std::array<uint8_t, 2> reg{};
        while (run.load()) {
            if (QDX_GetDevStatus(16, status.data()) == 0)
                ++requestsOk;
            if (QDX_DeviceRead(0, QDX_REG_FPGA_VER, 2, reg.data()) == 0)
                ++requestsOk;
        }
    });

    // Each connection serves the consumer and the requester before the next
    // unplug: counted, not timed, so a loaded machine only takes longer.
    const auto bothServed = [&] {
        const int frames = framesTaken.load(), requests = requestsOk.load();
        return waitUntil([&] { return framesTaken.load() >= frames + 3 && requestsOk.load() >= requests + 3; });
    };
    for (int cycle = 0; cycle < 5; ++cycle) {
        EXPECT_TRUE(bothServed()) << "cycle " << cycle;
        QDXSim_SetPlugged(0, 0);
        EXPECT_TRUE(waitUntil([] { return status() == 0; })) << "unplug not noticed (cycle " << cycle << ")";
        QDXSim_SetPlugged(0, 1);
        EXPECT_TRUE(waitUntil([] { return status() == 1; })) << "cycle " << cycle;
    }
    EXPECT_TRUE(bothServed()) << "after the last plug-in";
    run = false;
    consumer.join();
    requester.join();
}

// Guards the library staying attached to a vanished camera while a second
// camera of the same kind is still plugged in: it must notice that its own
// device left and open the remaining one.
TEST_F(HotPlugTest, UnplugOpenedCameraWhileSecondRemains)
{
    QDXSim_SetPlugged(1, 1);
    startConnected();
    waitForFrames(3);
    QDXSim_SetPlugged(0, 0);
    // The counter restarts only through a new connection.
    ASSERT_TRUE(waitUntil([] { return frameIndex() < 3; })) << "still attached to the unplugged camera";
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    waitForFrames(3);
    std::array<uint8_t, 48> info{};
    EXPECT_EQ(QDX_GetDevInfo(48, info.data()), 0) << "requests reach the second camera";
}

}  // namespace
}  // namespace qdx::test
