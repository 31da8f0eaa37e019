// The library's only contact with the camera: one abstract link with a libusb
// backend (UsbLink) and the simulated camera (SimLink) behind it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "protocol/Transfers.h"
#include "protocol/VendorRequests.h"

namespace qdx {

enum class OpenResult {
    Opened = 0,
    SetupFailed = 1,  // found, but claiming the interface or finding the bulk-IN endpoint failed
    NotFound = 2,     // no camera, or it could not be opened
};

// Why a camera that is present could not be opened.
enum class AccessProblem { None = 0, PermissionDenied = 1, Busy = 2, Other = 3 };

struct DeviceProblem {
    AccessProblem reason = AccessProblem::None;
    int bus = 0;
    int address = 0;
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string node;  // "/dev/bus/usb/BBB/DDD"; empty for the simulated camera

    bool operator==(const DeviceProblem&) const = default;
};

// The problem a link reports: a device's refusal counts once it repeats at
// the next open attempt, so that a moment's refusal (udev granting access just
// after the node appears) is never shown. attempt() on the connection thread,
// current() on any.
class ProblemReport {
public:
    // The outcome of one open attempt: the first camera that could not be
    // opened, reason None when one opened or none was there.
    void attempt(const DeviceProblem& seen)
    {
        std::lock_guard lock(mutex_);
        if (seen.reason == AccessProblem::None)
            confirmed_ = {};
        else if (seen == last_)
            confirmed_ = seen;
        last_ = seen;
    }

    DeviceProblem current() const
    {
        std::lock_guard lock(mutex_);
        return confirmed_;
    }

private:
    mutable std::mutex mutex_;  // protects last_ and confirmed_
    DeviceProblem last_;
    DeviceProblem confirmed_;
};

// A change on the bus, told to the connection thread: notify() from any
// thread; wait() returns at once when one came since the last wait().
class BusSignal {
public:
    void notify()
    {
        {
            std::lock_guard lock(mutex_);
            pending_ = true;
        }
        changed_.notify_all();
    }

    // True when woken by notify(), false after limit.
    bool wait(std::chrono::milliseconds limit)
    {
        std::unique_lock lock(mutex_);
        const bool woken = changed_.wait_for(lock, limit, [this] { return pending_; });
        pending_ = false;
        return woken;
    }

    // Whether one came since the last wait() or take(), without waiting.
    bool take()
    {
        std::lock_guard lock(mutex_);
        return std::exchange(pending_, false);
    }

private:
    std::mutex mutex_;  // protects pending_
    std::condition_variable changed_;
    bool pending_ = false;
};

// Threads: open(), close(), isOpenDevicePresent(), waitForBusChange() and
// retryOpenSoon() are called by the connection thread only; bulkRead() by the reader thread only;
// controlTransfer() and interruptRead() from any thread at any time.
// close() waits until no other thread uses the device handle, so a request
// that starts after close() fails instead of touching a released handle.
class Link {
public:
    virtual ~Link() = default;

    // Opens the first camera found that can be opened and prepares its
    // bulk-IN pipe.
    virtual OpenResult open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // False once the opened device has left the bus or a transfer reported
    // that it is gone; true while it is still there. Also true while closed.
    virtual bool isOpenDevicePresent() = 0;

    // One vendor control transfer, synchronous. The data stage is exactly
    // setup.wLength bytes of data; a transfer that moves fewer bytes fails.
    virtual bool controlTransfer(const SetupPacket& setup, uint8_t* data) = 0;

    // One bulk-IN transfer of at most size bytes. Gives up (Abandoned) after
    // limit, or soon after keepReading turns false and interruptRead() is called.
    virtual ReadResult bulkRead(uint8_t* buffer, std::size_t size, std::size_t& received,
                                std::chrono::milliseconds limit, const std::atomic<bool>& keepReading) = 0;

    // Wakes a pending bulkRead() so that it notices keepReading at once.
    virtual void interruptRead() = 0;

    // A camera that open() found but could not open at two attempts in a
    // row; reason None once one opens or none is there. Any thread.
    virtual DeviceProblem problem() const = 0;

    // Sleeps until the bus may have changed since the last call (a device
    // plugged in or out, the opened one found gone), until wakeBusWait(), or
    // for at most limit. True when something woke it, false at the limit.
    virtual bool waitForBusChange(std::chrono::milliseconds limit) { return busChanged_.wait(limit); }
    // Ends the current waitForBusChange() early, or else the next one. Any thread.
    virtual void wakeBusWait() { busChanged_.notify(); }
    // True when the last open() found a device it could not open or identify
    // yet: udev may grant access a moment after the node appears, with no
    // event on the bus, so the connection thread soon tries again.
    virtual bool retryOpenSoon() const { return false; }

protected:
    BusSignal busChanged_;
};

// Control-transfer time-out of the real camera.
inline constexpr std::chrono::milliseconds kControlTimeout{2000};
// A bulk read that has not completed after this long is abandoned and retried.
inline constexpr std::chrono::milliseconds kBulkReadLimit{3000};

std::unique_ptr<Link> makeUsbLink();
std::unique_ptr<Link> makeSimLink();

}  // namespace qdx
