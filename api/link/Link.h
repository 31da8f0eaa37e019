// The library's only contact with the camera: one abstract link with a libusb
// backend (UsbLink) and the simulated camera (SimLink) behind it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

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

// Threads: open(), close() and isOpenDevicePresent() are called by the
// connection thread only; bulkRead() by the reader thread only;
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
};

// Control-transfer time-out of the real camera.
inline constexpr std::chrono::milliseconds kControlTimeout{2000};
// A bulk read that has not completed after this long is abandoned and retried.
inline constexpr std::chrono::milliseconds kBulkReadLimit{3000};

std::unique_ptr<Link> makeUsbLink();
std::unique_ptr<Link> makeSimLink();

}  // namespace qdx
