// The monitor thread: once the main window and both pages are built it polls
// the library's status every 100 ms, reports the camera's arrival, presence
// and removal, and reads what the pages must show (Camera Info, versions,
// every setting on arrival, the settings the camera changed itself).
#pragma once

#include "HandshakeThread.h"
#include "PanelRefresh.h"
#include "ViewerState.h"

namespace qdx::viewer {

// Called on the monitor thread; must not wait for the GUI thread.
class MonitorClient {
public:
    virtual void cameraArrived() {}
    virtual void cameraPresent() {}
    virtual void cameraRemoved() {}
    // After an edge, when the pages have something to show; for the GUI
    // thread to apply (applyPanelUpdate), in the order delivered.
    virtual void panelsChanged(PanelUpdate&&) {}

protected:
    ~MonitorClient() = default;
};

class MonitorLoop {
public:
    // state and client must outlive the loop.
    MonitorLoop(ViewerState& state, MonitorClient& client);
    ~MonitorLoop();  // stops

    // Start and stop with the hand-shake of state.monitor. Owner's thread.
    void start();
    void stop();

private:
    void run();

    ViewerState& state_;
    MonitorClient& client_;
    HandshakeThread thread_;
};

}  // namespace qdx::viewer
