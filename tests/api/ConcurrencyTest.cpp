// The library with several calling threads at once: stopping it, noticing an
// unplug and streaming must not wait on a stream of other callers.
#include <array>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "api/SimCameraFixture.h"

namespace qdx::test {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

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
// more threads kept calling. Term must return about one transfer time after
// it starts, and the calls after it must fail at once.
TEST_P(TermUnderLoadTest, TermReturnsWhileOtherThreadsKeepCalling)
{
    startConnected();
    Callers callers(GetParam());
    ASSERT_TRUE(waitUntil([&] { return callers.successes() > 200; }));
    const auto start = Clock::now();
    auto term = std::async(std::launch::async, [] { return QDX_Term(); });
    const bool returned = term.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    const auto took = Clock::now() - start;
    callers.stop();  // lets a stuck Term finish, so that a failure does not hang the run
    EXPECT_TRUE(returned) << "QDX_Term still waits after 5 s with " << GetParam() << " callers";
    term.wait();
    std::array<uint8_t, 16> status{};
    const auto afterwards = Clock::now();
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(QDX_GetDevStatus(16, status.data()), QDX_ERR_TRANSFER);
    EXPECT_LT(Clock::now() - afterwards, milliseconds(500)) << "calls after Term do not fail at once";
    EXPECT_LT(took, std::chrono::seconds(2));
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
    EXPECT_TRUE(waitUntil([] { return status() == 0; }, std::chrono::seconds(2)));
    QDXSim_SetPlugged(0, 1);
    EXPECT_TRUE(waitUntil([] { return status() == 1; }, std::chrono::seconds(2)));
}

// Guards the frame copy against holding up the reader: a thread copying
// frames in a tight loop cost up to a fifth of the camera's frames when the
// copy held the lock the reader takes for every slot. The camera counts the
// pictures it had to drop because no read was pending.
TEST_F(ConcurrencyTest, PollingGetFrameLosesNoFrames)
{
#if defined(__SANITIZE_THREAD__)
    QDXSim_SetFrameInterval(20000);  // instrumented copies are slow: 50 frames/s
#else
    QDXSim_SetFrameInterval(5000);  // 200 frames/s
#endif
    startConnected();
    waitForFrames(5);
    std::atomic<bool> run{true};
    std::atomic<int> whole{0}, damaged{0};
    std::thread poller([&] {
        std::vector<uint8_t> frame(QDX_FRAME_BYTES);
        unsigned length = 0;
        while (run.load()) {
            if (QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length) != QDX_OK)
                continue;
            const bool ok = length == QDX_FRAME_BYTES && frame[0] == 0x00 && frame[1] == 0xFF &&
                            frame[QDX_FRAME_BYTES - 2] == (QDX_FRAME_END_MARKER1 & 0xFF);
            ++(ok ? whole : damaged);
        }
    });
    unsigned long long delivered0 = 0, dropped0 = 0, abandoned = 0, delivered1 = 0, dropped1 = 0;
    QDXSim_GetBulkStats(&delivered0, &dropped0, &abandoned);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    QDXSim_GetBulkStats(&delivered1, &dropped1, &abandoned);
    run = false;
    poller.join();
    const auto delivered = delivered1 - delivered0, dropped = dropped1 - dropped0;
    EXPECT_GT(delivered, 100u);
    EXPECT_LE(dropped * 50, delivered + dropped) << dropped << " of " << delivered + dropped << " frames lost";
    EXPECT_GT(whole.load(), 50);
    EXPECT_EQ(damaged.load(), 0);
}

}  // namespace
}  // namespace qdx::test
