// Hexadecimal digits as the library and the viewer read them from text.
// Header-only and dependency-free: both sides may include it.
#pragma once

namespace qdx {

// 0..15 for 0-9, a-f and A-F; -1 for any other character (no locale).
constexpr int hexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace qdx
