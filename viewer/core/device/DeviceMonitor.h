// The monitor thread: once the main window and both pages are built it reads
// the library's status, reports the camera's arrival, presence and removal,
// and reads what the pages must show (Camera Info, versions, every setting on
// arrival, the settings the camera changed itself). While a camera is open it
// looks every 100 ms; without one it sleeps on the status watch, if given.
#pragma once

#include "StatusWatch.h"
#include "core/model/PanelUpdate.h"
#include "core/model/ViewerState.h"
#include "core/threads/Worker.h"

namespace qdx::viewer {

// Called on the monitor thread; must not wait for the GUI thread.
class MonitorClient {
public:
    virtual void cameraArrived() {}
    virtual void cameraPresent() {}
    virtual void cameraRemoved() {}
    // After an edge, when the pages have something to show; for the GUI
    // thread to apply (PanelModel::apply), in the order delivered.
    virtual void panelsChanged(PanelUpdate&&) {}

protected:
    ~MonitorClient() = default;
};

class DeviceMonitor {
public:
    // state, client and watch must outlive the monitor.
    DeviceMonitor(ViewerState& state, MonitorClient& client, StatusWatch* watch = nullptr)
        : state_(state), client_(client), watch_(watch)
    {
    }

    // Start (returns once the thread runs) and stop (returns once it ended).
    // Owner's thread.
    void start();
    void stop() { thread_.stop(); }
    Worker::State state() const { return thread_.state(); }

private:
    void run(std::stop_token stop);

    ViewerState& state_;
    MonitorClient& client_;
    StatusWatch* watch_;
    Worker thread_{"qdx-monitor"};
};

}  // namespace qdx::viewer
