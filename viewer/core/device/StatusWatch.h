// The library's status changes as an event (QDX_SetStatusObserver): a thread
// that would poll QDX_GetStatus sleeps until the status or the device
// problem changes instead. Qt-free.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>

namespace qdx::viewer {

class StatusWatch {
public:
    // The process's status observer from construction to destruction; one
    // at a time. Owner's thread.
    StatusWatch();
    ~StatusWatch();
    StatusWatch(const StatusWatch&) = delete;
    StatusWatch& operator=(const StatusWatch&) = delete;

    // The changes told so far. Any thread.
    uint64_t changes() const;
    // Sleeps until changes() differs from seen (read before the status was),
    // stop is requested or limit has passed; false when stop was requested.
    // Any thread.
    bool waitForChange(uint64_t seen, std::stop_token stop, std::chrono::milliseconds limit);

private:
    static void told(int status, void* self);

    mutable std::mutex mutex_;  // protects changes_
    std::condition_variable_any changed_;
    uint64_t changes_ = 0;
};

}  // namespace qdx::viewer
