// The process-wide library: its start and stop, the link to the camera, the
// frame stream and the sticky change mask. The C exports are thin calls into it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include "RegisterShadow.h"
#include "lifecycle/ChangeMask.h"
#include "lifecycle/RequestObserver.h"
#include "link/Link.h"
#include "streaming/FrameStream.h"

namespace qdx {

class Library {
public:
    static Library& instance();

    // Called from one thread (the host's main thread), never concurrently.
    void init();
    void term();

    uint32_t version() const { return version_.load(std::memory_order_acquire); }

    // One control transfer; false when the library is stopped, no camera is
    // open or the transfer failed. Told to the request observer while the
    // library runs. Thread-safe.
    bool request(const SetupPacket& setup, uint8_t* data);

    // Reads a device status record and merges its change bits. Thread-safe.
    bool readStatus(uint8_t* record);

    // The camera the link found but could not open, while none is open;
    // reason None otherwise. Thread-safe.
    DeviceProblem deviceProblem();

    ChangeMask& changeMask() { return changeMask_; }
    RegisterShadow& shadow() { return shadow_; }
    RequestObserver& requestObserver() { return observer_; }
    StatusObserver& statusObserver() { return statusObserver_; }

    // Runs f(stream) while the library runs; returns fallback otherwise.
    template <typename F, typename R>
    R withStream(F&& f, R fallback)
    {
        if (!running_.load(std::memory_order_acquire))
            return fallback;
        std::shared_lock lock(runMutex_);
        return stream_ ? f(*stream_) : fallback;
    }

private:
    Library() = default;

    std::mutex lifecycleMutex_;     // serialises init() and term()
    // Set by init() once link_ and stream_ are in place, cleared by term()
    // before it waits for runMutex_: calls look at it first, so that new ones
    // fail at once and a stream of them cannot keep term() waiting (readers of
    // a shared mutex may pass a waiting writer).
    std::atomic<bool> running_{false};
    std::shared_mutex runMutex_;    // protects link_ and stream_: calls share it, init()/term() swap them
    std::unique_ptr<Link> link_;
    std::unique_ptr<FrameStream> stream_;
    std::atomic<uint32_t> version_{0};
    ChangeMask changeMask_;
    RegisterShadow shadow_;  // fresh at every QDX_Init, kept across camera reconnections
    RequestObserver observer_;  // kept across QDX_Init and QDX_Term
    StatusObserver statusObserver_;  // kept across QDX_Init and QDX_Term
};

}  // namespace qdx
