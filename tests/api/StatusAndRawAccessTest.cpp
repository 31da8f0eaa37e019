// Status records, the sticky change mask and the raw access calls against the
// simulated camera.
#include <cstring>
#include <mutex>
#include <vector>

#include "api/SimCameraFixture.h"

namespace qdx::test {
namespace {

using StatusTest = SimCameraTest;

// Guards the copy length: the record is 48 bytes whatever the caller asks for.
TEST_F(StatusTest, DevInfoCopiesAtMostTheRecord)
{
    startConnected();
    std::array<uint8_t, 64> buffer;
    buffer.fill(0xAA);
    ASSERT_EQ(QDX_GetDevInfo(64, buffer.data()), 0);
    EXPECT_EQ(buffer[2], 1) << "firmware major";
    EXPECT_EQ(buffer[3], 4) << "firmware minor";
    for (std::size_t i = 48; i < 64; ++i)
        EXPECT_EQ(buffer[i], 0xAA) << "byte " << i << " lies past the record";

    buffer.fill(0xAA);
    ASSERT_EQ(QDX_GetDevInfo(10, buffer.data()), 0);
    for (std::size_t i = 10; i < 64; ++i)
        EXPECT_EQ(buffer[i], 0xAA) << "byte " << i << " was not asked for";

    std::array<uint8_t, 20> status;
    status.fill(0xAA);
    ASSERT_EQ(QDX_GetDevStatus(20, status.data()), 0);
    EXPECT_EQ(status[16], 0xAA) << "the status record is 16 bytes";
    status.fill(0xAA);
    ASSERT_EQ(QDX_GetDevFormatInfo(0, 20, status.data()), 0);
    EXPECT_EQ(status[8], 0xAA) << "the format record is 8 bytes";
}

// Guards against getters writing into the caller's buffer or succeeding
// without a camera.
TEST_F(StatusTest, WithoutCameraEverythingFailsAndLeavesBuffersAlone)
{
    QDXSim_SetPlugged(0, 0);
    ASSERT_EQ(QDX_Init(), 0);
    std::array<uint8_t, 48> buffer;
    buffer.fill(0x5A);
    const auto untouched = buffer;
    EXPECT_EQ(QDX_GetDevInfo(48, buffer.data()), 1);
    EXPECT_EQ(QDX_GetDevFormatInfo(0, 8, buffer.data()), 1);
    EXPECT_EQ(QDX_GetDevStatus(16, buffer.data()), 1);
    EXPECT_EQ(QDX_GetFpgaStatus(6, buffer.data()), 1);
    EXPECT_EQ(QDX_SetDevStatus(2, buffer.data()), 1);
    EXPECT_EQ(QDX_I2CRead(0x58, 4, buffer.data()), 1);
    EXPECT_EQ(QDX_FlashRead(0, 0, 16, buffer.data()), 1);
    EXPECT_EQ(QDX_DeviceRead(0, QDX_REG_FPGA_VER, 2, buffer.data()), 1);
    EXPECT_EQ(QDX_DeviceWrite(0, QDX_REG_EXPOSURE_TIME, 2, buffer.data()), 1);
    EXPECT_EQ(buffer, untouched);
    EXPECT_EQ(QDXSim_GetRequestCount(-1), 0) << "nothing may reach a camera that is not open";
}

// Guards against a host having to poll QDX_GetStatus to follow the camera:
// the status observer hears of each opening and closing (QDX_Term's too) and
// of a refusal once it is reported, each once, and may not set another
// observer from inside (it would wait for itself).
TEST_F(StatusTest, StatusObserverHearsEachChangeOnce)
{
    struct Heard {
        std::mutex mutex;  // protects statuses and setInside
        std::vector<int> statuses;
        int setInside = QDX_OK;
    } heard;
    const auto observe = [](int status, void* context) {
        const int setInside = QDX_SetStatusObserver(nullptr, nullptr);
        auto* h = static_cast<Heard*>(context);
        std::lock_guard lock(h->mutex);
        h->statuses.push_back(status);
        h->setInside = setInside;
    };
    const auto heardCount = [&] {
        std::lock_guard lock(heard.mutex);
        return heard.statuses.size();
    };
    ASSERT_EQ(QDX_SetStatusObserver(observe, &heard), QDX_OK);
    const struct Removed {
        ~Removed() { QDX_SetStatusObserver(nullptr, nullptr); }
    } removed;

    startConnected();
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(waitUntil([&] { return heardCount() == 2; }));
    QDXSim_SetAccess(0, QDXSIM_ACCESS_DENIED);
    QDXSim_SetPlugged(0, 1);
    QDX_DEVICE_PROBLEM problem{};
    ASSERT_TRUE(waitUntil([&] { return QDX_GetDeviceProblem(&problem) == QDX_OK && problem.reason != 0; }));
    ASSERT_TRUE(waitUntil([&] { return heardCount() == 3; }));
    QDXSim_SetAccess(0, QDXSIM_ACCESS_GRANTED);
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    QDX_Term();
    ASSERT_EQ(QDX_SetStatusObserver(nullptr, nullptr), QDX_OK);

    std::lock_guard lock(heard.mutex);
    EXPECT_EQ(heard.statuses, (std::vector<int>{1, 0, 0, 1, 0}));
    EXPECT_EQ(heard.setInside, QDX_ERR_ARGUMENT);
}

// Guards argument checks: a bad pointer or length is refused before any traffic.
TEST_F(StatusTest, BadArgumentsAreRefusedWithoutTraffic)
{
    startConnected();
    const int before = QDXSim_GetRequestCount(-1);
    std::array<uint8_t, 8> buffer{};
    EXPECT_EQ(QDX_GetFpgaStatus(6, nullptr), -1);
    EXPECT_EQ(QDX_SetDevStatus(2, nullptr), -1);
    EXPECT_EQ(QDX_GetDevInfo(48, nullptr), -1);
    EXPECT_EQ(QDX_I2CRead(0x58, 4, nullptr), -1);
    EXPECT_EQ(QDX_I2CWrite(0x58, 4, nullptr), -1);
    EXPECT_EQ(QDX_FlashRead(0, 0, 16, nullptr), -1);
    EXPECT_EQ(QDX_FlashWrite(0, 0, 16, nullptr), -1);
    EXPECT_EQ(QDX_DeviceRead(0, 0, 2, nullptr), -1);
    EXPECT_EQ(QDX_DeviceWrite(0, 0, 2, nullptr), -1);
    EXPECT_EQ(QDX_DeviceRead(0, 0, -2, buffer.data()), -1);
    EXPECT_EQ(QDX_FlashRead(0, 0, 70000, buffer.data()), -1) << "wLength cannot carry it";
    EXPECT_EQ(QDX_GetIndex(nullptr), -1);
    EXPECT_EQ(QDX_GetStatus(nullptr), -1);
    EXPECT_EQ(QDX_GetDataSemaphoHandle(nullptr), -1);
    EXPECT_EQ(QDX_GetFrame(nullptr, QDX_FRAME_BYTES, nullptr), -1);
    EXPECT_EQ(QDXSim_GetRequestCount(-1), before);
}

// Guards the failure path of a transfer: result 1, output untouched.
TEST_F(StatusTest, FailedTransferReportsOneAndKeepsTheBuffer)
{
    startConnected();
    std::array<uint8_t, 48> buffer;
    buffer.fill(0x33);
    const auto untouched = buffer;
    QDXSim_FailRequests(0x10, 1);
    EXPECT_EQ(QDX_GetDevInfo(48, buffer.data()), 1);
    QDXSim_FailRequests(0x18, 1);
    EXPECT_EQ(QDX_DeviceRead(0, QDX_REG_FPGA_VER, 2, buffer.data()), 1);
    EXPECT_EQ(buffer, untouched);
    EXPECT_EQ(QDX_GetDevInfo(48, buffer.data()), 0) << "only the injected failures fail";
}

TEST_F(StatusTest, DataFormatRecordSwitchesTheFormat)
{
    startConnected();
    const uint8_t grey[3] = {0x00, 0x01, 0x00};
    ASSERT_EQ(QDX_SetDevStatus(2, grey), 0);
    std::array<uint8_t, 16> status{};
    ASSERT_EQ(QDX_GetDevStatus(16, status.data()), 0);
    EXPECT_EQ(status[1], 1);
}

using ChangeMaskTest = SimCameraTest;

// Guards the sticky mask: a change reported once is handed out exactly once.
TEST_F(ChangeMaskTest, ReportedOnceHandedOutOnce)
{
    startConnected();
    std::array<uint8_t, 6> mask{};
    ASSERT_EQ(QDX_GetFpgaStatus(6, mask.data()), 0);
    QDXSim_SetRegister(QDX_REG_EXPOSURE_TIME, 100, 1);  // byte 0 bit 3
    QDXSim_SetRegister(QDX_REG_RED_GAIN, 5, 1);        // byte 2 bit 1
    ASSERT_EQ(QDX_GetFpgaStatus(6, mask.data()), 0);
    EXPECT_EQ(mask, (std::array<uint8_t, 6>{0x08, 0x00, 0x02, 0x00, 0x00, 0x00}));
    ASSERT_EQ(QDX_GetFpgaStatus(6, mask.data()), 0);
    EXPECT_EQ(mask, (std::array<uint8_t, 6>{}));
}

// Guards clearing: a short read still clears all six bytes.
TEST_F(ChangeMaskTest, ShortReadClearsAllSix)
{
    startConnected();
    QDXSim_SetRegister(QDX_REG_ALC, 1, 1);
    QDXSim_SetRegister(47, 1, 1);  // byte 5 bit 7
    std::array<uint8_t, 6> mask;
    mask.fill(0xEE);
    ASSERT_EQ(QDX_GetFpgaStatus(2, mask.data()), 0);
    EXPECT_EQ(mask[0], 0x02);
    EXPECT_EQ(mask[1], 0x00);
    EXPECT_EQ(mask[2], 0xEE) << "only two bytes were asked for";
    ASSERT_EQ(QDX_GetFpgaStatus(6, mask.data()), 0);
    EXPECT_EQ(mask[5], 0x00) << "register 47's bit must have been cleared by the short read";
}

// Guards that every status read feeds the mask, and that a failed status
// read neither copies nor clears it.
TEST_F(ChangeMaskTest, StatusReadsAccumulateAndFailedReadKeepsTheMask)
{
    startConnected();
    QDXSim_SetRegister(QDX_REG_CONTROL_SPEED, 1, 1);
    std::array<uint8_t, 16> status{};
    ASSERT_EQ(QDX_GetDevStatus(16, status.data()), 0);
    EXPECT_EQ(status[11], 0x04);
    QDXSim_FailRequests(0x12, 1);
    std::array<uint8_t, 6> mask;
    mask.fill(0x77);
    EXPECT_EQ(QDX_GetFpgaStatus(6, mask.data()), 1);
    EXPECT_EQ(mask[0], 0x77);
    ASSERT_EQ(QDX_GetFpgaStatus(6, mask.data()), 0);
    EXPECT_EQ(mask[1], 0x04) << "the bit from the earlier status read was lost";
}

// Guards that the mask outlives a disconnection of the camera.
TEST_F(ChangeMaskTest, SurvivesDisconnection)
{
    startConnected();
    QDXSim_SetRegister(QDX_REG_RAW_GAIN, 1, 1);
    std::array<uint8_t, 16> record{};
    ASSERT_EQ(QDX_GetDevStatus(16, record.data()), 0);
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(waitUntil([] { return status() == 0; }));
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(waitUntil([] { return status() == 1; }));
    std::array<uint8_t, 6> mask{};
    ASSERT_EQ(QDX_GetFpgaStatus(6, mask.data()), 0);
    EXPECT_EQ(mask[0], 0x10);
}

using RawAccessTest = SimCameraTest;

TEST_F(RawAccessTest, RegistersTravelBigEndian)
{
    startConnected();
    std::array<uint8_t, 2> version{};
    ASSERT_EQ(QDX_DeviceRead(0, QDX_REG_FPGA_VER, 2, version.data()), 0);
    EXPECT_EQ(version, (std::array<uint8_t, 2>{0x00, 0x21}));

    const uint8_t values[4] = {0x12, 0x34, 0xAB, 0xCD};
    ASSERT_EQ(QDX_DeviceWrite(0, QDX_REG_CONTROL_TARGET, 4, values), 0);
    int r5 = 0, r6 = 0;
    QDXSim_GetRegister(QDX_REG_CONTROL_TARGET, &r5);
    QDXSim_GetRegister(QDX_REG_HYSTERESIS_A1, &r6);
    EXPECT_EQ(r5, 0x1234);
    EXPECT_EQ(r6, 0xABCD);
}

TEST_F(RawAccessTest, I2CSubAddressWriteThenRead)
{
    startConnected();
    const uint8_t write[3] = {0x10, 0xC3, 0x3C};
    ASSERT_EQ(QDX_I2CWrite(0x58, 3, write), 0);
    const uint8_t subAddress = 0x10;
    ASSERT_EQ(QDX_I2CWrite(0x58, 1, &subAddress), 0);
    std::array<uint8_t, 2> read{};
    ASSERT_EQ(QDX_I2CRead(0x58, 2, read.data()), 0);
    EXPECT_EQ(read, (std::array<uint8_t, 2>{0xC3, 0x3C}));
    EXPECT_EQ(QDX_I2CRead(0x21, 1, read.data()), 1) << "no device answers at 0x21";
}

TEST_F(RawAccessTest, MemoryWriteLandsAtTheTwentyBitAddress)
{
    QDXSim_SetEepromWriteTime(200000);  // long enough to see the busy state on any build
    startConnected();
    const uint8_t data[4] = {1, 2, 3, 4};
    ASSERT_EQ(QDX_FlashWrite(1, 0x12000, 4, data), 0);
    std::array<uint8_t, 4> stored{};
    QDXSim_ReadMemory(1, 0x12000, 4, stored.data());
    EXPECT_EQ(stored, (std::array<uint8_t, 4>{1, 2, 3, 4}));

    // The part is busy right after a page write, as the status record says,
    // and refuses another write until it is ready.
    std::array<uint8_t, 16> status{};
    ASSERT_EQ(QDX_GetDevStatus(16, status.data()), 0);
    EXPECT_EQ(status[4], 1) << "CIS EEPROM busy";
    EXPECT_EQ(QDX_FlashWrite(1, 0x100, 4, data), 1);
    ASSERT_TRUE(waitUntil([&] { return QDX_GetDevStatus(16, status.data()) == 0 && status[4] == 0; }));
    EXPECT_EQ(QDX_FlashWrite(1, 0x100, 4, data), 0);

    std::array<uint8_t, 4> read{};
    ASSERT_EQ(QDX_FlashRead(1, 0x12000, 4, read.data()), 0);
    EXPECT_EQ(read, stored);
    EXPECT_EQ(QDX_FlashRead(0, 0xFFFE, 4, read.data()), 1) << "past the end of the 64 KiB FX2 EEPROM";
}

TEST_F(RawAccessTest, ForcedMemoryStateIsReportedForTheGivenReads)
{
    startConnected();
    QDXSim_SetMemoryState(1, 3, 2);
    std::array<uint8_t, 16> status{};
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(QDX_GetDevStatus(16, status.data()), 0);
        EXPECT_EQ(status[4], 3);
    }
    ASSERT_EQ(QDX_GetDevStatus(16, status.data()), 0);
    EXPECT_EQ(status[4], 0);
}

// Guards the request observer: each request as the camera got it, the bytes
// sent and those received (none after a failure), the observer's own
// requests not reported (they would recurse), setting another observer from
// inside refused (it would wait for itself), and nothing once it is removed.
TEST_F(RawAccessTest, RequestObserverSeesEachRequestAsSent)
{
    startConnected();
    struct Seen {
        QDX_REQUEST request;
        std::vector<uint8_t> data;
        int setInside;
    };
    std::vector<Seen> seen;
    const auto observe = [](const QDX_REQUEST* r, void* context) {
        std::array<uint8_t, 16> status{};
        QDX_GetDevStatus(16, status.data());
        const int setInside = QDX_SetRequestObserver(nullptr, nullptr);
        static_cast<std::vector<Seen>*>(context)->push_back(
            {*r, r->data ? std::vector<uint8_t>(r->data, r->data + r->wLength) : std::vector<uint8_t>{}, setInside});
    };
    ASSERT_EQ(QDX_SetRequestObserver(observe, &seen), QDX_OK);
    const struct Removed {
        ~Removed() { QDX_SetRequestObserver(nullptr, nullptr); }
    } removed;
    const uint8_t values[2] = {0x12, 0x34};
    ASSERT_EQ(QDX_DeviceWrite(0, 5, 2, values), QDX_OK);
    std::array<uint8_t, 2> read{};
    ASSERT_EQ(QDX_DeviceRead(0, 5, 2, read.data()), QDX_OK);
    EXPECT_EQ(QDX_I2CRead(0x21, 1, read.data()), QDX_ERR_TRANSFER);
    ASSERT_EQ(QDX_SetRequestObserver(nullptr, nullptr), QDX_OK);
    EXPECT_EQ(QDX_DeviceRead(0, 5, 2, read.data()), QDX_OK);

    ASSERT_EQ(seen.size(), 3u);
    const auto setup = [](const QDX_REQUEST& r) {
        return std::vector<int>{r.bmRequestType, r.bRequest, r.wValue, r.wIndex, r.wLength, r.result};
    };
    EXPECT_EQ(setup(seen[0].request), (std::vector<int>{0x40, QDX_REQUEST_REGISTER_WRITE, 0, 5, 2, QDX_OK}));
    EXPECT_EQ(seen[0].data, (std::vector<uint8_t>{0x12, 0x34}));
    EXPECT_EQ(setup(seen[1].request), (std::vector<int>{0xC0, QDX_REQUEST_REGISTER_READ, 0, 5, 2, QDX_OK}));
    EXPECT_EQ(seen[1].data, (std::vector<uint8_t>{0x12, 0x34}));
    EXPECT_EQ(setup(seen[2].request), (std::vector<int>{0xC0, QDX_REQUEST_I2C_READ, 0, 0x21, 1, QDX_ERR_TRANSFER}));
    EXPECT_TRUE(seen[2].data.empty());
    for (const Seen& s : seen)
        EXPECT_EQ(s.setInside, QDX_ERR_ARGUMENT);
}

}  // namespace
}  // namespace qdx::test
