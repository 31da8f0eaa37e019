#include "GammaFile.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <iterator>
#include <limits>

#include "AtomicFile.h"

namespace qdx::viewer {
namespace {

constexpr std::size_t kMaxLine = 255;  // characters a line is read in, its line end included
constexpr std::size_t kShortestEntry = 6;

bool isBlank(char c)
{
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// One integer as a "%d" conversion takes it: blanks, an optional sign, at
// least one digit. False for no integer or one beyond 32 bits.
bool takeInteger(std::string_view& line, long& value)
{
    std::size_t at = 0;
    while (at < line.size() && isBlank(line[at]))
        ++at;
    bool negative = false;
    if (at < line.size() && (line[at] == '+' || line[at] == '-'))
        negative = line[at++] == '-';
    const char* first = line.data() + at;
    const char* last = line.data() + line.size();
    if (first == last || !std::isdigit(static_cast<unsigned char>(*first)))
        return false;  // from_chars would take a second sign
    long long magnitude = 0;
    const auto [end, error] = std::from_chars(first, last, magnitude);
    if (error != std::errc())
        return false;
    const long long signedValue = negative ? -magnitude : magnitude;
    if (signedValue < std::numeric_limits<int32_t>::min() || signedValue > std::numeric_limits<int32_t>::max())
        return false;
    value = static_cast<long>(signedValue);
    line.remove_prefix(static_cast<std::size_t>(end - line.data()));
    return true;
}

bool parseEntry(std::string_view line, std::array<long, 3>& values)
{
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (!takeInteger(line, values[i]))
            return false;
        if (i + 1 < values.size()) {
            if (line.empty() || line.front() != ',')
                return false;
            line.remove_prefix(1);
        }
    }
    return true;
}

}  // namespace

bool parseGammaText(std::string_view text, GammaTables& tables)
{
    int entries = 0;
    std::string line;
    std::size_t at = 0;
    while (at < text.size() && entries < kGammaEntries) {
        // The next line as text mode reads it: CR LF is one line end, and a
        // line ends after 255 characters even without one.
        line.clear();
        while (at < text.size() && line.size() < kMaxLine) {
            if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
                ++at;
            line.push_back(text[at++]);
            if (line.back() == '\n')
                break;
        }
        // Characters after a NUL byte are not part of the line's text.
        const std::string_view content(line.c_str());
        if (content.size() < kShortestEntry || content.front() == '#' || content.front() == '/' ||
            content.front() == ';')
            continue;
        std::array<long, 3> values{};
        if (!parseEntry(content, values))
            continue;
        for (std::size_t t = 0; t < values.size(); ++t) {
            const auto v = static_cast<uint16_t>(static_cast<unsigned long>(values[t]) & 0xFFFF);
            tables[t][static_cast<std::size_t>(2 * entries)] = static_cast<uint8_t>(v >> 8);
            tables[t][static_cast<std::size_t>(2 * entries + 1)] = static_cast<uint8_t>(v);
        }
        ++entries;
    }
    return entries == kGammaEntries;
}

bool readGammaFile(const std::string& path, GammaTables& tables)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return !in.bad() && parseGammaText(text, tables);
}

std::string gammaText(const GammaTables& tables)
{
    std::string text;
    text.reserve(static_cast<std::size_t>(kGammaEntries) * 20);
    char number[8];
    for (std::size_t i = 0; i < kGammaEntries; ++i) {
        for (std::size_t t = 0; t < tables.size(); ++t) {
            const unsigned v = static_cast<unsigned>(tables[t][2 * i] << 8 | tables[t][2 * i + 1]);
            const auto [end, error] = std::to_chars(number, number + sizeof number, v);
            text.append(number, end);
            text += t + 1 < tables.size() ? "," : "\r\n";
        }
    }
    return text;
}

bool writeGammaFile(const std::string& path, const GammaTables& tables, std::string& why)
{
    AtomicFile file;
    return file.open(path, why) && file.write(gammaText(tables), why) && file.commit(why);
}

GammaTables identityGamma()
{
    GammaTables tables{};
    for (auto& table : tables)
        for (std::size_t i = 0; i < kGammaEntries; ++i) {
            table[2 * i] = static_cast<uint8_t>(i >> 8);
            table[2 * i + 1] = static_cast<uint8_t>(i);
        }
    return tables;
}

}  // namespace qdx::viewer
