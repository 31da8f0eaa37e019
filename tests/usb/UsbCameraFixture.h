// The library on the USB path, against fake cameras on an emulated bus.
#pragma once

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include "QDX_API.h"
#include "TestPattern.h"
#include "api/SimCameraFixture.h"
#include "usb/EmulatedUsbBus.h"

namespace qdx::test::usb {

// While it lives, the calling thread and the threads it starts (the library's,
// when QDX_Init runs meanwhile) may not override file permissions, so a node
// of mode 000 refuses root as it refuses any user. Capabilities are per thread.
class NoPermissionOverride {
public:
    NoPermissionOverride()
    {
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        syscall(SYS_capset, &header_, reduced);
    }
    ~NoPermissionOverride() { syscall(SYS_capset, &header_, saved_); }
    NoPermissionOverride(const NoPermissionOverride&) = delete;
    NoPermissionOverride& operator=(const NoPermissionOverride&) = delete;

private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2]{};
};

// Selects the USB path for the next QDX_Init and puts up the bus its
// cameras plug into.
inline void startUsbBus(std::unique_ptr<EmulatedUsbBus>& bus)
{
    setenv("QDX_CAMERA", "usb", 1);
    setenv("QDX_USB_IDS", "cafe:4242", 1);
    unsetenv("QDX_BULK_READ_LIMIT_MS");
    bus = std::make_unique<EmulatedUsbBus>();
    ASSERT_TRUE(EmulatedUsbBus::emulationActive()) << "link the test with -lumockdev-preload";
}

// Stops the library, then takes the bus down after checking that no device
// saw an ioctl it did not expect.
inline void stopUsbBus(std::unique_ptr<EmulatedUsbBus>& bus)
{
    // libusb must be gone before the test bed.
    QDX_Term();
    EXPECT_EQ(bus->unexpectedIoctls(), std::vector<std::string>{});
    bus.reset();
}

class UsbCameraTest : public ::testing::Test {
protected:
    void SetUp() override { startUsbBus(bus_); }
    void TearDown() override { stopUsbBus(bus_); }

    // Frame `number` of the camera's test pattern, as it leaves the camera.
    static std::vector<uint8_t> patternFrame(const FakeUsbCamera& camera, uint64_t number)
    {
        std::vector<uint8_t> frame(QDX_FRAME_BYTES);
        sim::renderTestPattern(camera.frameSettings(), number, frame.data());
        return frame;
    }

    std::unique_ptr<EmulatedUsbBus> bus_;
};

}  // namespace qdx::test::usb
