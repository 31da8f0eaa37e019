// Unplugging and plugging in cameras while the library streams: the cases
// every backend shares, one parameterised suite. Each test binary includes
// this once and instantiates it over the backends it runs: the simulated
// camera in the concurrency tests (which CI also runs under TSan), the USB
// path on the emulated bus in the USB tests (which need umockdev's preload
// library). A backend's own cases stay beside its instantiation.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <ostream>
#include <thread>
#include <vector>

#include "api/SimCameraFixture.h"

namespace qdx::test {

struct PlugOptions {
    bool streaming = true;  // false: frames flow only from startStreaming on
    bool fast = false;      // a frame every 5 ms instead of 30 per second
};

// What a camera saw of the library, where its backend can tell.
struct CameraSeen {
    bool claimed = false;           // the library opened it
    bool framesAsked = false;       // the library asked it for frames
    bool requestsAnswered = false;  // it answered camera requests
};

// A backend's cameras 0 and 1 (0 is the one the library opens first), and
// the library on top: setUp before the library starts, tearDown stops it.
class HotPlugBackend {
public:
    virtual ~HotPlugBackend() = default;
    virtual void setUp() = 0;
    virtual void tearDown() = 0;
    virtual void plug(int camera, PlugOptions options = {}) = 0;
    virtual void unplug(int camera) = 0;
    virtual void startStreaming(int camera) = 0;
    // nullopt: the backend cannot tell.
    virtual std::optional<CameraSeen> seen(int camera) const = 0;
};

struct HotPlugBackendKind {
    const char* name;
    std::unique_ptr<HotPlugBackend> (*make)();
};

inline void PrintTo(const HotPlugBackendKind& kind, std::ostream* out)
{
    *out << kind.name;
}

class HotPlugTest : public ::testing::TestWithParam<HotPlugBackendKind> {
protected:
    void SetUp() override
    {
        backend_ = GetParam().make();
        ASSERT_NO_FATAL_FAILURE(backend_->setUp());
    }
    void TearDown() override { backend_->tearDown(); }

    HotPlugBackend& backend() { return *backend_; }

private:
    std::unique_ptr<HotPlugBackend> backend_;
};

// Guards the connection edges: status follows the plug, the last frame stays
// readable while the camera is away, the next plug-in counts frames from 0
// again and the semaphore stays the same object.
TEST_P(HotPlugTest, UnplugWhileStreamingThenPlugInAgain)
{
    backend().plug(0);
    startConnected();
    waitForFrames(3);
    QDX_HANDLE before = nullptr, after = nullptr;
    QDX_GetDataSemaphoHandle(&before);

    backend().unplug(0);
    ASSERT_TRUE(waitUntil([] { return status() == 0; })) << "still connected to a vanished camera";
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    EXPECT_GE(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr), 0);

    backend().plug(0, {.streaming = false});
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    EXPECT_EQ(frameIndex(), 0);
    EXPECT_EQ(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr), -1) << "no frame yet since the plug-in";
    QDX_GetDataSemaphoHandle(&after);
    EXPECT_EQ(before, after);
    backend().startStreaming(0);
    waitForFrames(3);
}

// Guards against crashes, hangs and use of a released device while a
// consumer takes frames and another thread sends requests through repeated
// unplugs; the sanitizer builds run it too.
TEST_P(HotPlugTest, RepeatedUnplugUnderLoad)
{
    backend().plug(0, {.fast = true});
    startConnected();
    std::atomic<bool> run{true};
    std::atomic<int> framesTaken{0}, requestsOk{0};

    std::thread consumer([&] {
        sem_t* sem = dataSemaphore();
        std::vector<uint8_t> frame(QDX_FRAME_BYTES);
        while (run.load()) {
            if (!awaitFrameSignal(sem, std::chrono::milliseconds(50)))
                continue;
            if (QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr) == QDX_OK)
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
    // unplug: counted, not timed, so a loaded machine only takes longer.
    const auto bothServed = [&] {
        const int frames = framesTaken.load(), requests = requestsOk.load();
        return waitUntil([&] { return framesTaken.load() >= frames + 3 && requestsOk.load() >= requests + 3; });
    };
    for (int cycle = 0; cycle < 5; ++cycle) {
        EXPECT_TRUE(bothServed()) << "cycle " << cycle;
        backend().unplug(0);
        EXPECT_TRUE(waitUntil([] { return status() == 0; })) << "unplug not noticed (cycle " << cycle << ")";
        backend().plug(0, {.fast = true});
        EXPECT_TRUE(waitUntil([] { return status() == 1; })) << "cycle " << cycle;
    }
    EXPECT_TRUE(bothServed()) << "after the last plug-in";
    run = false;
    consumer.join();
    requester.join();
}

// Guards the library staying attached to a vanished camera because another
// camera of the same kind is still plugged in: it must notice that its own
// device left and open the remaining one.
TEST_P(HotPlugTest, UnplugTheOpenedCameraWhileASecondRemains)
{
    backend().plug(0);
    backend().plug(1);
    startConnected();
    waitForFrames(3);
    if (const auto second = backend().seen(1)) {
        EXPECT_FALSE(second->claimed) << "the second camera was opened too";
    }

    backend().unplug(0);
    // Where the camera cannot tell, the counter speaks: it restarts only
    // through a new connection.
    ASSERT_TRUE(waitUntil([&] {
        const auto second = backend().seen(1);
        return second ? second->framesAsked : frameIndex() < 3;
    })) << "still attached to the unplugged camera";
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    waitForFrames(3);
    std::array<uint8_t, 48> info{};
    EXPECT_EQ(QDX_GetDevInfo(48, info.data()), 0);
    if (const auto second = backend().seen(1)) {
        EXPECT_TRUE(second->requestsAnswered) << "requests do not reach the remaining camera";
    }
}

}  // namespace qdx::test
