// Camera settings: index maps, wire encodings, the register shadow and the
// correction-table transfers, against the simulated camera.
#include <climits>
#include <numeric>

#include "api/SimCameraFixture.h"

namespace qdx::test {
namespace {

using ControlTest = SimCameraTest;

// Guards each encoding's bytes on the wire (read back as the register value).
TEST_F(ControlTest, EncodingsOnTheWire)
{
    startConnected();
    ASSERT_EQ(QDX_Set_GainRB(0, -3), 0);
    EXPECT_EQ(simRegister(QDX_REG_RED_GAIN), 0x0103) << "SM8: sign byte 1, magnitude 3";
    ASSERT_EQ(QDX_Set_ColorMatrix(4, -1), 0);
    EXPECT_EQ(simRegister(QDX_REG_COLOR_MATRIX_GG), 0x01FF) << "S9: -1";
    ASSERT_EQ(QDX_Set_ColorMatrix(4, 256), 0);
    EXPECT_EQ(simRegister(QDX_REG_COLOR_MATRIX_GG), 0x0100) << "S9 keeps 9 bits";
    ASSERT_EQ(QDX_Set_BlackLevel(0x12345), 0);
    EXPECT_EQ(simRegister(QDX_REG_BLACK_LEVEL), 0x2345) << "U16 keeps 16 bits";
    ASSERT_EQ(QDX_Set_GainYC(2, -300), 0);
    EXPECT_EQ(simRegister(QDX_REG_CR_GAIN), 0x012C) << "SM8 magnitude modulo 256";
}

// Guards the encodings at the ends of int: negating INT_MIN for its
// magnitude was undefined (UBSan stopped the process). Every setter takes
// both ends and sends their low bits.
TEST_F(ControlTest, EveryEncodingTakesBothEndsOfInt)
{
    startConnected();
    int (*const plain[])(int) = {QDX_Set_BlackLevel,     QDX_Set_ExposureTime,    QDX_Set_RawGain,
                                 QDX_Set_ControlTarget,  QDX_Set_ControlSpeed,    QDX_Set_Gamma,
                                 QDX_Set_ImageFlip,      QDX_Set_ImageRotation,   QDX_Set_DVIImageSize,
                                 QDX_Set_DP_Corr,        QDX_Set_FPN_Corr,        QDX_Set_NoiseReduction,
                                 QDX_Set_EdgeEnhancement, QDX_Set_VFPN_Corr,      QDX_Set_CIS_ClockPhase};
    int (*const indexed[])(int, int) = {QDX_Set_ControlMode, QDX_Set_Hysteresis, QDX_Set_ControlMonitor,
                                        QDX_Set_GainRB, QDX_Set_ColorMatrix, QDX_Set_GainYC};
    for (int value : {INT_MIN, INT_MAX}) {
        for (auto set : plain)
            EXPECT_EQ(set(value), 0) << value;
        for (auto set : indexed)
            EXPECT_EQ(set(0, value), 0) << value;
    }
    ASSERT_EQ(QDX_Set_GainRB(0, INT_MIN), 0);
    EXPECT_EQ(simRegister(QDX_REG_RED_GAIN), 0x0100) << "SM8: negative, magnitude 2^31 modulo 256";
    ASSERT_EQ(QDX_Set_GainRB(0, INT_MAX), 0);
    EXPECT_EQ(simRegister(QDX_REG_RED_GAIN), 0x00FF);
}

struct DecodeCase {
    int reg;
    int raw;
    int expected;
};

class DecodeTest : public SimCameraTest, public ::testing::WithParamInterface<DecodeCase> {};

// Guards each decoding, including the values at the edges of the ranges.
TEST_P(DecodeTest, ReadsBackTheValue)
{
    startConnected();
    const auto& c = GetParam();
    QDXSim_SetRegister(c.reg, c.raw, 0);
    int value = 12345;
    if (c.reg == QDX_REG_RED_GAIN)
        ASSERT_EQ(QDX_Get_GainRB(0, &value), 0);
    else if (c.reg == QDX_REG_COLOR_MATRIX_GG)
        ASSERT_EQ(QDX_Get_ColorMatrix(4, &value), 0);
    else
        ASSERT_EQ(QDX_Get_ExposureTime(&value), 0);
    EXPECT_EQ(value, c.expected);
}

INSTANTIATE_TEST_SUITE_P(Encodings, DecodeTest,
                         ::testing::Values(DecodeCase{QDX_REG_RED_GAIN, 0x0103, -3},
                                           DecodeCase{QDX_REG_RED_GAIN, 0x0003, 3},
                                           DecodeCase{QDX_REG_RED_GAIN, 0x0100, 0},
                                           DecodeCase{QDX_REG_RED_GAIN, 0x01FF, -255},
                                           DecodeCase{QDX_REG_COLOR_MATRIX_GG, 0x01FF, -1},
                                           DecodeCase{QDX_REG_COLOR_MATRIX_GG, 0x00FF, 255},
                                           DecodeCase{QDX_REG_COLOR_MATRIX_GG, 0x0100, -256},
                                           DecodeCase{QDX_REG_EXPOSURE_TIME, 0xFFFF, 65535}));

// Guards index maps: every index lands on its own register.
TEST_F(ControlTest, IndexMapsReachTheirRegisters)
{
    startConnected();
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(QDX_Set_Hysteresis(i, 100 + i), 0);
    for (int i = 0; i < 9; ++i)
        ASSERT_EQ(QDX_Set_ColorMatrix(i, i), 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(QDX_Set_GainYC(i, 10 + i), 0);
    ASSERT_EQ(QDX_Set_ControlMode(1, 1), 0);
    ASSERT_EQ(QDX_Set_ControlMonitor(1, 1), 0);
    ASSERT_EQ(QDX_Set_CIS_ClockPhase(7), 0);
    ASSERT_EQ(QDX_Set_VFPN_Corr(1), 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(simRegister(QDX_REG_HYSTERESIS_A1 + i), 100 + i);
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(simRegister(QDX_REG_COLOR_MATRIX_RR + i), i);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(simRegister(QDX_REG_Y_GAIN + i), 10 + i);
    EXPECT_EQ(simRegister(QDX_REG_ALC), 1);
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_AREA2), 1);
    EXPECT_EQ(simRegister(QDX_REG_CIS_CLOCK_PHASE), 7);
    EXPECT_EQ(simRegister(QDX_REG_VFPN_CORR), 1);
    int version = 0, cis = 0;
    ASSERT_EQ(QDX_Get_FPGA_Ver(&version), 0);
    EXPECT_EQ(version, 0x21);
    ASSERT_EQ(QDX_Get_CIS_Connect(&cis), 0);
    EXPECT_EQ(cis, 1);
}

// Guards argument checks: nothing is sent for a bad index or a null pointer.
TEST_F(ControlTest, BadIndexOrNullPointerSendsNothing)
{
    startConnected();
    const int before = QDXSim_GetRequestCount(-1);
    int v = 0;
    EXPECT_EQ(QDX_Set_ColorMatrix(9, 0), -1);
    EXPECT_EQ(QDX_Set_ColorMatrix(-1, 0), -1);
    EXPECT_EQ(QDX_Get_Hysteresis(4, &v), -1);
    EXPECT_EQ(QDX_Get_Hysteresis(0, nullptr), -1);
    EXPECT_EQ(QDX_Get_BlackLevel(nullptr), -1);
    EXPECT_EQ(QDX_Set_GainRB(2, 0), -1);
    EXPECT_EQ(QDX_Set_ControlMode(2, 0), -1);
    EXPECT_EQ(QDX_Get_DataFormat(nullptr), -1);
    EXPECT_EQ(QDX_Set_FPN_Table(nullptr), -1);
    EXPECT_EQ(QDX_Get_Gamma_Table(0, nullptr), -1);
    EXPECT_EQ(QDXSim_GetRequestCount(-1), before);
}

// Guards getters keeping their output when the camera fails or is away.
TEST_F(ControlTest, FailuresLeaveTheValue)
{
    startConnected();
    int v = 77;
    QDXSim_FailRequests(0x18, 1);
    EXPECT_EQ(QDX_Get_ExposureTime(&v), 1);
    EXPECT_EQ(v, 77);
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(waitUntil([] { return status() == 0; }));
    EXPECT_EQ(QDX_Get_ExposureTime(&v), 1);
    EXPECT_EQ(QDX_Set_ExposureTime(5), 1);
    EXPECT_EQ(v, 77);
}

TEST_F(ControlTest, DataFormatRoundTrip)
{
    startConnected();
    ASSERT_EQ(QDX_Set_DataFormat(1), 0);
    int format = -1;
    ASSERT_EQ(QDX_Get_DataFormat(&format), 0);
    EXPECT_EQ(format, 1);
    EXPECT_EQ(lastSetup(), (std::array<uint8_t, 8>{0xC0, 0x12, 0, 0, 0, 0, 16, 0}));
    ASSERT_EQ(QDX_Set_DataFormat(0), 0);
    ASSERT_EQ(QDX_Get_DataFormat(&format), 0);
    EXPECT_EQ(format, 0);
}

// One-push white balance: reads 1 while busy, then 0 with new red and blue
// gains, both reported in the change mask.
TEST_F(ControlTest, OnePushWhiteBalanceFinishesWithNewGains)
{
    QDXSim_SetScene(0);  // the test pattern bypasses the sensor: nothing to measure
    startConnected();
    std::array<uint8_t, 6> mask{};
    QDX_GetFpgaStatus(6, mask.data());
    ASSERT_EQ(QDX_Set_AWB(1), 0);
    int busy = -1;
    ASSERT_EQ(QDX_Get_AWB(&busy), 0);
    EXPECT_EQ(busy, 1);
    ASSERT_TRUE(waitUntil([] {
        int v = -1;
        return QDX_Get_AWB(&v) == 0 && v == 0;
    }));
    int red = 0, blue = 0;
    ASSERT_EQ(QDX_Get_GainRB(0, &red), 0);
    ASSERT_EQ(QDX_Get_GainRB(1, &blue), 0);
    EXPECT_LT(red, 0) << "the scene is too red";
    EXPECT_GT(blue, 0) << "the scene is too blue-poor";
    ASSERT_EQ(QDX_GetFpgaStatus(6, mask.data()), 0);
    EXPECT_EQ(mask[2], 0x07) << "AWB, red and blue gain changed by the camera";
}

using TableTest = SimCameraTest;

std::vector<uint8_t> pattern(std::size_t bytes, uint8_t seed)
{
    std::vector<uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<uint8_t>(i * 7 + seed);
    return data;
}

// Guards the FPN transfer's chunking: 1,287 requests of 64 bytes, then 48 at 0xB0E0.
TEST_F(TableTest, FpnTableChunksAndRoundTrip)
{
    startConnected();
    const auto table = pattern(82416, 3);
    const int before = QDXSim_GetRequestCount(-1);
    ASSERT_EQ(QDX_Set_FPN_Table(table.data()), 0);
    const auto log = requestsSince(before);
    ASSERT_EQ(log.size(), 1288u);
    for (std::size_t i = 0; i + 1 < log.size(); ++i) {
        ASSERT_EQ(log[i].bRequest, 0x19);
        ASSERT_EQ(log[i].wIndex, 0x1000 + 32 * i);
        ASSERT_EQ(log[i].wLength, 64);
    }
    EXPECT_EQ(log.back().wIndex, 0xB0E0);
    EXPECT_EQ(log.back().wLength, 48);
    EXPECT_EQ(simRegister(0x1000), table[0] << 8 | table[1]);
    EXPECT_EQ(simRegister(0xB0F7), table[82414] << 8 | table[82415]);
    EXPECT_EQ(simRegister(0xB0F8), 0) << "written past the table";

    std::vector<uint8_t> back(82416);
    ASSERT_EQ(QDX_Get_FPN_Table(back.data()), 0);
    EXPECT_EQ(back, table);
}

// Guards stopping at the first failed request, with earlier chunks kept.
TEST_F(TableTest, FailureStopsTheTransfer)
{
    startConnected();
    const auto table = pattern(8192, 9);
    const int sentBefore = QDXSim_GetRequestCount(0x19);
    QDXSim_FailRequestsAfter(0x19, 2, 1);
    EXPECT_EQ(QDX_Set_Gamma_Table(0, table.data()), 1);
    EXPECT_EQ(QDXSim_GetRequestCount(0x19) - sentBefore, 3) << "nothing is sent after the failure";
    EXPECT_EQ(simRegister(0xC03F), table[126] << 8 | table[127]) << "the second chunk stays written";
    EXPECT_NE(simRegister(0xC040), table[128] << 8 | table[129]) << "the third chunk failed";
}

// Guards table placement: gamma index 7 goes where index 0 goes, DP index 1 to 0x180.
TEST_F(TableTest, TableIndexesPickTheirRegion)
{
    startConnected();
    const auto gamma = pattern(8192, 1);
    ASSERT_EQ(QDX_Set_Gamma_Table(7, gamma.data()), 0);
    EXPECT_EQ(simRegister(0xC000), gamma[0] << 8 | gamma[1]);
    const auto gamma2 = pattern(8192, 2);
    ASSERT_EQ(QDX_Set_Gamma_Table(2, gamma2.data()), 0);
    EXPECT_EQ(simRegister(0xEFFF), gamma2[8190] << 8 | gamma2[8191]);
    const auto dp = pattern(256, 5);
    ASSERT_EQ(QDX_Set_DP_Table(1, dp.data()), 0);
    EXPECT_EQ(simRegister(0x180), dp[0] << 8 | dp[1]);
    EXPECT_EQ(simRegister(0x100), 0x01FF) << "table 0 untouched (empty entries)";
    std::vector<uint8_t> back(256);
    ASSERT_EQ(QDX_Get_DP_Table(1, back.data()), 0);
    EXPECT_EQ(back, dp);
}

}  // namespace
}  // namespace qdx::test
