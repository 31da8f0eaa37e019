// The exact setup packets on the wire for every kind of request, read back
// from the simulated camera. A wrong mask or shift in any field shows here.
#include <functional>
#include <string>

#include "api/SimCameraFixture.h"

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

}  // namespace
}  // namespace qdx::test
