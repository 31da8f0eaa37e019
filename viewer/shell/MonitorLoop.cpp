#include "MonitorLoop.h"

#include <chrono>
#include <thread>

#include "QDX_API.h"

namespace qdx::viewer {
namespace {

constexpr auto kPollPeriod = std::chrono::milliseconds(100);
constexpr auto kSleepSlice = std::chrono::milliseconds(10);

}  // namespace

MonitorLoop::MonitorLoop(ViewerState& state, MonitorClient& client)
    : state_(state), client_(client), thread_(state.monitor, "qdx-monitor")
{
}

MonitorLoop::~MonitorLoop()
{
    stop();
}

void MonitorLoop::start()
{
    thread_.start([this] { run(); });
}

void MonitorLoop::stop()
{
    thread_.stop();
}

void MonitorLoop::run()
{
    const auto running = [this] { return state_.monitor.run.load(std::memory_order_acquire) == 1; };
    int previous = 0;
    MonitorMemory memory;  // monitor thread only
    memory.forget();
    while (running()) {
        // Nothing to report into until the window and both pages exist.
        if (state_.mainWindowReady.load(std::memory_order_acquire) == 0 ||
            state_.picturePageReady.load(std::memory_order_acquire) == 0 ||
            state_.calibrationPageReady.load(std::memory_order_acquire) == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        int status = previous;  // a failing read leaves the old status
        QDX_GetStatus(&status);
        const bool now = status & 1, before = previous & 1;
        PanelUpdate update;
        if (now && !before) {
            readCameraInfo(memory, update);
            readVersions(update);
            readAll(update);
            client_.cameraArrived();
        } else if (now) {
            readCameraInfo(memory, update);
            readChanges(update);
            client_.cameraPresent();
        } else if (before) {
            clearCameraInfo(memory, update);
            client_.cameraRemoved();
        }
        if (!update.empty())
            client_.panelsChanged(std::move(update));
        previous = status;
        // Sliced, so that shutdown does not wait out a whole period.
        for (auto slept = std::chrono::milliseconds(0); slept < kPollPeriod && running(); slept += kSleepSlice)
            std::this_thread::sleep_for(kSleepSlice);
    }
}

}  // namespace qdx::viewer
