// The library's only contact with the camera: one abstract link with a libusb
// backend (UsbLink) and the simulated camera (SimLink) behind it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "protocol/Transfers.h"
#include "protocol/VendorRequests.h"

namespace qdx {

enum class OpenResult {
    Opened = 0,
    SetupFailed = 1,  // found, but claiming the interface or finding the bulk-IN endpoint failed
    NotFound = 2,     // no camera, or it could not be opened
};

// Threads: open(), close() and isOpenDevicePresent() are called by the
// connection thread only; bulkRead() by the reader thread only;
// controlTransfer() and interruptRead() from any thread at any time.
// close() waits until no other thread uses the device handle, so a request
// that starts after close() fails instead of touching a released handle.
class Link {
public:
    virtual ~Link() = default;

    // Opens the first camera found and prepares its bulk-IN pipe.
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
};

// Control-transfer time-out of the real camera.
inline constexpr std::chrono::milliseconds kControlTimeout{2000};
// A bulk read that has not completed after this long is abandoned and retried.
inline constexpr std::chrono::milliseconds kBulkReadLimit{3000};

std::unique_ptr<Link> makeUsbLink();
std::unique_ptr<Link> makeSimLink();

}  // namespace qdx
