// One simulated camera as the USB bus sees it: the camera model, its plug
// state, the frame clock that streams pictures into a pending bulk read, and
// the faults that tests inject.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "CameraModel.h"
#include "FrameRenderer.h"
#include "protocol/Transfers.h"
#include "protocol/VendorRequests.h"

namespace qdx::sim {

inline constexpr std::chrono::microseconds kDefaultFrameInterval{33333};
inline constexpr std::chrono::microseconds kDefaultControlLatency{100};
inline constexpr std::chrono::microseconds kDefaultEepromWriteCycle{500};

enum class ControlOutcome { Ok, Stalled, NoDevice };

enum class FrameFault { None = 0, Short = 1, BadEndMarker = 2 };

// Whether a host may open the camera: as on a real bus, a refused camera is
// still present (plugged, enumerated) but cannot be opened.
enum class Access { Granted = 0, Denied = 1, Busy = 2 };

struct BulkStats {
    uint64_t delivered = 0;  // frames that completed a bulk read
    uint64_t dropped = 0;    // frames due while no read was pending
    uint64_t abandoned = 0;  // reads given up by the host (time limit or abort)
};

class SimCamera {
public:
    // onPlugChange runs after each change of plug state or access, on the
    // thread that made it, outside the camera's lock.
    SimCamera(int index, const std::string& stateFilePrefix, std::function<void()> onPlugChange = {});
    ~SimCamera();
    SimCamera(const SimCamera&) = delete;
    SimCamera& operator=(const SimCamera&) = delete;

    // Fresh camera: blank memories, power-on registers, no faults, 30 fps.
    void reset(bool plugged);

    // Each plug-in starts a new generation; a link holds on to the generation
    // it opened, so a camera unplugged and plugged in again is a new device.
    void setPlugged(bool plugged);
    bool plugged() const;
    uint64_t generation() const;
    bool isPresent(uint64_t generation) const;
    // Takes effect at the next open; an open camera stays open.
    void setAccess(Access access);
    Access access() const;

    // Link side. attach() starts the frame clock for an opened device.
    bool attach(uint64_t generation);
    void detach();
    ControlOutcome control(uint64_t generation, const SetupPacket& setup, uint8_t* data);
    ReadResult read(uint64_t generation, uint8_t* buffer, std::size_t size, std::size_t& received,
                    std::chrono::milliseconds limit, const std::atomic<bool>& keepReading);
    void interruptRead();

    // Faults and the test interface.
    void setFrameInterval(std::chrono::microseconds interval);
    void setStalled(bool stalled);
    void setControlLatency(std::chrono::microseconds latency);
    // The EEPROM write-cycle time this camera starts with after a reset.
    void setDefaultEepromWriteCycle(std::chrono::microseconds cycle);
    void injectFrames(FrameFault fault, int count);
    // The next count transfers with bRequest (-1 any) fail, after skip of them pass.
    void failRequests(int bRequest, int count, int skip = 0);
    uint64_t requestCount(int bRequest) const;
    BulkStats bulkStats() const;
    // What a look at the camera shows from outside: plugged in, opened by a
    // host (its frame clock runs), stalled, and the bulk figures.
    struct Outside {
        bool plugged = false;
        bool attached = false;
        bool stalled = false;
        BulkStats stats;
    };
    Outside outside() const;
    SetupPacket lastSetup() const;
    // The setup packets received since the reset, oldest first (the newest kRequestLogSize).
    std::vector<SetupPacket> requestLog() const;

    // Runs f(model) under the camera's lock.
    template <typename F>
    auto withModel(F&& f)
    {
        std::lock_guard lock(mutex_);
        return f(model_);
    }

private:
    enum class ReadState { Idle, Waiting, Done };

    void resetLocked(bool plugged);
    void streamLoop();
    void produceFrame(std::unique_lock<std::mutex>& lock);

    const int index_;
    const std::function<void()> onPlugChange_;

    mutable std::mutex mutex_;    // protects everything below but streamThread_
    std::condition_variable cv_;  // frame clock, pending read and plug changes
    CameraModel model_;
    bool plugged_ = false;
    uint64_t generation_ = 1;
    Access access_ = Access::Granted;

    std::chrono::microseconds frameInterval_;
    bool intervalChanged_ = false;
    bool stalled_ = false;
    std::chrono::microseconds controlLatency_{kDefaultControlLatency};
    std::chrono::microseconds eepromWriteCycle_{kDefaultEepromWriteCycle};
    FrameFault fault_ = FrameFault::None;
    int faultCount_ = 0;
    int failRequest_ = 0;  // bRequest to refuse, -1 any
    int failCount_ = 0;
    int failSkip_ = 0;
    std::array<uint64_t, 256> requestCounts_{};
    SetupPacket lastSetup_{};
    std::vector<SetupPacket> requestLog_;  // ring of the newest kRequestLogSize packets
    std::size_t requestLogNext_ = 0;
    uint64_t frameNumber_ = 0;
    BulkStats stats_;

    // The host's pending bulk read; the camera writes into its buffer.
    ReadState readState_ = ReadState::Idle;
    uint8_t* readBuffer_ = nullptr;
    std::size_t readSize_ = 0;
    std::size_t readReceived_ = 0;

    // Owned by the stream thread while it renders (outside mutex_).
    FrameRenderer renderer_;
    FrameSettings settings_;
    std::vector<uint8_t> frame_;

    bool streamRun_ = false;
    std::thread streamThread_;  // owned by attach()/detach(), which the link calls from one thread
};

inline constexpr std::size_t kRequestLogSize = 8192;

}  // namespace qdx::sim
