#include "DebugAccess.h"

#include <algorithm>
#include <cstdio>
#include <thread>

#include "QDX_API.h"
#include "protocol/VendorRequests.h"

namespace qdx::viewer {
namespace {

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
