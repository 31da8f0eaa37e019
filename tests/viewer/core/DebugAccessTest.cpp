// The Debug dialog's readers and actions: the readers against their examples
// and against the C library's own number reading on random text; the actions
// against the simulated camera, down to the setup packets it received.
#include <gtest/gtest.h>

#include <random>

#include "NumberReadingOracle.h"
#include "api/SimCameraFixture.h"
#include "core/device/DebugAccess.h"

namespace qdx::test {

inline bool operator==(const Packet& a, const Packet& b)
{
    return a.bmRequestType == b.bmRequestType && a.bRequest == b.bRequest && a.wValue == b.wValue &&
           a.wIndex == b.wIndex && a.wLength == b.wLength;
}

inline void PrintTo(const Packet& p, std::ostream* os)
{
    char text[40];
    std::snprintf(text, sizeof text, "%02X %02X %04X %04X %04X", p.bmRequestType, p.bRequest, p.wValue, p.wIndex,
                  p.wLength);
    *os << text;
}

}  // namespace qdx::test

namespace qdx::viewer::test {
namespace {

using qdx::test::Packet;
using qdx::test::requestsSince;

// Guards the readers on the examples a field may hold, among them text that
// is no number, signs, and numbers too long for 32 bits (which saturate:
// no overflow, no wrap-around).
TEST(DebugReaders, ReadFieldsAsTheDialogShowsThem)
{
    const std::string twenty = "12345678901234567890";
    const struct {
        std::string text;
        int slave, size;
        uint32_t hex;
        int type;
    } cases[] = {
        // text      slave  size  hex field   type
        {"1D0", 0x50, 1, 0x1D0, 1},
        {"A", 0x0A, 1, 0xA, 0},
        {"0x7f", 0x7F, 1, 0x7F, 0},
        {"-1", 0x7F, 64, 0xFFFFFFFF, 1},
        {"ZZ", 0x00, 1, 0, 0},
        {"", 0x00, 1, 0, 0},
        {"  58", 0x58, 58, 0x58, 1},
        {"0", 0x00, 1, 0, 0},
        {"100", 0x00, 64, 0x100, 1},
        {"300", 0x00, 44, 0x300, 1},
        {"7", 0x07, 7, 0x7, 1},
        {"104000", 0x00, 64, 0x104000, 1},
        {"123456789", 0x7F, 21, 0xFFFFFFFF, 1},
        {twenty, 0x7F, 64, 0xFFFFFFFF, 1},
        {"-" + twenty, 0x7F, 1, 0xFFFFFFFF, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseSlaveAddress(c.text), c.slave) << '"' << c.text << '"';
        EXPECT_EQ(parseReadSize(c.text), c.size) << '"' << c.text << '"';
        EXPECT_EQ(parseHexField(c.text, 79), c.hex) << '"' << c.text << '"';
        EXPECT_EQ(parseMemoryType(c.text), c.type) << '"' << c.text << '"';
    }
    EXPECT_EQ(hexByte(parseSlaveAddress("A")), "0A");

    std::string sixtyFive;
    for (int i = 0; i < 65; ++i)
        sixtyFive += hexByte(i) + " ";
    const struct {
        std::string text;
        std::string shown;
    } lists[] = {
        {"1 2 ff,100", "01 02 FF 00 "},
        {"01,,02", "01 "},
        {"", ""},
        {"  0x10 0x20", "10 20 "},
        {"1  2", "01 02 "},
        {"ZZ 1", ""},
        {twenty + " 5", "FF 05 "},
        {sixtyFive, sixtyFive.substr(0, 64 * 3)},
    };
    for (const auto& l : lists)
        EXPECT_EQ(hexBytes(parseByteList(l.text).view()), l.shown) << '"' << l.text << '"';
}

// Guards the readers against strtoull/strtoll on random text made of the
// characters that matter (digits, signs, "0x", blanks, separators, junk):
// where a number starts and ends, and its value, must agree; the byte list
// must be what reading number after number with one separator gives.
TEST(DebugReaders, AgreeWithTheCLibraryOnRandomText)
{
    const std::string alphabet = "0123456789aAfFxX+- ,\t.Zz";
    std::mt19937 random(12345);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int length = static_cast<int>(random() % 30);
        for (int i = 0; i < length; ++i)
            text += alphabet[random() % alphabet.size()];
        if (round % 10 == 0)
            text += std::string(random() % 25, "0123456789f"[random() % 11]);  // long numbers

        const HexScan hex = scanHex(text), hexWanted = hexOracle(text);
        ASSERT_EQ(hex.found, hexWanted.found) << '"' << text << '"';
        if (hex.found) {
            ASSERT_EQ(hex.end, hexWanted.end) << '"' << text << '"';
            ASSERT_EQ(hex.value, hexWanted.value) << '"' << text << '"';
            ASSERT_EQ(hex.whole, hexWanted.whole) << '"' << text << '"';
        }
        const DecimalScan dec = scanDecimal(text), decWanted = decimalOracle(text);
        ASSERT_EQ(dec.found, decWanted.found) << '"' << text << '"';
        if (dec.found) {
            ASSERT_EQ(dec.end, decWanted.end) << '"' << text << '"';
            ASSERT_EQ(dec.value, decWanted.value) << '"' << text << '"';
        }

        const ByteList list = parseByteList(text);
        ASSERT_EQ(std::vector<uint8_t>(list.view().begin(), list.view().end()), byteListOracle(text))
            << '"' << text << '"';
    }
}

class DebugActionsTest : public qdx::test::SimCameraTest {
protected:
    void SetUp() override
    {
        SimCameraTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(qdx::test::startConnected());
        QDXSim_SetEepromWriteTime(0);
    }
};

// Guards each action's requests as the camera receives them and its result
// text: the I2C slave in wIndex, the memory type and address bits 16..19 in
// wValue, register values high byte first (1A2B is sent as 1A 2B), a
// register read shown without leading zeros, an empty byte list sent as a
// 0-byte write. Guards against a log that shows what the viewer expects
// rather than what the library sent: it lists exactly the camera's requests,
// in order, each status read of a busy memory counted.
TEST_F(DebugActionsTest, RequestsReachTheCameraAsLogged)
{
    const uint8_t sensorBytes[] = {0x00, 0x11, 0x22};
    const uint8_t sub[] = {0x00};
    const uint8_t eeprom[] = {0xAB, 0xCD};
    const struct {
        const char* name;
        std::function<DebugResult()> action;
        std::vector<Packet> packets;  // status reads (0x12) left out
        std::string text;
    } cases[] = {
        {"I2C write", [&] { return i2cWrite(0x58, sensorBytes); }, {{0x40, 0x15, 0, 0x58, 3}}, "success."},
        {"I2C write/read", [&] { return i2cWriteRead(0x58, sub, 2); },
         {{0x40, 0x15, 0, 0x58, 1}, {0xC0, 0x14, 0, 0x58, 2}}, "11 22 "},
        {"I2C empty write", [&] { return i2cWrite(0x58, {}); }, {{0x40, 0x15, 0, 0x58, 0}}, "failed."},
        {"I2C read, no such slave", [&] { return i2cRead(0x50, 1); }, {{0xC0, 0x14, 0, 0x50, 1}}, "failed."},
        {"I2C write/read, write fails", [&] { return i2cWriteRead(0x50, sub, 2); }, {{0x40, 0x15, 0, 0x50, 1}},
         "write failed."},
        {"register write", [&] { return registerWrite(0x0005, 0x71A2B); }, {{0x40, 0x19, 0, 5, 2}}, "success."},
        {"register read", [&] { return registerRead(0x0005); }, {{0xC0, 0x18, 0, 5, 2}}, "1A2B"},
        {"FX2 write", [&] { return memoryWrite(0, 0x4000, eeprom); }, {{0x40, 0x17, 0x0000, 0x4000, 2}}, "success."},
        {"FX2 write, busy for three reads", [&] { QDXSim_SetMemoryState(0, 1, 3); return memoryWrite(0, 0x4000, eeprom); },
         {{0x40, 0x17, 0x0000, 0x4000, 2}}, "success."},
        {"FX2 read", [&] { return memoryRead(0, 0x4000, 2); }, {{0xC0, 0x16, 0x0000, 0x4000, 2}}, "AB CD "},
        {"CIS read high address", [&] { return memoryRead(1, 0x12345, 1); }, {{0xC0, 0x16, 0x1001, 0x2345, 1}}, "FF "},
        {"register beyond 16 bits", [&] { return registerWrite(0x10005, 1); }, {}, "failed."},
        {"register read beyond 16 bits", [&] { return registerRead(0x10000); }, {}, "failed."},
        {"memory beyond 20 bits", [&] { return memoryWrite(0, 0x104000, eeprom); }, {}, "failed."},
        {"memory running past the end", [&] { return memoryWrite(0, 0xFFFFF, eeprom); }, {}, "failed."},
        {"memory read past the end", [&] { return memoryRead(0, 0x100000, 1); }, {}, "read failed."},
    };
    for (const auto& c : cases) {
        const int before = QDXSim_GetRequestCount(-1);
        const DebugResult result = c.action();
        std::vector<Packet> sent = requestsSince(before);
        std::erase_if(sent, [](const Packet& p) { return p.bRequest == 0x12; });
        EXPECT_EQ(sent, c.packets) << c.name;
        EXPECT_EQ(result.text, c.text) << c.name;
        std::vector<Packet> logged;
        std::string lines;
        for (const Transaction& t : result.log) {
            for (int i = 0; t.hasSetup && i < t.repeats; ++i)
                logged.push_back({t.bmRequestType, t.bRequest, t.wValue, t.wIndex, t.wLength});
            lines += transactionLine(t) + "\n";
        }
        EXPECT_EQ(logged, requestsSince(before)) << c.name << ":\n" << lines;
        if (c.packets.empty()) {
            EXPECT_NE(lines.find("not sent"), std::string::npos) << c.name << ": " << lines;
        }
    }
    EXPECT_EQ(qdx::test::simRegister(QDX_REG_CONTROL_TARGET), 0x1A2B);
    QDXSim_SetRegister(QDX_REG_HYSTERESIS_A2, 0x001F, 0);
    EXPECT_EQ(registerRead(7).text, "1F");
}

// Guards the EEPROM write's wait for its memory: every state of the status
// record gives its own text, a memory busy for a few reads is waited for, and
// one stuck busy ends the wait after the limit instead of hanging.
TEST_F(DebugActionsTest, EepromWriteWaitsForTheMemoryWithinALimit)
{
    const uint8_t byte[] = {0x5A};
    const struct {
        const char* name;
        std::function<void()> arrange;
        int type;
        const char* text;
    } cases[] = {
        {"ready", [] {}, 0, "success."},
        {"busy for three reads", [] { QDXSim_SetMemoryState(0, 1, 3); }, 0, "success."},
        {"in error", [] { QDXSim_SetMemoryState(0, 2, -1); }, 0, "failed.(error.)"},
        {"no sensor head", [] { QDXSim_SetCisPresent(0); }, 1, "failed.(none)"},
        {"status read fails", [] { QDXSim_FailRequests(0x12, 1); }, 0, "failed.(func.)"},
        {"stuck busy", [] { QDXSim_SetMemoryState(1, 1, -1); }, 1, "failed.(busy)"},
    };
    for (const auto& c : cases) {
        c.arrange();
        const int writes = QDXSim_GetRequestCount(0x17);
        EXPECT_EQ(memoryWrite(c.type, 0x0100, byte, std::chrono::milliseconds(200)).text, c.text) << c.name;
        EXPECT_EQ(QDXSim_GetRequestCount(0x17) - writes, std::string(c.text) == "success." ? 1 : 0) << c.name;
        QDXSim_SetMemoryState(0, 0, 0);
        QDXSim_SetMemoryState(1, 0, 0);
        QDXSim_SetCisPresent(1);
    }
}

// Guards the serial number: written (the memory's header first) and read
// back, and with the sensor head missing both say so instead of nothing.
TEST_F(DebugActionsTest, SerialNumberWriteShowsItsOutcome)
{
    EXPECT_EQ(serialNumberWrite("SN-0042").text, "success.");
    EXPECT_EQ(serialNumberRead().text, "SN-0042");
    EXPECT_EQ(serialNumberWrite("ABCDEFGHIJKLMNOPQ").text, "success.");
    EXPECT_EQ(serialNumberRead().text, "ABCDEFGHIJKLMN") << "fourteen characters are kept";

    QDXSim_SetCisPresent(0);
    EXPECT_EQ(serialNumberWrite("SN-0043").text, "failed.(none)");
    EXPECT_EQ(serialNumberRead().text, "failed.");
    QDX_Term();
    const DebugResult stopped = registerRead(0);
    EXPECT_EQ(stopped.text, "failed.") << "no camera";
    ASSERT_EQ(stopped.log.size(), 1u);
    EXPECT_EQ(transactionLine(stopped.log[0]), "QDX_DeviceRead  result 1  (nothing sent)");
    EXPECT_EQ(memoryRead(0, 0, 1).text, "read failed.") << "no camera";
}

}  // namespace
}  // namespace qdx::viewer::test
