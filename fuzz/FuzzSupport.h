// Helpers shared by the fuzz targets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

// An invariant that must hold for every input. Not assert(): it has to stay
// on whatever the build type, and abort() makes libFuzzer keep the input.
#define QDX_FUZZ_CHECK(condition)                                                                     \
    do {                                                                                              \
        if (!(condition)) {                                                                           \
            std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition);   \
            std::abort();                                                                             \
        }                                                                                             \
    } while (false)

namespace qdx::fuzz {

using Bytes = std::vector<uint8_t>;

// What a device sends for a request of `requested` bytes: at most that many,
// in a buffer of exactly that size, so that ASan reports a read past the
// answer even where the fuzzer's own buffer goes on.
inline Bytes answer(std::span<const uint8_t> sent, std::size_t requested)
{
    return Bytes(sent.begin(), sent.begin() + static_cast<std::ptrdiff_t>(std::min(sent.size(), requested)));
}

// True when bytes hold ascii as UTF-16LE code units, in any letter case, at
// any offset. A parser that reports finding the text must have seen it.
inline bool containsUtf16IgnoringCase(std::span<const uint8_t> bytes, std::string_view ascii)
{
    const auto upper = [](unsigned c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; };
    const std::size_t width = 2 * ascii.size();
    for (std::size_t at = 0; at + width <= bytes.size(); ++at) {
        bool same = true;
        for (std::size_t i = 0; same && i < ascii.size(); ++i)
            same = bytes[at + 2 * i + 1] == 0 &&
                   upper(bytes[at + 2 * i]) == upper(static_cast<unsigned char>(ascii[i]));
        if (same)
            return true;
    }
    return false;
}

}  // namespace qdx::fuzz
