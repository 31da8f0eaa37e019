#include "DeviceMonitor.h"

#include <chrono>

#include "CameraReads.h"
#include "QDX_API.h"

namespace qdx::viewer {
namespace {

constexpr auto kPollPeriod = std::chrono::milliseconds(100);
// Without a camera the status watch wakes the monitor; this only bounds the
// sleep should a change go untold.
constexpr auto kIdleLimit = std::chrono::milliseconds(1000);

}  // namespace

void DeviceMonitor::start()
{
    thread_.start([this](std::stop_token stop) { run(stop); });
}

void DeviceMonitor::run(std::stop_token stop)
{
    // Nothing to report into until the window and both pages exist.
    if (!state_.ready.wait(stop))
        return;
    int previous = 0;
    MonitorMemory memory;  // monitor thread only
    memory.forget();
    bool more = true;
    while (more) {
        const uint64_t seen = watch_ ? watch_->changes() : 0;
        int status = previous;  // a failing read leaves the old status
        QDX_GetStatus(&status);
        const bool now = status & QDX_STATUS_CONNECTED, before = previous & QDX_STATUS_CONNECTED;
        PanelUpdate update;
        if (now && !before) {
            readCameraInfo(memory, update);
            readVersions(update);
            readAll(update);
            update.cameraOpen = true;
            client_.cameraArrived();
        } else if (now) {
            readCameraInfo(memory, update);
            readChanges(update);
            client_.cameraPresent();
        } else if (before) {
            clearCameraInfo(memory, update);
            update.cameraOpen = false;
            client_.cameraRemoved();
        }
        // Said once when it starts, changes or ends; cleared when a camera opens.
        reportDeviceProblem(memory, update, now);
        if (!update.empty())
            client_.panelsChanged(std::move(update));
        previous = status;
        more = now || !watch_ ? sleepFor(stop, kPollPeriod) : watch_->waitForChange(seen, stop, kIdleLimit);
    }
}

}  // namespace qdx::viewer
