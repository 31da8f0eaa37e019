// The exact setup packets on the wire for every kind of request, read back
// from the simulated camera, and the register numbers and value encodings the
// library and the simulated camera share. A wrong mask or shift shows here.
#include <climits>
#include <functional>
#include <string>

#include "api/SimCameraFixture.h"
#include "protocol/RegisterEncoding.h"

namespace qdx::test {
namespace {

struct PacketCase {
    std::string name;
    std::function<void()> call;
    std::array<uint8_t, 8> expected;  // bmRequestType bRequest wValue(LE) wIndex(LE) wLength(LE)
};

void PrintTo(const PacketCase& c, std::ostream* os)
{
    *os << c.name;
}

class SetupPacketTest : public SimCameraTest, public ::testing::WithParamInterface<PacketCase> {};

TEST_P(SetupPacketTest, MatchesTheProtocol)
{
    startConnected();
    const int before = QDXSim_GetRequestCount(-1);
    GetParam().call();
    EXPECT_EQ(QDXSim_GetRequestCount(-1), before + 1) << "one export, one control transfer";
    EXPECT_EQ(lastSetup(), GetParam().expected);
}

std::array<uint8_t, 64> scratch;

INSTANTIATE_TEST_SUITE_P(
    EveryRequest, SetupPacketTest,
    ::testing::Values(
        PacketCase{"DevInfoAsksFor48EvenWhenCallerWantsLess", [] { QDX_GetDevInfo(10, scratch.data()); },
                   {0xC0, 0x10, 0, 0, 0, 0, 48, 0}},
        PacketCase{"FormatIndex3AsksForIndex1", [] { QDX_GetDevFormatInfo(3, 8, scratch.data()); },
                   {0xC0, 0x11, 0, 0, 1, 0, 8, 0}},
        PacketCase{"DevStatus", [] { QDX_GetDevStatus(4, scratch.data()); }, {0xC0, 0x12, 0, 0, 0, 0, 16, 0}},
        PacketCase{"FpgaStatusReadsTheStatusRecord", [] { QDX_GetFpgaStatus(6, scratch.data()); },
                   {0xC0, 0x12, 0, 0, 0, 0, 16, 0}},
        PacketCase{"RecordIndex10SendsIndex2", [] { QDX_SetDevStatus(10, scratch.data()); },
                   {0x40, 0x13, 0, 0, 2, 0, 3, 0}},
        PacketCase{"I2CSlaveA0IsMaskedTo20", [] { QDX_I2CRead(0xA0, 2, scratch.data()); },
                   {0xC0, 0x14, 0, 0, 0x20, 0, 2, 0}},
        PacketCase{"I2CWrite", [] { QDX_I2CWrite(0xD8, 1, scratch.data()); }, {0x40, 0x15, 0, 0, 0x58, 0, 1, 0}},
        PacketCase{"CisAddress2040", [] { QDX_FlashRead(1, 0x2040, 4, scratch.data()); },
                   {0xC0, 0x16, 0x00, 0x10, 0x40, 0x20, 4, 0}},
        PacketCase{"CisAddress12000CarriesBit16InWValue", [] { QDX_FlashRead(1, 0x12000, 4, scratch.data()); },
                   {0xC0, 0x16, 0x01, 0x10, 0x00, 0x20, 4, 0}},
        PacketCase{"CisAddress2FFFF", [] { QDX_FlashRead(1, 0x2FFFF, 1, scratch.data()); },
                   {0xC0, 0x16, 0x02, 0x10, 0xFF, 0xFF, 1, 0}},
        PacketCase{"AddressBitsAbove19AreDropped", [] { QDX_FlashRead(0x11, 0xF01234, 2, scratch.data()); },
                   {0xC0, 0x16, 0x00, 0x10, 0x34, 0x12, 2, 0}},
        PacketCase{"Fx2Write", [] { QDX_FlashWrite(0, 0x4000, 2, scratch.data()); },
                   {0x40, 0x17, 0, 0, 0x00, 0x40, 2, 0}},
        PacketCase{"RegisterRead", [] { QDX_DeviceRead(0, 0x1234, 6, scratch.data()); },
                   {0xC0, 0x18, 0, 0, 0x34, 0x12, 6, 0}},
        PacketCase{"RegisterWriteKeeps16BitDeviceAndAddress",
                   [] { QDX_DeviceWrite(0x10002, 0x1B0E0, 4, scratch.data()); },
                   {0x40, 0x19, 0x02, 0x00, 0xE0, 0xB0, 4, 0}}),
    [](const ::testing::TestParamInfo<PacketCase>& c) { return c.param.name; });

// Guards the register numbers, which are the camera's: the library, the
// simulated camera and the viewer all take them from the public header, so a
// wrong value there would pass every test that goes through them.
static_assert(QDX_REG_CONTROL_MODE == 0 && QDX_REG_ALC == 1 && QDX_REG_BLACK_LEVEL == 2 &&
              QDX_REG_EXPOSURE_TIME == 3 && QDX_REG_RAW_GAIN == 4 && QDX_REG_CONTROL_TARGET == 5 &&
              QDX_REG_HYSTERESIS_A1 == 6 && QDX_REG_HYSTERESIS_A2 == 7 && QDX_REG_HYSTERESIS_B1 == 8 &&
              QDX_REG_HYSTERESIS_B2 == 9 && QDX_REG_CONTROL_SPEED == 10 && QDX_REG_CONTROL_AREA1 == 11 &&
              QDX_REG_CONTROL_AREA2 == 12 && QDX_REG_AWB == 16 && QDX_REG_RED_GAIN == 17 &&
              QDX_REG_BLUE_GAIN == 18);
static_assert(QDX_REG_COLOR_MATRIX_RR == 19 && QDX_REG_COLOR_MATRIX_RG == 20 && QDX_REG_COLOR_MATRIX_RB == 21 &&
              QDX_REG_COLOR_MATRIX_GR == 22 && QDX_REG_COLOR_MATRIX_GG == 23 && QDX_REG_COLOR_MATRIX_GB == 24 &&
              QDX_REG_COLOR_MATRIX_BR == 25 && QDX_REG_COLOR_MATRIX_BG == 26 && QDX_REG_COLOR_MATRIX_BB == 27 &&
              QDX_REG_Y_GAIN == 28 && QDX_REG_CB_GAIN == 29 && QDX_REG_CR_GAIN == 30);
static_assert(QDX_REG_GAMMA == 33 && QDX_REG_IMAGE_FLIP == 34 && QDX_REG_IMAGE_ROTATION == 35 &&
              QDX_REG_DVI_IMAGE_SIZE == 36 && QDX_REG_DP_CORR == 37 && QDX_REG_FPN_CORR == 38 &&
              QDX_REG_NOISE_REDUCTION == 39 && QDX_REG_EDGE_ENHANCEMENT == 40 && QDX_REG_VFPN_CORR == 41 &&
              QDX_REG_CIS_CONNECT == 48 && QDX_REG_CIS_CLOCK_PHASE == 50 && QDX_REG_FPGA_VER == 255);

struct EncodingCase {
    const char* name;
    Encoding encoding;
    int value;
    uint16_t word;  // the register word, worked out by hand
    int readBack;   // what the word decodes to
};

void PrintTo(const EncodingCase& c, std::ostream* os)
{
    *os << c.name;
}

class RegisterEncodingTest : public ::testing::TestWithParam<EncodingCase> {};

// Guards each encoding's bits at the ends of its range and beyond them,
// where a value keeps its low bits (SM8: sign and magnitude modulo 256).
TEST_P(RegisterEncodingTest, EncodesAndDecodesTheWord)
{
    const auto& c = GetParam();
    EXPECT_EQ(encodeRegister(c.encoding, c.value), c.word);
    EXPECT_EQ(decodeRegister(c.encoding, c.word), c.readBack);
}

INSTANTIATE_TEST_SUITE_P(
    EdgeValues, RegisterEncodingTest,
    ::testing::Values(EncodingCase{"U16Top", Encoding::U16, 65535, 0xFFFF, 65535},
                      EncodingCase{"U16KeepsLow16Bits", Encoding::U16, 0x12345, 0x2345, 0x2345},
                      EncodingCase{"U16MinusOne", Encoding::U16, -1, 0xFFFF, 65535},
                      EncodingCase{"SM8MinusThree", Encoding::SM8, -3, 0x0103, -3},
                      EncodingCase{"SM8Bottom", Encoding::SM8, -255, 0x01FF, -255},
                      EncodingCase{"SM8MagnitudeModulo256", Encoding::SM8, 256, 0x0000, 0},
                      EncodingCase{"SM8NegativeModulo256", Encoding::SM8, -300, 0x012C, -44},
                      EncodingCase{"SM8IntMinIsMinusZero", Encoding::SM8, INT_MIN, 0x0100, 0},
                      EncodingCase{"SM8IntMax", Encoding::SM8, INT_MAX, 0x00FF, 255},
                      EncodingCase{"S9MinusOne", Encoding::S9, -1, 0x01FF, -1},
                      EncodingCase{"S9Bottom", Encoding::S9, -256, 0x0100, -256},
                      EncodingCase{"S9KeepsLow9Bits", Encoding::S9, 256, 0x0100, -256},
                      EncodingCase{"S9IntMin", Encoding::S9, INT_MIN, 0x0000, 0},
                      EncodingCase{"S9IntMax", Encoding::S9, INT_MAX, 0x01FF, -1}),
    [](const ::testing::TestParamInfo<EncodingCase>& c) { return std::string(c.param.name); });

// Guards the round trips the camera relies on: every value of an encoding's
// range comes back as it went, and every word decodes to a value that encodes
// to that word again, bits 9..15 and a negative zero aside.
TEST(RegisterEncoding, RoundTripsOverEveryValueAndWord)
{
    struct Range {
        Encoding encoding;
        int lowest, highest;
        uint16_t usedBits;
    };
    for (const Range& r : {Range{Encoding::U16, 0, 65535, 0xFFFF}, Range{Encoding::SM8, -255, 255, 0x01FF},
                           Range{Encoding::S9, -256, 255, 0x01FF}}) {
        for (int v = r.lowest; v <= r.highest; ++v)
            ASSERT_EQ(decodeRegister(r.encoding, encodeRegister(r.encoding, v)), v) << static_cast<int>(r.encoding);
        for (int w = 0; w <= 0xFFFF; ++w) {
            const auto word = static_cast<uint16_t>(w);
            const uint16_t expected = r.encoding == Encoding::SM8 && (word & 0x1FF) == 0x100 ? 0 : word & r.usedBits;
            ASSERT_EQ(encodeRegister(r.encoding, decodeRegister(r.encoding, word)), expected)
                << static_cast<int>(r.encoding) << " word " << w;
            const auto bytes = toWire(word);
            ASSERT_EQ(bytes[0], word >> 8) << "high byte first";
            ASSERT_EQ(fromWire(bytes.data()), word);
        }
    }
}

}  // namespace
}  // namespace qdx::test
