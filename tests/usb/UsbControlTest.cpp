// Vendor requests over the control pipe: the exact setup packet of every
// request 0x10..0x19 as it reaches the device, the data stage in both
// directions, and requests that fail.
#include "usb/UsbCameraFixture.h"

#include <algorithm>
#include <array>
#include <cerrno>

namespace qdx::test::usb {
namespace {

using UsbControlTest = UsbCameraTest;

constexpr std::array<uint8_t, 3> kRecord{0xA1, 0xB2, 0xC3};
constexpr std::array<uint8_t, 2> kI2CBytes{0x10, 0x77};
constexpr std::array<uint8_t, 4> kMemoryBytes{0xDE, 0xAD, 0xBE, 0xEF};
constexpr std::array<uint8_t, 4> kRegisterBytes{0x12, 0x34, 0x56, 0x78};

struct RequestCase {
    const char* name;
    int (*call)(uint8_t* buffer);
    std::array<uint8_t, 8> setup;   // as it must appear on the wire
    std::vector<uint8_t> dataOut;   // host-to-device data stage; empty for reads
};

void PrintTo(const RequestCase& c, std::ostream* out)
{
    *out << c.name;
}

class UsbRequestTest : public UsbCameraTest, public ::testing::WithParamInterface<RequestCase> {};

// Guards every field of every setup packet the library sends, including the
// masking of record index, slave address, memory type and address bits, and
// that the data stage travels unchanged in both directions. Frames flow
// meanwhile, as they do for a real caller.
TEST_P(UsbRequestTest, ReachesTheDeviceExactly)
{
    auto& camera = bus_->plug();
    startConnected();
    waitForFrames(1);
    const auto before = camera.cameraRequests().size();

    std::array<uint8_t, 64> buffer{};
    buffer.fill(0x5A);
    const int result = GetParam().call(buffer.data());

    const auto requests = camera.cameraRequests();
    ASSERT_EQ(requests.size(), before + 1) << "one call, one control transfer";
    const ControlExchange& sent = requests.back();
    EXPECT_EQ(sent.setup, GetParam().setup);
    EXPECT_EQ(sent.dataOut, GetParam().dataOut);
    ASSERT_EQ(result, 0);
    EXPECT_EQ(sent.status, 0);
    if (sent.setup[0] & 0x80) {
        EXPECT_TRUE(std::equal(sent.dataIn.begin(), sent.dataIn.end(), buffer.begin()))
            << "the caller got other bytes than the device sent";
    }
}

const RequestCase kRequestCases[] = {
    {"DeviceInfo", [](uint8_t* b) { return QDX_GetDevInfo(48, b); }, {0xC0, 0x10, 0, 0, 0, 0, 48, 0}, {}},
    {"FormatInfoIndexMasked", [](uint8_t* b) { return QDX_GetDevFormatInfo(3, 8, b); },
     {0xC0, 0x11, 0, 0, 0x01, 0, 8, 0}, {}},
    {"DeviceStatus", [](uint8_t* b) { return QDX_GetDevStatus(16, b); }, {0xC0, 0x12, 0, 0, 0, 0, 16, 0}, {}},
    {"DeviceControlIndexMasked", [](uint8_t*) { return QDX_SetDevStatus(13, kRecord.data()); },
     {0x40, 0x13, 0, 0, 0x05, 0, 3, 0}, {0xA1, 0xB2, 0xC3}},
    {"DataFormat", [](uint8_t*) { return QDX_Set_DataFormat(1); }, {0x40, 0x13, 0, 0, 0x02, 0, 3, 0}, {0, 1, 0}},
    {"I2CReadSlaveMasked", [](uint8_t* b) { return QDX_I2CRead(0xD8, 3, b); }, {0xC0, 0x14, 0, 0, 0x58, 0, 3, 0}, {}},
    {"I2CWriteSlaveMasked", [](uint8_t*) { return QDX_I2CWrite(0xD8, 2, kI2CBytes.data()); },
     {0x40, 0x15, 0, 0, 0x58, 0, 2, 0}, {0x10, 0x77}},
    {"Fx2MemoryRead", [](uint8_t* b) { return QDX_FlashRead(0, 0x0100, 8, b); },
     {0xC0, 0x16, 0x00, 0x00, 0x00, 0x01, 8, 0}, {}},
    {"CisMemoryReadTopOfTwentyBits", [](uint8_t* b) { return QDX_FlashRead(1, 0x1FFFF, 1, b); },
     {0xC0, 0x16, 0x01, 0x10, 0xFF, 0xFF, 1, 0}, {}},
    {"MemoryWriteTypeAndAddressMasked",
     [](uint8_t*) { return QDX_FlashWrite(0x11, 0x3012340, 4, kMemoryBytes.data()); },
     {0x40, 0x17, 0x01, 0x10, 0x40, 0x23, 4, 0}, {0xDE, 0xAD, 0xBE, 0xEF}},
    {"RegisterRead", [](uint8_t* b) { return QDX_DeviceRead(0, 0x1234, 4, b); },
     {0xC0, 0x18, 0, 0, 0x34, 0x12, 4, 0}, {}},
    {"RegisterWrite", [](uint8_t*) { return QDX_DeviceWrite(0, 0x00A0, 4, kRegisterBytes.data()); },
     {0x40, 0x19, 0, 0, 0xA0, 0x00, 4, 0}, {0x12, 0x34, 0x56, 0x78}},
    {"TypedSetterBigEndian", [](uint8_t*) { return QDX_Set_ExposureTime(500); },
     {0x40, 0x19, 0, 0, 0x03, 0x00, 2, 0}, {0x01, 0xF4}},
};

INSTANTIATE_TEST_SUITE_P(Requests, UsbRequestTest, ::testing::ValuesIn(kRequestCases),
                         [](const ::testing::TestParamInfo<RequestCase>& c) { return std::string(c.param.name); });

// Guards the checks after a control transfer: a stalled request and one that
// moved a byte too few both fail, and a failed read leaves the caller's
// buffer as it was.
TEST_F(UsbControlTest, StalledOrShortTransfersFail)
{
    auto& camera = bus_->plug();
    startConnected();
    std::array<uint8_t, 48> buffer{};
    buffer.fill(0x5A);

    camera.injectControlFault(ControlFault::Stall);
    EXPECT_EQ(QDX_GetDevInfo(48, buffer.data()), 1);
    EXPECT_EQ(camera.cameraRequests().back().status, -EPIPE);
    camera.injectControlFault(ControlFault::Short);
    EXPECT_EQ(QDX_DeviceRead(0, QDX_REG_EXPOSURE_TIME, 4, buffer.data()), 1);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0x5A; }));
    camera.injectControlFault(ControlFault::Short);
    EXPECT_EQ(QDX_DeviceWrite(0, 0x00A0, 4, kRegisterBytes.data()), 1);

    EXPECT_EQ(QDX_GetDevInfo(48, buffer.data()), 0) << "a failure must not stick";
}

// Guards the stored-block check over USB: one read of the block's header,
// and the state a load would find there, before and after a save.
TEST_F(UsbControlTest, StoredParameterCheckReadsTheHeader)
{
    auto& camera = bus_->plug();
    startConnected();
    const auto before = camera.cameraRequests().size();
    int state = -1;
    ASSERT_EQ(QDX_Check_Param(QDX_PARAM_DEFAULT, &state), QDX_OK);
    EXPECT_EQ(state, QDX_ERR_BAD_MAGIC) << "a blank EEPROM";
    const auto requests = camera.cameraRequests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().setup, (std::array<uint8_t, 8>{0xC0, 0x16, 0x00, 0x00, 0x00, 0x60, 16, 0}));

    ASSERT_EQ(QDX_Save_Default_Param(0), QDX_OK);
    ASSERT_EQ(QDX_Check_Param(QDX_PARAM_DEFAULT, &state), QDX_OK);
    EXPECT_EQ(state, QDX_OK);
}

// Guards the control time-out: a device that never answers must not block
// the calling thread (the viewer's GUI thread) for ever; the library gives up
// and cancels the transfer, and the next request goes through.
TEST_F(UsbControlTest, UnansweredRequestIsGivenUpAndCancelled)
{
    auto& camera = bus_->plug();
    startConnected();
    camera.holdControlRequests(true);
    std::array<uint8_t, 48> info{};
    EXPECT_EQ(QDX_GetDevInfo(48, info.data()), 1);
    EXPECT_EQ(camera.cameraRequests().back().status, -ENOENT) << "the transfer was not cancelled";

    camera.holdControlRequests(false);
    EXPECT_EQ(QDX_GetDevInfo(48, info.data()), 0);
}

}  // namespace
}  // namespace qdx::test::usb
