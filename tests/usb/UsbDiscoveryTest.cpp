// Finding the camera among the devices on the bus: by the IDs configured in
// QDX_USB_IDS, by the device-interface GUID in Microsoft OS descriptors, and
// refusing what the link cannot stream from.
#include "usb/UsbCameraFixture.h"

#include <thread>

namespace qdx::test::usb {
namespace {

using namespace std::chrono_literals;

// Long enough for the connection thread to have tried several times.
constexpr auto kSeveralPeriods = 300ms;

using UsbDiscoveryTest = UsbCameraTest;

// Guards matching on the configured IDs: the listed device is opened and
// streamed from although an unlisted vendor-specific device sits before it
// on the hub.
TEST_F(UsbDiscoveryTest, OpensTheDeviceListedInQdxUsbIds)
{
    setenv("QDX_USB_IDS", "1234:0001, cafe:4243", 1);
    auto& unlisted = bus_->plug({.port = 1});
    auto& listed = bus_->plug({.product = 0x4243, .port = 2});
    startConnected();
    waitForFrames(2);
    EXPECT_GT(listed.counters().submitted, 0u);
    EXPECT_EQ(unlisted.claims(), 0);
    EXPECT_EQ(unlisted.counters().submitted, 0u);
}

struct IdentityCase {
    const char* name;
    DeviceDescription description;
    bool isCamera;
};

void PrintTo(const IdentityCase& c, std::ostream* out)
{
    *out << c.name;
}

class UsbIdentityTest : public UsbCameraTest, public ::testing::WithParamInterface<IdentityCase> {};

// Guards recognising the camera without configured IDs: the GUID in either
// generation of Microsoft OS descriptors identifies it, and another GUID, or
// none, leaves a vendor-specific device alone.
TEST_P(UsbIdentityTest, GuidInMicrosoftOsDescriptorsDecides)
{
    setenv("QDX_USB_IDS", "", 1);
    auto& device = bus_->plug(GetParam().description);
    ASSERT_EQ(QDX_Init(), 0);
    if (GetParam().isCamera) {
        ASSERT_TRUE(waitUntil([] { return status() == 1; })) << "the camera was not recognised";
        waitForFrames(2);
        return;
    }
    ASSERT_TRUE(waitUntil([&] { return !device.controlLog().empty(); })) << "the device was never probed";
    std::this_thread::sleep_for(kSeveralPeriods);
    EXPECT_EQ(status(), 0);
    EXPECT_EQ(device.claims(), 0);
}

const IdentityCase kIdentityCases[] = {
    {"MsOs20NamesTheCamera", {.vendor = 0x1209, .product = 0x0001, .msOs20Guid = std::string(kCameraGuid)}, true},
    {"MsOs10NamesTheCamera", {.vendor = 0x1209, .product = 0x0002, .msOs10Guid = std::string(kCameraGuid)}, true},
    {"MsOs20NamesAnotherInterface",
     {.vendor = 0x1209, .product = 0x0003, .msOs20Guid = std::string(kOtherGuid)}, false},
    {"MsOs10NamesAnotherInterface",
     {.vendor = 0x1209, .product = 0x0004, .msOs10Guid = std::string(kOtherGuid)}, false},
    {"NoOsDescriptors", {.vendor = 0x1209, .product = 0x0005}, false},
};

INSTANTIATE_TEST_SUITE_P(Descriptors, UsbIdentityTest, ::testing::ValuesIn(kIdentityCases),
                         [](const ::testing::TestParamInfo<IdentityCase>& c) { return std::string(c.param.name); });

// Guards the probe running once per plug-in: a device that is not the camera
// must not be opened and questioned again every 50 ms, but a new plug-in of
// it is a new device and is probed afresh.
TEST_F(UsbDiscoveryTest, ProbesAnUnknownDeviceOncePerPlugIn)
{
    setenv("QDX_USB_IDS", "", 1);
    auto& device = bus_->plug({.vendor = 0x1209, .product = 0x0005});
    ASSERT_EQ(QDX_Init(), 0);
    ASSERT_TRUE(waitUntil([&] { return device.opens() == 1 && !device.controlLog().empty(); }));
    std::this_thread::sleep_for(100ms);  // the probe's last question
    const auto questions = device.controlLog().size();
    std::this_thread::sleep_for(kSeveralPeriods);
    EXPECT_EQ(device.opens(), 1);
    EXPECT_EQ(device.controlLog().size(), questions);

    bus_->unplug(device);
    auto& again = bus_->plug({.vendor = 0x1209, .product = 0x0005});
    EXPECT_TRUE(waitUntil([&] { return !again.controlLog().empty(); })) << "the new plug-in was not probed";
}

// Guards probing only vendor-specific devices: a device of a standard class
// is never opened, whatever its descriptors claim.
TEST_F(UsbDiscoveryTest, NeverOpensADeviceOfAStandardClass)
{
    setenv("QDX_USB_IDS", "", 1);
    auto& storage = bus_->plug({.vendor = 0x1209, .product = 0x0006, .interfaceClass = 0x08,
                                .msOs20Guid = std::string(kCameraGuid)});
    ASSERT_EQ(QDX_Init(), 0);
    std::this_thread::sleep_for(kSeveralPeriods);
    EXPECT_EQ(storage.opens(), 0);
    EXPECT_EQ(status(), 0);
}

// Guards the endpoint check: an interface 0 with an isochronous endpoint is
// refused (claimed, found unusable, released), again at every attempt.
TEST_F(UsbDiscoveryTest, RefusesAnInterfaceWithAnIsochronousEndpoint)
{
    auto& camera = bus_->plug({.isochronousEndpoint = true});
    ASSERT_EQ(QDX_Init(), 0);
    ASSERT_TRUE(waitUntil([&] { return camera.claims() >= 2; })) << "the open was not retried";
    EXPECT_EQ(status(), 0);
    EXPECT_EQ(camera.counters().submitted, 0u);
    EXPECT_TRUE(waitUntil([&] { return camera.releases() >= camera.claims() - 1; })) << "the interface stays claimed";
}

// Guards which of two cameras is opened: the first on the hub, whichever
// was plugged in first, and requests go to that one only.
TEST_F(UsbDiscoveryTest, OfTwoCamerasOpensTheFirstOnTheHub)
{
    auto& later = bus_->plug({.port = 3});
    auto& first = bus_->plug({.port = 2});
    startConnected();
    waitForFrames(2);
    std::array<uint8_t, 48> info{};
    EXPECT_EQ(QDX_GetDevInfo(48, info.data()), 0);
    EXPECT_GT(first.counters().submitted, 0u);
    EXPECT_FALSE(first.cameraRequests().empty());
    EXPECT_EQ(later.claims(), 0);
    EXPECT_TRUE(later.cameraRequests().empty());
}

QDX_DEVICE_PROBLEM deviceProblem()
{
    QDX_DEVICE_PROBLEM problem{};
    EXPECT_EQ(QDX_GetDeviceProblem(&problem), QDX_OK);
    return problem;
}

struct RefusalCase {
    const char* name;
    int reason;
    bool nodeClosed;     // the node has mode 000 (no udev rule gives access)
    bool heldElsewhere;  // another program has claimed interface 0
};

void PrintTo(const RefusalCase& c, std::ostream* out)
{
    *out << c.name;
}

class UsbRefusalTest : public UsbCameraTest, public ::testing::WithParamInterface<RefusalCase> {};

// Guards "access denied" read as "no camera": a camera whose node may not be
// opened, or whose interface another program holds, is reported with its
// reason, bus, address, IDs and node while it stays closed; once access is
// given it opens, streams, and the report is gone.
TEST_P(UsbRefusalTest, RefusedCameraIsReportedUntilItOpens)
{
    const RefusalCase& c = GetParam();
    auto& camera = bus_->plug({.port = 1, .heldElsewhere = c.heldElsewhere});
    if (c.nodeClosed)
        bus_->setNodeMode(camera, 0);
    {
        const NoPermissionOverride asAUser;
        ASSERT_EQ(QDX_Init(), QDX_OK);
    }
    ASSERT_TRUE(waitUntil([&] { return deviceProblem().reason == c.reason; }))
        << "reported as " << deviceProblem().reason;
    const QDX_DEVICE_PROBLEM problem = deviceProblem();
    EXPECT_EQ(problem.busNumber, 1);
    EXPECT_EQ(problem.deviceAddress, camera.address());
    EXPECT_EQ(problem.vendorId, kCameraVendor);
    EXPECT_EQ(problem.productId, kCameraProduct);
    EXPECT_EQ(std::string(problem.devicePath), camera.node());
    EXPECT_EQ(status(), 0);
    EXPECT_EQ(camera.counters().submitted, 0u);

    bus_->setNodeMode(camera, 0664);
    camera.holdElsewhere(false);
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    waitForFrames(2);
    EXPECT_EQ(deviceProblem().reason, QDX_DEVICE_PROBLEM_NONE);
}

const RefusalCase kRefusalCases[] = {
    {"NodeNotOpenable", QDX_DEVICE_PROBLEM_PERMISSION, true, false},
    {"InterfaceHeldElsewhere", QDX_DEVICE_PROBLEM_BUSY, false, true},
};

INSTANTIATE_TEST_SUITE_P(Refusals, UsbRefusalTest, ::testing::ValuesIn(kRefusalCases),
                         [](const ::testing::TestParamInfo<RefusalCase>& c) { return std::string(c.param.name); });

}  // namespace
}  // namespace qdx::test::usb
