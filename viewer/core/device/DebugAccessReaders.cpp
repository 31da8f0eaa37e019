// The Debug dialog's readers of the operator's text and the bytes shown back:
// apart from the actions so that a fuzz target builds them without the library.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

#include "DebugAccess.h"
#include "HexDigit.h"
#include "QDX_API.h"

namespace qdx::viewer {
namespace {

bool blank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
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

}  // namespace

HexScan scanHex(std::string_view text)
{
    HexScan scan;
    bool negative = false;
    std::size_t i = skipSign(text, negative);
    // "0x" counts as a prefix only when a digit follows; otherwise the 0 is the number.
    if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        hexDigitValue(text[i + 2]) >= 0)
        i += 2;
    uint64_t magnitude = 0;
    bool overflow = false;
    const std::size_t digits = i;
    for (; i < text.size() && hexDigitValue(text[i]) >= 0; ++i) {
        magnitude = magnitude * 16 + static_cast<uint64_t>(hexDigitValue(text[i]));
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
    return static_cast<int>(scanHex(text.substr(0, kSlaveAddressChars)).value & 0x7F);
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
    return scanDecimal(text.substr(0, kMemoryTypeChars)).value == 0 ? QDX_MEMORY_FX2 : QDX_MEMORY_CIS;
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

}  // namespace qdx::viewer
