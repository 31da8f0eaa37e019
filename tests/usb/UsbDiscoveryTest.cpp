// Finding the camera among the devices on the bus.
#include "usb/UsbCameraFixture.h"

namespace qdx::test::usb {
namespace {

using UsbDiscoveryTest = UsbCameraTest;

TEST_F(UsbDiscoveryTest, OpensListedCamera)
{
    auto& camera = bus_->plug();
    startConnected();
    waitForFrames(3);
    EXPECT_GE(camera.claims(), 1);
}

}  // namespace
}  // namespace qdx::test::usb
