// Pulling the camera out while the library uses it, and plugging it back:
// the shared hot-plug cases on the USB path, and the one only a USB camera
// can stage.
#include <cerrno>
#include <future>

#include "api/HotPlugCases.h"
#include "usb/UsbCameraFixture.h"

namespace qdx::test::usb {
namespace {

using namespace std::chrono_literals;

class UsbHotPlug final : public HotPlugBackend {
public:
    void setUp() override { startUsbBus(bus_); }
    void tearDown() override { stopUsbBus(bus_); }

    void plug(int camera, PlugOptions options) override
    {
        // The library orders cameras by their port.
        cameras_.at(camera) = &bus_->plug({.port = camera + 1,
                                           .streaming = options.streaming,
                                           .frameInterval = options.fast ? 5000us : 33333us});
    }
    void unplug(int camera) override { bus_->unplug(*cameras_.at(camera)); }
    void startStreaming(int camera) override { cameras_.at(camera)->startStreaming(); }
    std::optional<CameraSeen> seen(int camera) const override
    {
        const FakeUsbCamera& seen = *cameras_.at(camera);
        return CameraSeen{.claimed = seen.claims() > 0,
                          .framesAsked = seen.counters().submitted > 0,
                          .requestsAnswered = !seen.cameraRequests().empty()};
    }

private:
    std::unique_ptr<EmulatedUsbBus> bus_;
    std::array<FakeUsbCamera*, 2> cameras_{};  // the last plugged at each port; the bus owns them
};

INSTANTIATE_TEST_SUITE_P(Usb, HotPlugTest,
                         ::testing::Values(HotPlugBackendKind{"usb", [] {
                             return std::unique_ptr<HotPlugBackend>(std::make_unique<UsbHotPlug>());
                         }}));

using UsbHotPlugTest = UsbCameraTest;

// Guards a request that is in flight on another thread when the camera goes:
// it ends with the device (the URB fails with ENODEV) instead of being
// cancelled at its time-out, and the library neither hangs nor touches the
// released handle afterwards.
TEST_F(UsbHotPlugTest, UnplugWhileAnotherThreadWaitsInARequest)
{
    auto& camera = bus_->plug();
    startConnected();
    camera.holdControlRequests(true);
    std::array<uint8_t, 48> info{};
    auto request = std::async(std::launch::async, [&info] { return QDX_GetDevInfo(48, info.data()); });
    ASSERT_TRUE(waitUntil([&] { return camera.cameraRequests().size() == 1; }));

    bus_->unplug(camera);
    ASSERT_EQ(request.wait_for(kConnectTimeout), std::future_status::ready) << "the request hangs after the unplug";
    EXPECT_EQ(request.get(), 1);
    EXPECT_EQ(camera.cameraRequests().back().status, -ENODEV) << "the request waited for its time-out instead";
    EXPECT_TRUE(waitUntil([] { return status() == 0; }));

    bus_->plug();
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    EXPECT_EQ(QDX_GetDevInfo(48, info.data()), 0);
}

}  // namespace
}  // namespace qdx::test::usb
