// The C library's reading of numbers (strtoull, strtoll), held to 32 bits as
// the Debug dialog's readers hold theirs: the answer, written apart from
// them, that DebugAccessTest and the debug_fields fuzz target expect.
#pragma once

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/device/DebugAccess.h"

namespace qdx::viewer::test {

inline HexScan hexOracle(const std::string& text)
{
    HexScan scan;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text.c_str(), &end, 16);
    scan.found = end != text.c_str();
    if (!scan.found)
        return scan;
    scan.end = static_cast<std::size_t>(end - text.c_str());
    scan.whole = text.find_first_not_of(" \t\n\v\f\r", scan.end) == std::string::npos;
    const bool negative = text.find('-') < text.find_first_of("0123456789abcdefABCDEF");
    const unsigned long long magnitude = negative ? 0ULL - v : v;
    const bool saturated = errno == ERANGE || magnitude > 0xFFFFFFFFULL;
    scan.value = saturated ? 0xFFFFFFFFu : negative ? 0u - static_cast<uint32_t>(magnitude) : static_cast<uint32_t>(magnitude);
    return scan;
}

inline DecimalScan decimalOracle(const std::string& text)
{
    DecimalScan scan;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    scan.found = end != text.c_str();
    if (!scan.found)
        return scan;
    scan.end = static_cast<std::size_t>(end - text.c_str());
    scan.whole = text.find_first_not_of(" \t\n\v\f\r", scan.end) == std::string::npos;
    scan.value = static_cast<int32_t>(std::clamp<long long>(v, INT_MIN, INT_MAX));
    return scan;
}

// A byte list: number after number, one separator character after each, the
// low 8 bits of each, 64 at most.
inline std::vector<uint8_t> byteListOracle(const std::string& text)
{
    std::vector<uint8_t> bytes;
    for (std::size_t at = 0; at < text.size() && bytes.size() < static_cast<std::size_t>(kDebugMostBytes);) {
        const HexScan item = hexOracle(text.substr(at));
        if (!item.found)
            break;
        bytes.push_back(static_cast<uint8_t>(item.value));
        at += item.end + 1;
    }
    return bytes;
}

}  // namespace qdx::viewer::test
