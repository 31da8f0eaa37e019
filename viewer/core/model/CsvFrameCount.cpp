#include "CsvFrameCount.h"

#include <algorithm>
#include <cctype>

namespace qdx::viewer {

int boxNumber(std::string_view text)
{
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    if (text.empty())
        return 0;
    long long n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        n = std::min<long long>(n * 10 + (c - '0'), 1LL << 31);  // beyond any count; saturate, never wrap
    }
    return static_cast<int>(std::min<long long>(n, 0x7FFFFFFF));
}

int csvCountFromText(std::string_view text)
{
    return std::clamp(boxNumber(text), 1, kCsvFramesMax);
}

int csvCountStepped(std::string_view text, bool up)
{
    const long long v = boxNumber(text);
    return static_cast<int>(std::clamp(up ? v + 1 : v - 1, 1LL, static_cast<long long>(kCsvFramesMax)));
}

}  // namespace qdx::viewer
