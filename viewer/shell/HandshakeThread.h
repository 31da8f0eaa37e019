// A viewer thread started and stopped by the run/state hand-shake: the
// starter returns once the thread runs, the stopper once it has ended.
#pragma once

#include <functional>
#include <thread>

#include "ViewerState.h"

namespace qdx::viewer {

class HandshakeThread {
public:
    // name: the thread's name as the system shows it (at most 15 characters).
    HandshakeThread(ThreadControl& control, const char* name);
    ~HandshakeThread();  // stops
    HandshakeThread(const HandshakeThread&) = delete;
    HandshakeThread& operator=(const HandshakeThread&) = delete;

    // state := 0, run := 1, start body, poll every 1 ms until state is not 0.
    // body loops while control.run is 1. Returns false when the thread could
    // not be created. Does nothing while the thread runs. Owner's thread only.
    bool start(std::function<void()> body);

    // run := 0, poll every 1 ms while state is 1, then reap the thread. Returns
    // at once for a thread never started or already ended. Owner's thread only.
    void stop();

private:
    ThreadControl& control_;
    const char* name_;
    std::thread thread_;
};

}  // namespace qdx::viewer
