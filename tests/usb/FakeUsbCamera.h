// A camera on the emulated USB bus, seen from below usbfs: it answers the
// ioctls that libusb issues on the camera's device node the way the kernel
// would for the real device. Control requests 0x10..0x19 go to the same
// CameraModel as the simulated camera; bulk reads on the frame pipe get whole
// test-pattern frames at the camera's frame rate.
//
// Threads: handleIoctl() and clientConnected() run on umockdev's worker
// thread; everything else is called by the test's threads. One mutex guards
// all state.
#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "CameraModel.h"
#include "protocol/FrameFormat.h"
#include "usb/UsbDescriptors.h"

using UMockdevIoctlClient = struct _UMockdevIoctlClient;
using UMockdevIoctlData = struct _UMockdevIoctlData;

namespace qdx::test::usb {

using Clock = std::chrono::steady_clock;

inline constexpr uint16_t kCameraVendor = 0xCAFE;
inline constexpr uint16_t kCameraProduct = 0x4242;

// How a device looks on the bus.
struct DeviceDescription {
    uint16_t vendor = kCameraVendor;
    uint16_t product = kCameraProduct;
    int port = 1;                       // root-hub port; the library orders cameras by it
    uint8_t interfaceClass = 0xFF;      // vendor-specific
    bool isochronousEndpoint = false;   // interface 0 also carries an isochronous IN endpoint
    std::string msOs20Guid;             // not empty: BOS and MS OS 2.0 descriptor set naming it
    std::string msOs10Guid;             // not empty: OS string and extended properties naming it
    bool streaming = true;              // frames flow from the plug-in on
    std::chrono::microseconds frameInterval{33333};  // 0: a frame whenever a read is pending
    std::size_t frameBytes = kFrameBytes;  // less: every transfer is the end of a frame
    bool heldElsewhere = false;            // another program holds interface 0: claiming it fails with EBUSY
    // The emulated node always polls ready, so libusb reaps in a loop while a
    // transfer is pending; a reap that finds nothing waits up to this long for
    // work before it answers EAGAIN, which keeps that loop from eating a core.
    std::chrono::microseconds idleReapWait{1000};
};

// One control transfer as the device saw it.
struct ControlExchange {
    std::array<uint8_t, 8> setup{};
    std::vector<uint8_t> dataOut;  // host-to-device data stage
    std::vector<uint8_t> dataIn;   // bytes the device returned
    int status = 0;                // URB status it completed with: 0, -EPIPE, -ENOENT, -ENODEV
    bool answered = false;

    uint8_t request() const { return setup[1]; }
    bool isCameraRequest() const { return (setup[0] & 0x60) == 0x40 && setup[1] >= 0x10 && setup[1] <= 0x19; }
};

enum class BulkEventKind { Submitted, Discarded, Completed, Failed };

struct BulkEvent {
    BulkEventKind kind;
    Clock::time_point at;
    std::size_t bytes = 0;  // buffer length when submitted, bytes delivered when completed
};

struct StreamCounters {
    uint64_t frames = 0;       // whole frames delivered
    uint64_t shortFrames = 0;  // transfers shorter than a frame
    uint64_t bytes = 0;
    uint64_t lostStarts = 0;   // frames that began while no read was pending, after the first frame
    uint64_t submitted = 0;    // bulk reads submitted
    uint64_t discarded = 0;    // bulk reads the host cancelled
};

enum class ControlFault { Stall, Short };

class FakeUsbCamera {
public:
    FakeUsbCamera(const DeviceDescription& description, int address);
    ~FakeUsbCamera();
    FakeUsbCamera(const FakeUsbCamera&) = delete;
    FakeUsbCamera& operator=(const FakeUsbCamera&) = delete;

    const DeviceDescription& description() const { return description_; }
    std::string node() const;     // /dev/bus/usb/001/NNN
    std::string sysPath() const;  // /sys/devices/usb1/1-P
    // The device's udev record for umockdev_testbed_add_from_string().
    std::string udevRecord() const;

    // --- Test side ---
    // Frames start every frameInterval from now on; count < 0: no end.
    void startStreaming(int count = -1);
    // Pending and later bulk reads stay pending.
    void stopStreaming();
    // The next bulk read gets only the last `bytes` bytes of a frame.
    void sendShortFrame(std::size_t bytes);
    // The next bulk read gets a whole frame with a wrong end marker.
    void sendDamagedFrame();
    // Held control requests stay unanswered until released or unplugged.
    void holdControlRequests(bool hold);
    // The next camera request (0x10..0x19) stalls or returns one byte short.
    void injectControlFault(ControlFault fault);
    // Whether another program holds interface 0 (claims fail with EBUSY).
    void holdElsewhere(bool held);

    std::vector<ControlExchange> controlLog() const;
    std::vector<ControlExchange> cameraRequests() const;
    std::vector<BulkEvent> bulkEvents() const;
    StreamCounters counters() const;
    int address() const { return address_; }
    int opens() const;   // device node opened (libusb_open)
    int claims() const;  // interface 0 claimed
    int releases() const;
    sim::FrameSettings frameSettings() const;
    std::vector<std::string> unexpectedIoctls() const;

    // --- Bus side ---
    // The device left the bus: open URBs complete with -ENODEV, later calls fail with ENODEV.
    void disconnect();
    void clientConnected();
    // Answers one ioctl on the device node; umockdev's worker thread.
    void handleIoctl(UMockdevIoctlClient* client);

private:
    struct Urb {
        UMockdevIoctlData* data = nullptr;      // the client's usbdevfs_urb, resolved; one reference
        UMockdevIoctlClient* client = nullptr;  // only its reaps return the URB; one reference
        unsigned long clientAddress = 0;        // as DISCARDURB names it
        bool control = false;
        Clock::time_point submitted;
        int bufferLength = 0;
        std::size_t logIndex = 0;  // control: its entry in log_
        bool done = false;
        uint64_t doneOrder = 0;
        int status = 0;
        int shortBy = 0;               // control OUT: bytes the device left untaken
        std::vector<uint8_t> payload;  // control IN: data stage; bulk: frame bytes
    };

    using Lock = std::unique_lock<std::mutex>;

    void submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void reap(Lock& lock, UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void claim(UMockdevIoctlClient* client, unsigned interface);
    void release(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void unexpected(UMockdevIoctlClient* client, const std::string& what);

    void advance(Clock::time_point now);
    SetupPacket setupOf(const Urb& urb) const;
    void answerControl(Urb& urb, Clock::time_point now);
    bool answerStandard(const SetupPacket& setup, std::vector<uint8_t>& data);
    bool answerVendor(const SetupPacket& setup, std::vector<uint8_t>& data, Clock::time_point now);
    void deliverFrames(Clock::time_point now);
    void finish(Urb& urb, int status);
    Clock::time_point nextFrameDue() const;
    Urb* oldestPendingBulk();

    const DeviceDescription description_;
    const int address_;
    const Bytes descriptors_;

    mutable std::mutex mutex_;  // protects everything below
    std::condition_variable changed_;  // test-side changes wake a reap that waits for work

    sim::CameraModel model_;
    std::deque<Urb> urbs_;  // in flight and completed, not yet reaped
    uint64_t doneCount_ = 0;
    bool gone_ = false;
    bool holdControl_ = false;
    bool heldElsewhere_ = false;
    std::optional<ControlFault> fault_;
    std::vector<ControlExchange> log_;
    std::vector<BulkEvent> bulkEvents_;
    std::vector<std::string> unexpected_;
    int opens_ = 0;
    int claims_ = 0;
    int releases_ = 0;

    // Frame timing: frame k of the current run starts at runStart_ + k * interval.
    bool streaming_ = false;
    int framesLeft_ = -1;
    std::chrono::microseconds interval_;
    Clock::time_point runStart_;
    int64_t nextFrame_ = 0;       // first frame of the run not yet sent or lost
    uint64_t sentInRun_ = 0;
    uint64_t sequence_ = 0;       // transfers delivered since the plug-in: the pattern's frame number
    struct InjectedFrame {
        std::size_t bytes = kFrameBytes;
        bool badMarker = false;
    };
    std::deque<InjectedFrame> injected_;  // sent ahead of the stream, streaming or not
    StreamCounters counters_;
    std::vector<uint8_t> frame_;  // render target
};

}  // namespace qdx::test::usb
