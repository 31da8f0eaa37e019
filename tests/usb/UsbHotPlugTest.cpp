// Pulling the camera out while the library uses it, and plugging it back.
#include "usb/UsbCameraFixture.h"

#include <semaphore.h>
#include <time.h>

#include <array>
#include <cerrno>
#include <atomic>
#include <future>
#include <thread>

namespace qdx::test::usb {
namespace {

using namespace std::chrono_literals;

using UsbHotPlugTest = UsbCameraTest;

// Guards the unplug edge while frames flow: the failing read and the
// vanished device are noticed, the last frame stays readable, and the next
// plug-in counts frames from 0 again.
TEST_F(UsbHotPlugTest, UnplugWhileStreamingThenPlugInAgain)
{
    auto& camera = bus_->plug();
    startConnected();
    waitForFrames(3);

    bus_->unplug(camera);
    ASSERT_TRUE(waitUntil([] { return status() == 0; })) << "still connected to a vanished camera";
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    EXPECT_GE(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr), 0);

    auto& again = bus_->plug({.streaming = false});
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    EXPECT_EQ(frameIndex(), 0);
    EXPECT_EQ(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr), -1) << "no frame yet since the plug-in";
    again.startStreaming();
    waitForFrames(3);
}

// Guards a request that is in flight on another thread when the camera goes:
// it ends with the device (the URB fails with ENODEV) instead of being
// cancelled at its time-out, and the library neither hangs nor touches the
// released handle afterwards.
TEST_F(UsbHotPlugTest, UnplugWhileAnotherThreadWaitsInARequest)
{
    auto& camera = bus_->plug();
    startConnected();
    camera.holdControlRequests(true);
    std::array<uint8_t, 48> info{};
    auto request = std::async(std::launch::async, [&info] { return QDX_GetDevInfo(48, info.data()); });
    ASSERT_TRUE(waitUntil([&] { return camera.cameraRequests().size() == 1; }));

    bus_->unplug(camera);
    ASSERT_EQ(request.wait_for(kConnectTimeout), std::future_status::ready) << "the request hangs after the unplug";
    EXPECT_EQ(request.get(), 1);
    EXPECT_EQ(camera.cameraRequests().back().status, -ENODEV) << "the request waited for its time-out instead";
    EXPECT_TRUE(waitUntil([] { return status() == 0; }));

    bus_->plug();
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    EXPECT_EQ(QDX_GetDevInfo(48, info.data()), 0);
}

// Guards against crashes, hangs and use of a released device handle while a
// consumer takes frames and another thread sends requests through repeated
// unplugs; the sanitizer builds run it too.
TEST_F(UsbHotPlugTest, RepeatedUnplugUnderLoad)
{
    FakeUsbCamera* camera = &bus_->plug({.frameInterval = 5ms});
    startConnected();
    std::atomic<bool> run{true};
    std::atomic<int> framesTaken{0}, requestsOk{0};

    std::thread consumer([&] {
        sem_t* sem = dataSemaphore();
        std::vector<uint8_t> frame(QDX_FRAME_BYTES);
        while (run.load()) {
            if (!awaitFrameSignal(sem, std::chrono::milliseconds(50)))
                continue;
            if (QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr) == 0)
                ++framesTaken;
        }
    });
    std::thread requester([&] {
        std::array<uint8_t, 16> record{};
        while (run.load()) {
            if (QDX_GetDevStatus(16, record.data()) == 0)
                ++requestsOk;
            if (QDX_DeviceRead(0, QDX_REG_EXPOSURE_TIME, 2, record.data()) == 0)
                ++requestsOk;
        }
    });

    // Each connection serves the consumer and the requester before the next
    // unplug: counted, not timed.
    const auto bothServed = [&] {
        const int frames = framesTaken.load(), requests = requestsOk.load();
        return waitUntil([&] { return framesTaken.load() >= frames + 3 && requestsOk.load() >= requests + 3; });
    };
    for (int cycle = 0; cycle < 4; ++cycle) {
        EXPECT_TRUE(bothServed()) << "cycle " << cycle;
        bus_->unplug(*camera);
        EXPECT_TRUE(waitUntil([] { return status() == 0; })) << "cycle " << cycle;
        camera = &bus_->plug({.frameInterval = 5ms});
        EXPECT_TRUE(waitUntil([] { return status() == 1; })) << "cycle " << cycle;
    }
    EXPECT_TRUE(bothServed()) << "after the last plug-in";
    run = false;
    consumer.join();
    requester.join();
}

// Guards the library staying attached to a vanished camera because another
// camera of the same kind is still on the bus: it must notice that its own
// device left and open the remaining one.
TEST_F(UsbHotPlugTest, UnplugTheOpenedCameraWhileASecondRemains)
{
    auto& first = bus_->plug({.port = 1});
    auto& second = bus_->plug({.port = 2});
    startConnected();
    waitForFrames(3);
    ASSERT_EQ(second.claims(), 0);

    bus_->unplug(first);
    ASSERT_TRUE(waitUntil([&] { return second.counters().submitted > 0; })) << "still attached to the unplugged camera";
    EXPECT_TRUE(waitUntil([] { return status() == 1; }));
    waitForFrames(3);
    std::array<uint8_t, 48> info{};
    EXPECT_EQ(QDX_GetDevInfo(48, info.data()), 0);
    EXPECT_FALSE(second.cameraRequests().empty()) << "requests do not reach the remaining camera";
}

}  // namespace
}  // namespace qdx::test::usb
