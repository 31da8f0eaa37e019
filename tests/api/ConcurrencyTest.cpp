// The library with several calling threads at once: stopping it and noticing
// an unplug must not wait on a stream of other callers. That the reader never
// waits for a copy of another slot is FrameRingTest's.
#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "api/SimCameraFixture.h"

namespace qdx::test {
namespace {

// Threads that call the library as fast as they can until stopped.
class Callers {
public:
    explicit Callers(int count)
    {
        for (int i = 0; i < count; ++i)
            threads_.emplace_back([this, i] {
                std::array<uint8_t, 16> status{};
                std::vector<uint8_t> frame(QDX_FRAME_BYTES);
                while (run_.load()) {
                    int ok = QDX_GetDevStatus(16, status.data()) == QDX_OK;
                    ok += QDX_Set_BlackLevel(i) == QDX_OK;
                    ok += QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, nullptr) >= 0;
                    calls_ += ok;
                }
            });
    }
    ~Callers() { stop(); }

    int successes() const { return calls_.load(); }
    void stop()
    {
        run_ = false;
        for (auto& t : threads_)
            if (t.joinable())
                t.join();
    }

private:
    std::atomic<bool> run_{true};
    std::atomic<int> calls_{0};
    std::vector<std::thread> threads_;
};

using ConcurrencyTest = SimCameraTest;

class TermUnderLoadTest : public SimCameraTest, public ::testing::WithParamInterface<int> {};

// Guards QDX_Term against starving behind callers: with a shared lock that
// lets new readers pass a waiting writer it never returned while three or
// more threads kept calling. The callers go on until Term has returned (or
// the safety net catches the hang); the calls after it fail without reaching
// the camera.
TEST_P(TermUnderLoadTest, TermReturnsWhileOtherThreadsKeepCalling)
{
    startConnected();
    Callers callers(GetParam());
    ASSERT_TRUE(waitUntil([&] { return callers.successes() > 200; }));
    auto term = std::async(std::launch::async, [] { return QDX_Term(); });
    const bool returned = term.wait_for(kConnectTimeout) == std::future_status::ready;
    callers.stop();  // lets a stuck Term finish, so that a failure does not hang the run
    EXPECT_TRUE(returned) << "QDX_Term never returned while " << GetParam() << " threads kept calling";
    term.wait();
    const int requests = QDXSim_GetRequestCount(-1);
    std::array<uint8_t, 16> status{};
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(QDX_GetDevStatus(16, status.data()), QDX_ERR_TRANSFER);
    EXPECT_EQ(QDXSim_GetRequestCount(-1), requests) << "a call after Term reached the camera";
}

INSTANTIATE_TEST_SUITE_P(Callers, TermUnderLoadTest, ::testing::Values(4, 8),
                         [](const auto& p) { return std::to_string(p.param) + "Threads"; });

// Guards the camera's close against the same starvation: with eight threads
// issuing requests an unplug went unnoticed for over ten seconds.
TEST_F(ConcurrencyTest, UnplugIsNoticedWhileEightThreadsRequest)
{
    startConnected();
    Callers callers(8);
    ASSERT_TRUE(waitUntil([&] { return callers.successes() > 200; }));
    QDXSim_SetPlugged(0, 0);
    EXPECT_TRUE(waitUntil([] { return status() == 0; }));
    QDXSim_SetPlugged(0, 1);
    EXPECT_TRUE(waitUntil([] { return status() == 1; }));
}

}  // namespace
}  // namespace qdx::test
