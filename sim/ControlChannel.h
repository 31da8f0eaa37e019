// The simulated camera steered from outside the process: a Unix stream
// socket at the path QDX_SIM_CONTROL names, taking one command a line
// (ControlCommand.h) from any number of clients at once and answering each
// with one line, "ok [...]" or "error <reason>". One thread of its own
// serves every client and never waits for one; a command touches the bus as
// the QDXSim_* function of the same meaning does, so the frame thread is held
// no longer than by that call.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <thread>

namespace qdx::sim {

class SimBus;

class ControlChannel {
public:
    // Creates the socket at path and starts serving. A path that exists and
    // is not a socket, or is a socket another process still serves, is left
    // alone; a socket left behind by a process that ended is replaced. Null,
    // with the reason said on stderr, when there is no channel.
    static std::unique_ptr<ControlChannel> open(const std::string& path, SimBus& bus);
    // From QDX_SIM_CONTROL; null when it is unset.
    static std::unique_ptr<ControlChannel> openFromEnvironment(SimBus& bus);

    // Stops the thread, closes every connection and removes the socket (if it
    // is still the one made here).
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

private:
    ControlChannel(std::string path, SimBus& bus, int listenFd, int wakeFd, dev_t device, ino_t inode);
    void serve();

    const std::string path_;
    SimBus& bus_;
    const int listenFd_;  // the socket; the serving thread accepts on it
    const int wakeFd_;    // eventfd: the destructor tells the thread to end
    const dev_t device_;  // the socket file made, so that only it is removed
    const ino_t inode_;
    std::thread thread_;  // started by open(), joined by the destructor
};

// One command line carried out on the bus: the reply line, without newline.
std::string runControlLine(std::string_view line, SimBus& bus);

}  // namespace qdx::sim
