#include "GammaFile.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>

#include "AtomicFile.h"
#include "RegularFile.h"

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

void GammaParser::take(char c)
{
    line_.push_back(c);
    // A line ends at its LF, or after 255 characters even without one.
    if (c == '\n' || line_.size() == kMaxLine)
        endLine();
}

void GammaParser::endLine()
{
    // Characters after a NUL byte are not part of the line's text.
    const std::string_view content(line_.c_str());
    std::array<long, 3> values{};
    if (content.size() >= kShortestEntry && content.front() != '#' && content.front() != '/' &&
        content.front() != ';' && parseEntry(content, values)) {
        for (std::size_t t = 0; t < values.size(); ++t) {
            const auto v = static_cast<uint16_t>(static_cast<unsigned long>(values[t]) & 0xFFFF);
            tables_[t][static_cast<std::size_t>(2 * entries_)] = static_cast<uint8_t>(v >> 8);
            tables_[t][static_cast<std::size_t>(2 * entries_ + 1)] = static_cast<uint8_t>(v);
        }
        ++entries_;
    }
    line_.clear();
}

bool GammaParser::feed(std::string_view piece)
{
    for (const char c : piece) {
        if (entries_ == kGammaEntries)
            return false;
        // CR LF reads as one LF; a CR is held until the next character says which it is.
        if (heldCr_) {
            heldCr_ = false;
            if (c == '\n') {
                take('\n');
                continue;
            }
            take('\r');
            if (entries_ == kGammaEntries)
                return false;
        }
        if (c == '\r')
            heldCr_ = true;
        else
            take(c);
    }
    return entries_ < kGammaEntries;
}

bool GammaParser::finish()
{
    if (entries_ < kGammaEntries) {
        if (heldCr_)
            take('\r');
        heldCr_ = false;
        if (!line_.empty() && entries_ < kGammaEntries)
            endLine();
    }
    return entries_ == kGammaEntries;
}

bool parseGammaText(std::string_view text, GammaTables& tables)
{
    GammaParser parser(tables);
    parser.feed(text);
    return parser.finish();
}

bool readGammaFile(const std::string& path, GammaTables& tables, std::string& why)
{
    GammaParser parser(tables);
    switch (readRegularChunks(
        path, kMaxGammaFileBytes, [&](std::string_view chunk) { return parser.feed(chunk); }, why)) {
    case ChunkRead::Stopped:
        return true;  // the last entry wanted was read: the rest of the file does not matter
    case ChunkRead::TooLarge:
        why = path + ": no gamma file: " + std::to_string(parser.entries()) + " entries in its first " +
              std::to_string(kMaxGammaFileBytes) + " bytes, 4096 wanted";
        return false;
    case ChunkRead::Failed:
        return false;
    case ChunkRead::Ended:
        break;
    }
    if (parser.finish())
        return true;
    why = path + ": no gamma file: " + std::to_string(parser.entries()) + " entries, 4096 wanted";
    return false;
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
