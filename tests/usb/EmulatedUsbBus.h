// USB bus 1 of a umockdev test bed: a root hub and the fake devices plugged
// into it. The test bed redirects /sys, /dev and the uevent socket of this
// process, so the unmodified libusb inside the library sees the devices as a
// kernel would show them; their usbfs ioctls are answered by FakeUsbCamera.
//
// Create the bus before the library's first libusb_init() (QDX_Init) and stop
// the library (QDX_Term) before the bus goes. One bus per test.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "usb/FakeUsbCamera.h"

using UMockdevTestbed = struct _UMockdevTestbed;
using UMockdevIoctlBase = struct _UMockdevIoctlBase;

namespace qdx::test::usb {

struct EmulatedUsbBusSignals;

class EmulatedUsbBus {
public:
    EmulatedUsbBus();
    ~EmulatedUsbBus();
    EmulatedUsbBus(const EmulatedUsbBus&) = delete;
    EmulatedUsbBus& operator=(const EmulatedUsbBus&) = delete;

    // False when the process does not run under umockdev's preload library;
    // meaningful once a bus exists.
    static bool emulationActive();

    // Plugs a device in at a new bus address, as the kernel numbers them.
    // The camera stays valid until the bus goes, unplugged or not.
    FakeUsbCamera& plug(const DeviceDescription& description = {});
    // Pulls the device out: its transfers fail, the remove uevent goes out
    // and its sysfs entry and node disappear.
    void unplug(FakeUsbCamera& camera);

    // Sets the mode of the device's node, as a udev rule or its absence would.
    void setNodeMode(const FakeUsbCamera& camera, unsigned mode);

    // Ioctls that no device expected, on any device of this bus.
    std::vector<std::string> unexpectedIoctls() const;

private:
    friend struct EmulatedUsbBusSignals;
    FakeUsbCamera* cameraAt(const char* node) const;

    UMockdevTestbed* testbed_ = nullptr;
    UMockdevIoctlBase* handler_ = nullptr;

    mutable std::mutex mutex_;  // protects cameras_ and strays_: umockdev's worker thread looks cameras up
    std::vector<std::unique_ptr<FakeUsbCamera>> cameras_;
    std::vector<std::string> strays_;  // ioctls on nodes of no camera
    int nextAddress_ = 2;  // the root hub is device 1
};

}  // namespace qdx::test::usb
