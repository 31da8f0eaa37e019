// The library on the USB path, against fake cameras on an emulated bus.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <vector>

#include "QDX_API.h"
#include "TestPattern.h"
#include "api/SimCameraFixture.h"
#include "usb/EmulatedUsbBus.h"

namespace qdx::test::usb {

// The connection thread looks every 50 ms; on a loaded machine (and under the
// sanitizers) the test allows a few periods.
inline constexpr std::chrono::milliseconds kNoticeTimeout{250};

class UsbCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("QDX_CAMERA", "usb", 1);
        setenv("QDX_USB_IDS", "cafe:4242", 1);
        unsetenv("QDX_BULK_READ_LIMIT_MS");
        bus_ = std::make_unique<EmulatedUsbBus>();
        ASSERT_TRUE(EmulatedUsbBus::emulationActive()) << "link the test with -lumockdev-preload";
    }

    void TearDown() override
    {
        // libusb must be gone before the test bed.
        QDX_Term();
        EXPECT_EQ(bus_->unexpectedIoctls(), std::vector<std::string>{});
        bus_.reset();
    }

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
