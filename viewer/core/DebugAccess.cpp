#include "DebugAccess.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <thread>

#include "QDX_API.h"
#include "protocol/VendorRequests.h"

namespace qdx::viewer {
namespace {

constexpr std::size_t kSlaveChars = 15;
constexpr std::size_t kReadSizeChars = 15;
constexpr std::size_t kByteListChars = 1023;
constexpr std::size_t kTypeChars = 79;

bool blank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool onlyBlanksFrom(std::string_view text, std::size_t from)
{
    return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), blank);
}

// Leading white space and a sign; returns where the digits may start.
std::size_t skipSign(std::string_view text, bool& negative)
{
    std::size_t i = 0;
    while (i < text.size() && blank(text[i]))
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

Transaction request(std::string what, const SetupPacket& setup)
{
    Transaction t;
    t.what = std::move(what);
    t.hasSetup = true;
    t.bmRequestType = setup.bmRequestType;
    t.bRequest = setup.bRequest;
    t.wValue = setup.wValue;
    t.wIndex = setup.wIndex;
    t.wLength = setup.wLength;
    return t;
}

Transaction refused(std::string what, std::string why)
{
    Transaction t;
    t.what = std::move(what);
    t.called = false;
    t.note = std::move(why);
    return t;
}

std::string hexNumber(uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

DebugResult failed(std::string text, Transaction transaction)
{
    DebugResult result;
    result.text = std::move(text);
    result.log.push_back(std::move(transaction));
    return result;
}

// The result of one request: "success." for a write, the bytes for a read,
// failedText when the library reported an error.
DebugResult outcome(Transaction t, std::span<const uint8_t> read, const char* failedText)
{
    DebugResult result;
    result.ok = t.result == QDX_OK;
    if (!result.ok) {
        result.text = failedText;
    } else if (t.bmRequestType == kVendorOut) {
        result.text = "success.";
    } else {
        result.received.assign(read.begin(), read.end());
        t.received = result.received;
        result.text = hexBytes(result.received);
    }
    result.log.push_back(std::move(t));
    return result;
}

const char* memoryName(int type)
{
    return type == QDX_MEMORY_FX2 ? "FX2 EEPROM" : "CIS EEPROM";
}

}  // namespace

HexScan scanHex(std::string_view text)
{
    HexScan scan;
    bool negative = false;
    std::size_t i = skipSign(text, negative);
    // "0x" counts as a prefix only when a digit follows; otherwise the 0 is the number.
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        hexDigit(text[i + 2]) >= 0)
        i += 2;
    uint64_t magnitude = 0;
    bool overflow = false;
    const std::size_t digits = i;
    for (; i < text.size() && hexDigit(text[i]) >= 0; ++i) {
        magnitude = magnitude * 16 + static_cast<uint64_t>(hexDigit(text[i]));
        if (magnitude > std::numeric_limits<uint32_t>::max()) {
            overflow = true;
            magnitude = std::numeric_limits<uint32_t>::max();
        }
    }
    if (i == digits)
        return scan;
    scan.found = true;
    scan.end = i;
    scan.whole = onlyBlanksFrom(text, i);
    const auto value = static_cast<uint32_t>(magnitude);
    scan.value = overflow ? std::numeric_limits<uint32_t>::max() : negative ? 0u - value : value;
    return scan;
}

DecimalScan scanDecimal(std::string_view text)
{
    DecimalScan scan;
    bool negative = false;
    std::size_t i = skipSign(text, negative);
    const int64_t limit = negative ? -int64_t{std::numeric_limits<int32_t>::min()} : std::numeric_limits<int32_t>::max();
    int64_t magnitude = 0;
    const std::size_t digits = i;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), limit);
    if (i == digits)
        return scan;
    scan.found = true;
    scan.end = i;
    scan.whole = onlyBlanksFrom(text, i);
    scan.value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return scan;
}

int parseSlaveAddress(std::string_view text)
{
    return static_cast<int>(scanHex(text.substr(0, kSlaveChars)).value & 0x7F);
}

int parseReadSize(std::string_view text)
{
    const auto low = static_cast<int>(static_cast<uint32_t>(scanDecimal(text.substr(0, kReadSizeChars)).value) & 0xFF);
    return std::clamp(low, 1, kDebugMostBytes);
}

ByteList parseByteList(std::string_view text)
{
    text = text.substr(0, kByteListChars);
    ByteList list;
    std::size_t at = 0;
    while (list.count < kDebugMostBytes && at < text.size()) {
        const HexScan scan = scanHex(text.substr(at));
        if (!scan.found)
            break;
        list.bytes[static_cast<std::size_t>(list.count++)] = static_cast<uint8_t>(scan.value);
        at += scan.end + 1;  // the number and exactly one separator
    }
    return list;
}

uint32_t parseHexField(std::string_view text, std::size_t maxChars)
{
    return scanHex(text.substr(0, maxChars)).value;
}

int parseMemoryType(std::string_view text)
{
    return scanDecimal(text.substr(0, kTypeChars)).value == 0 ? QDX_MEMORY_FX2 : QDX_MEMORY_CIS;
}

std::string hexBytes(std::span<const uint8_t> bytes)
{
    std::string text;
    text.reserve(bytes.size() * 3);
    for (const uint8_t byte : bytes)
        text += hexByte(byte) + ' ';
    return text;
}

std::string hexByte(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

std::string transactionLine(const Transaction& t)
{
    std::string line = t.what;
    if (t.hasSetup) {
        char setup[40];
        std::snprintf(setup, sizeof setup, "  setup %02X %02X %04X %04X %04X", t.bmRequestType, t.bRequest, t.wValue,
                      t.wIndex, t.wLength);
        line += setup;
    }
    const auto bytes = [](const std::vector<uint8_t>& b) {
        std::string text = hexBytes(b);
        text.pop_back();  // the space after the last byte
        return text;
    };
    if (!t.sent.empty())
        line += "  sent " + bytes(t.sent);
    if (!t.called) {
        line += "  not sent";
    } else {
        line += "  result " + std::to_string(t.result);
        if (!t.received.empty())
            line += "  received " + bytes(t.received);
    }
    if (!t.note.empty())
        line += "  (" + t.note + ")";
    return line;
}

DebugResult i2cWrite(int slave, std::span<const uint8_t> bytes)
{
    Transaction t = request("I2C write", i2cRequest(false, slave, static_cast<uint16_t>(bytes.size())));
    t.sent.assign(bytes.begin(), bytes.end());
    t.result = QDX_I2CWrite(slave, static_cast<int>(bytes.size()), bytes.data());
    return outcome(std::move(t), {}, "failed.");
}

DebugResult i2cRead(int slave, int size)
{
    size = std::clamp(size, 1, kDebugMostBytes);
    Transaction t = request("I2C read", i2cRequest(true, slave, static_cast<uint16_t>(size)));
    std::array<uint8_t, kDebugMostBytes> buffer{};
    t.result = QDX_I2CRead(slave, size, buffer.data());
    return outcome(std::move(t), std::span(buffer).first(static_cast<std::size_t>(size)), "failed.");
}

DebugResult i2cWriteRead(int slave, std::span<const uint8_t> bytes, int size)
{
    DebugResult write = i2cWrite(slave, bytes);
    if (!write.ok) {
        write.text = "write failed.";
        return write;
    }
    DebugResult read = i2cRead(slave, size);
    read.log.insert(read.log.begin(), std::move(write.log.front()));
    if (!read.ok)
        read.text = "read failed.";
    return read;
}

DebugResult registerWrite(uint32_t address, uint32_t value)
{
    if (address > kLastRegister)
        return failed("failed.", refused("register write", "register " + hexNumber(address, 4) +
                                                               " is beyond the 16-bit register numbers"));
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    Transaction t = request("register write", registerRequest(false, kDeviceFpga, static_cast<int>(address), 2));
    t.sent.assign(std::begin(bytes), std::end(bytes));
    t.result = QDX_DeviceWrite(0, static_cast<int>(address), 2, bytes);
    return outcome(std::move(t), {}, "failed.");
}

DebugResult registerRead(uint32_t address)
{
    if (address > kLastRegister)
        return failed("failed.", refused("register read", "register " + hexNumber(address, 4) +
                                                              " is beyond the 16-bit register numbers"));
    uint8_t bytes[2] = {};
    Transaction t = request("register read", registerRequest(true, kDeviceFpga, static_cast<int>(address), 2));
    t.result = QDX_DeviceRead(0, static_cast<int>(address), 2, bytes);
    DebugResult result = outcome(std::move(t), bytes, "failed.");
    if (result.ok) {
        char text[8];
        std::snprintf(text, sizeof text, "%X", bytes[0] * 256 + bytes[1]);
        result.text = text;
    }
    return result;
}

namespace {

// The range [address, address + count) lies within the memory's 20 bits.
bool memoryRange(uint32_t address, std::size_t count, std::string& why)
{
    if (address <= kLastMemoryAddress && count <= kLastMemoryAddress + 1 - address)
        return true;
    why = "address " + hexNumber(address, 5) + (count > 1 ? " + " + std::to_string(count) + " bytes" : "") +
          " is beyond the 20-bit memory addresses";
    return false;
}

}  // namespace

DebugResult memoryWrite(int type, uint32_t address, std::span<const uint8_t> bytes, std::chrono::milliseconds busyLimit)
{
    type = type == QDX_MEMORY_FX2 ? QDX_MEMORY_FX2 : QDX_MEMORY_CIS;
    if (std::string why; !memoryRange(address, bytes.size(), why))
        return failed("failed.", refused("memory write", why));

    // The memory finishes a write on its own; a further write waits until it
    // is no longer busy, but not forever: a memory stuck busy is a fault.
    Transaction poll = request("status read", deviceStatusRequest());
    const auto deadline = std::chrono::steady_clock::now() + busyLimit;
    int reads = 0;
    uint8_t state = kMemoryBusy;
    for (;;) {
        uint8_t record[64] = {};
        poll.result = QDX_GetDevStatus(sizeof record, record);
        ++reads;
        if (poll.result != QDX_OK) {
            poll.note = std::to_string(reads) + (reads == 1 ? " read" : " reads");
            return failed("failed.(func.)", std::move(poll));
        }
        state = record[type == QDX_MEMORY_FX2 ? status::kFx2MemoryState : status::kCisMemoryState];
        if (state != kMemoryBusy)
            break;
        if (std::chrono::steady_clock::now() >= deadline) {
            poll.note = std::string(memoryName(type)) + " still busy after " + std::to_string(reads) + " reads";
            return failed("failed.(busy)", std::move(poll));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    static constexpr const char* kStates[] = {"ready", "busy", "error", "absent"};
    poll.note = std::string(memoryName(type)) + " " + (state < 4 ? kStates[state] : "state " + std::to_string(state)) +
                (reads > 1 ? " after " + std::to_string(reads) + " reads" : "");
    if (state == kMemoryError || state == kMemoryAbsent)
        return failed(state == kMemoryError ? "failed.(error.)" : "failed.(none)", std::move(poll));

    Transaction t = request("memory write", memoryRequest(false, type, address, static_cast<uint16_t>(bytes.size())));
    t.sent.assign(bytes.begin(), bytes.end());
    t.result = QDX_FlashWrite(type, address, static_cast<int>(bytes.size()), bytes.data());
    DebugResult written = outcome(std::move(t), {}, "failed.");
    written.log.insert(written.log.begin(), std::move(poll));
    return written;
}

DebugResult memoryRead(int type, uint32_t address, int size)
{
    type = type == QDX_MEMORY_FX2 ? QDX_MEMORY_FX2 : QDX_MEMORY_CIS;
    size = std::clamp(size, 1, kDebugMostBytes);
    if (std::string why; !memoryRange(address, static_cast<std::size_t>(size), why))
        return failed("read failed.", refused("memory read", why));
    std::array<uint8_t, kDebugMostBytes> buffer{};
    Transaction t = request("memory read", memoryRequest(true, type, address, static_cast<uint16_t>(size)));
    t.result = QDX_FlashRead(type, address, size, buffer.data());
    return outcome(std::move(t), std::span(buffer).first(static_cast<std::size_t>(size)), "read failed.");
}

namespace {

Transaction libraryCall(std::string what, int result, std::string note = {})
{
    Transaction t;
    t.what = std::move(what);
    t.result = result;
    t.note = std::move(note);
    return t;
}

}  // namespace

DebugResult serialNumberWrite(std::string_view text)
{
    DebugResult result;
    int state = -1;
    const int check = QDX_Check_CISFlash(&state);
    result.log.push_back(libraryCall("QDX_Check_CISFlash", check, check == QDX_OK ? "state " + std::to_string(state) : ""));
    if (check != QDX_OK) {
        result.text = "failed.";
        return result;
    }
    if (state == QDX_CIS_FLASH_ABSENT) {
        result.text = "failed.(none)";
        return result;
    }
    const int init = QDX_Init_CISFlash(1);
    result.log.push_back(libraryCall("QDX_Init_CISFlash(1)", init));
    if (init != QDX_OK) {
        result.text = "failed.";
        return result;
    }
    unsigned char buffer[kSerialNumberChars + 1] = {};
    text = text.substr(0, kSerialNumberChars);
    std::copy(text.begin(), text.end(), buffer);
    const int save = QDX_Save_CIS_SerialNo(buffer);
    result.log.push_back(libraryCall("QDX_Save_CIS_SerialNo", save, "\"" + std::string(text.substr(0, 14)) + "\""));
    result.ok = save == QDX_OK;
    result.text = result.ok ? "success." : "failed.";
    return result;
}

DebugResult serialNumberRead()
{
    unsigned char buffer[64] = {};
    DebugResult result;
    const int load = QDX_Load_CIS_SerialNo(buffer);
    result.ok = load == QDX_OK;
    // Fourteen bytes at most, not terminated when all are used: the buffer's
    // zeros end the text.
    result.text = result.ok ? std::string(reinterpret_cast<const char*>(buffer)) : "failed.";
    result.log.push_back(libraryCall("QDX_Load_CIS_SerialNo", load, result.ok ? "\"" + result.text + "\"" : ""));
    return result;
}

}  // namespace qdx::viewer
