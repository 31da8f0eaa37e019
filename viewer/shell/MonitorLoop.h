// The monitor thread: once the main window and both pages are built it polls
// the library's status every 100 ms and reports the camera's arrival,
// presence and removal.
#pragma once

#include "HandshakeThread.h"
#include "ViewerState.h"

namespace qdx::viewer {

// Called on the monitor thread; must not wait for the GUI thread.
class MonitorClient {
public:
    virtual void cameraArrived() {}
    virtual void cameraPresent() {}
    virtual void cameraRemoved() {}

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
