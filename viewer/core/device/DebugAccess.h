// Raw access to the camera as the Debug dialog and qdxctl's i2c, reg and
// eeprom commands offer it: the readers of the operator's hexadecimal and
// decimal input, and one function per action that calls the library, says
// what happened in the dialog's words and lists each request the library
// sent for it, as the library's request observer reports them (the actions
// set that observer, once per process).
// Qt-free. The actions block for the camera's answers (each control transfer
// is bounded by the library, the EEPROM's busy wait by kMemoryBusyLimit):
// call them off the GUI thread.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qdx::viewer {

// ---- Reading numbers --------------------------------------------------------

// One number as the fields are read: leading white space, an optional sign,
// then digits (hexadecimal ones after an optional "0x"). found: digits were
// read; whole: nothing but white space follows; end: where reading stopped.
// Hexadecimal numbers are unsigned 32-bit (a minus sign negates modulo 2^32,
// as "%x" does); decimal ones signed 32-bit. Too large saturates, never wraps.
struct HexScan {
    bool found = false;
    bool whole = false;
    std::size_t end = 0;
    uint32_t value = 0;
};
struct DecimalScan {
    bool found = false;
    bool whole = false;
    std::size_t end = 0;
    int32_t value = 0;
};
HexScan scanHex(std::string_view text);
DecimalScan scanDecimal(std::string_view text);

inline constexpr int kDebugMostBytes = 64;
// How much of each field its reader reads; the rest is ignored.
inline constexpr std::size_t kSlaveAddressChars = 15;
inline constexpr std::size_t kReadSizeChars = 15;
inline constexpr std::size_t kByteListChars = 1023;
inline constexpr std::size_t kMemoryTypeChars = 79;
inline constexpr uint32_t kLastMemoryAddress = 0xFFFFF;  // 20 bits on the wire
inline constexpr uint32_t kLastRegister = 0xFFFF;
inline constexpr std::size_t kSerialNumberChars = 63;

// The bytes of a "Write Data" field, or read from the camera.
struct ByteList {
    std::array<uint8_t, kDebugMostBytes> bytes{};
    int count = 0;
    std::span<const uint8_t> view() const { return {bytes.data(), static_cast<std::size_t>(count)}; }
};

// The fields' readers, each from at most as many characters as its field is
// read. Invalid text reads as 0 (or the least read size).
// Slave address: hexadecimal, its low 7 bits.
int parseSlaveAddress(std::string_view text);
// Read size: decimal, its low 8 bits held to 1..64.
int parseReadSize(std::string_view text);
// Byte list: hexadecimal numbers, the low 8 bits of each, one separator
// character after each; ends at text that is not a number, or 64 bytes.
ByteList parseByteList(std::string_view text);
// Register or memory address, register value: one hexadecimal number, 0
// when none; maxChars: 63 for the FPGA fields, 79 for the EEPROM address.
uint32_t parseHexField(std::string_view text, std::size_t maxChars);
// Memory type: decimal; 0 the FX2 EEPROM, anything else the CIS EEPROM (1).
int parseMemoryType(std::string_view text);

// "%02X " for each byte: "0A 1B FF ".
std::string hexBytes(std::span<const uint8_t> bytes);
// "%02X": "58".
std::string hexByte(int value);

// ---- Actions ----------------------------------------------------------------

// One request the library sent, or one library call (after the requests it
// made, or when it sent nothing).
struct Transaction {
    std::string what;            // "I2C write", "QDX_Check_CISFlash"
    bool hasSetup = false;       // a single control transfer: its setup packet
    uint8_t bmRequestType = 0, bRequest = 0;
    uint16_t wValue = 0, wIndex = 0, wLength = 0;
    std::vector<uint8_t> sent;
    std::vector<uint8_t> received;  // on success
    bool called = true;          // false: refused before anything was sent
    int result = 0;              // the library's result
    int repeats = 1;             // the same request and answer, one after another
    std::string note;
};

// "I2C write  setup 40 15 0000 0058 0002  sent 01 02  result 0".
std::string transactionLine(const Transaction& transaction);

struct DebugResult {
    bool ok = false;
    std::string text;               // what the result field shows
    std::vector<uint8_t> received;  // bytes read, on success
    std::vector<Transaction> log;
};

// How long an EEPROM write waits for a busy memory before giving up.
inline constexpr std::chrono::milliseconds kMemoryBusyLimit{1000};

DebugResult i2cWrite(int slave, std::span<const uint8_t> bytes);
DebugResult i2cRead(int slave, int size);
// The write, and only if it succeeded the read: "write failed.", "read failed.".
DebugResult i2cWriteRead(int slave, std::span<const uint8_t> bytes, int size);
// The value's low 16 bits, high byte first. Registers beyond 0xFFFF fail
// without anything sent.
DebugResult registerWrite(uint32_t address, uint32_t value);
// The value as "%X": "1F".
DebugResult registerRead(uint32_t address);
// Waits while the memory is busy (at most busyLimit: "failed.(busy)"); a
// failed status read gives "failed.(func.)", a memory in error "failed.(error.)",
// an absent one "failed.(none)". Addresses beyond the memory's 20 bits fail
// without anything sent.
DebugResult memoryWrite(int type, uint32_t address, std::span<const uint8_t> bytes,
                        std::chrono::milliseconds busyLimit = kMemoryBusyLimit);
DebugResult memoryRead(int type, uint32_t address, int size);
// The sensor head's serial number: stored after rewriting its memory's header
// (only when the memory is there: "failed.(none)" otherwise); read back as
// text, or "failed.".
DebugResult serialNumberWrite(std::string_view text);
DebugResult serialNumberRead();

}  // namespace qdx::viewer
