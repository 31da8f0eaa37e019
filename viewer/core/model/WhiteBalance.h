// One-push white balance: the camera is told to start and then asked, at the
// caller's pace, whether it has finished; its new red and blue gains are read
// once it has. The caller polls from a timer, so no thread waits and the
// control pipe carries one request per poll. Qt-free; one thread at a time.
#pragma once

#include <chrono>
#include <optional>

namespace qdx::viewer {

class OnePushWhiteBalance {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto kLimit = std::chrono::milliseconds(5000);

    enum class Progress { Running, Finished, Failed, TimedOut };

    // Starts the camera's white balance; false when the camera refused.
    bool start(Clock::time_point now);
    bool running() const { return running_; }

    // One status read. Finished: the gains that could be read are set. A
    // failed read or the time limit ends the run without gains.
    Progress poll(Clock::time_point now);
    std::optional<int> redGain() const { return red_; }
    std::optional<int> blueGain() const { return blue_; }

private:
    bool running_ = false;
    Clock::time_point started_{};
    std::optional<int> red_, blue_;
};

}  // namespace qdx::viewer
