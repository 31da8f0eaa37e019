#include "ViewerConfig.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <tuple>
#include <utility>
#include <vector>

#include "AtomicFile.h"
#include "RegularFile.h"

namespace qdx::viewer {
namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

enum class LineKind { Other, Section, Key };

// One line of profile text, as offsets into the text.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;   // end of the content, before CR LF or LF
    std::size_t next = 0;  // start of the following line
    bool terminated = false;
    LineKind kind = LineKind::Other;
    std::string_view name;  // of the section or key, trimmed
    std::size_t valueBegin = 0, valueEnd = 0;  // the key's trimmed value
};

Line parseLine(std::string_view text, std::size_t begin)
{
    Line line;
    line.begin = begin;
    // A line ends at LF, CR LF or a CR alone (the old Macintosh ending).
    const std::size_t brk = text.find_first_of("\r\n", begin);
    line.terminated = brk != std::string_view::npos;
    line.end = line.terminated ? brk : text.size();
    line.next = !line.terminated ? text.size() : text.substr(brk, 2) == "\r\n" ? brk + 2 : brk + 1;
    // A UTF-8 byte order mark (editors on Windows write one) is not part of the first line.
    if (begin == 0 && text.substr(0, 3) == "\xEF\xBB\xBF")
        begin = std::min<std::size_t>(3, line.end);

    std::size_t first = begin;
    while (first < line.end && isBlank(text[first]))
        ++first;
    if (first == line.end || text[first] == ';' || text[first] == '#')
        return line;
    const std::string_view content = text.substr(first, line.end - first);
    const auto trimmed = [&](std::size_t from, std::size_t to) {
        while (from < to && isBlank(text[from]))
            ++from;
        while (to > from && isBlank(text[to - 1]))
            --to;
        return std::pair{from, to};
    };
    if (content.front() == '[') {
        const std::size_t close = content.find(']');
        if (close != std::string_view::npos) {
            const auto [from, to] = trimmed(first + 1, first + close);
            line.kind = LineKind::Section;
            line.name = text.substr(from, to - from);
        }
        return line;
    }
    const std::size_t equals = content.find('=');
    if (equals != std::string_view::npos) {
        const auto [from, to] = trimmed(first, first + equals);
        line.kind = LineKind::Key;
        line.name = text.substr(from, to - from);
        std::tie(line.valueBegin, line.valueEnd) = trimmed(first + equals + 1, line.end);
    }
    return line;
}

std::vector<Line> parseLines(std::string_view text)
{
    std::vector<Line> lines;
    for (std::size_t begin = 0; begin < text.size(); begin = lines.back().next)
        lines.push_back(parseLine(text, begin));
    return lines;
}

// Where key sits in the first section named section.
struct KeyPlace {
    const Line* section = nullptr;
    const Line* key = nullptr;
    const Line* lastKeyLine = nullptr;  // of the section, or its header when it has none
};

KeyPlace findKey(const std::vector<Line>& lines, std::string_view section, std::string_view key)
{
    KeyPlace place;
    for (const Line& line : lines) {
        if (line.kind == LineKind::Section) {
            if (place.section)
                break;
            if (equalsIgnoringCase(line.name, section))
                place.section = place.lastKeyLine = &line;
        } else if (place.section && line.kind == LineKind::Key) {
            place.lastKeyLine = &line;
            if (!place.key && equalsIgnoringCase(line.name, key))
                place.key = &line;
        }
    }
    return place;
}

// The first line's ending; LF for a file of one line or none.
std::string_view lineEnding(std::string_view text)
{
    const std::size_t brk = text.find_first_of("\r\n");
    if (brk == std::string_view::npos || text[brk] == '\n')
        return "\n";
    return text.substr(brk, 2) == "\r\n" ? "\r\n" : "\r";
}

// The file's text, never more than kMaxConfigBytes + 1 bytes of it; false
// with why (naming the path) when it is there but no settings file.
bool readConfig(const std::string& path, std::string& text, bool& missing, std::string& why)
{
    struct stat status {};
    // A link to nothing counts as no file: the write-back replaces the link.
    missing = ::stat(path.c_str(), &status) != 0 && errno == ENOENT;
    if (missing)
        return true;
    if (!readRegularFile(path, kMaxConfigBytes, text, why))
        return false;
    if (text.find('\0') != std::string::npos) {
        why = path + ": holds NUL bytes, so is no text";
        return false;
    }
    return true;
}

// Replaces the file's contents all at once: a reader, or a crash part-way,
// sees the old text or the new, never a truncated file. The file keeps its
// permissions; a symbolic link under the name is replaced, as by every
// writer of the viewer, not followed into the file it names.
bool replaceFile(const std::string& path, std::string_view text)
{
    struct stat status {};
    const bool regular = ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
    AtomicFile file;
    std::string why;
    if (!file.open(path, why) || !file.write(text, why))
        return false;
    if (regular)
        ::fchmod(::fileno(file.stream()), status.st_mode & 07777);  // best effort
    return file.commit(why);
}

}  // namespace

int parseProfileInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}

std::optional<std::string> profileValue(std::string_view text, std::string_view section, std::string_view key)
{
    const std::vector<Line> lines = parseLines(text);
    const KeyPlace place = findKey(lines, section, key);
    if (!place.key)
        return std::nullopt;
    return std::string(text.substr(place.key->valueBegin, place.key->valueEnd - place.key->valueBegin));
}

std::string setProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value)
{
    const std::vector<Line> lines = parseLines(text);
    const KeyPlace place = findKey(lines, section, key);
    const std::string_view eol = lineEnding(text);
    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    if (place.key) {
        out.append(text.substr(0, place.key->valueBegin)).append(value).append(text.substr(place.key->valueEnd));
    } else if (place.section) {
        const Line& after = *place.lastKeyLine;
        out.append(text.substr(0, after.next));
        if (!after.terminated)
            out.append(eol);
        out.append(key).append("=").append(value).append(eol).append(text.substr(after.next));
    } else {
        out.append(text);
        if (!lines.empty()) {
            const Line& last = lines.back();
            if (!last.terminated)
                out.append(eol);
            const std::string_view content = text.substr(last.begin, last.end - last.begin);
            if (content.find_first_not_of(" \t") != std::string_view::npos)
                out.append(eol);  // the blank line before the new section
        }
        out.append("[").append(section).append("]").append(eol);
        out.append(key).append("=").append(value).append(eol);
    }
    return out;
}

ViewerConfig loadAndWriteBackConfig(const std::string& path)
{
    std::string text;
    bool missing = false;
    if (std::string why; !readConfig(path, text, missing, why)) {
        std::fprintf(stderr, "QDX_Viewer: %s; starting with the defaults and leaving it untouched\n", why.c_str());
        return {};
    }
    ViewerConfig config;
    config.windowMode = parseProfileInt(profileValue(text, kConfigSection, kWindowModeKey).value_or(""));
    config.expertMode = parseProfileInt(profileValue(text, kConfigSection, kExpertModeKey).value_or(""));
    std::string updated = setProfileValue(text, kConfigSection, kWindowModeKey, std::to_string(config.windowMode));
    updated = setProfileValue(updated, kConfigSection, kExpertModeKey, std::to_string(config.expertMode));
    // Growing past the cap would make the next start ignore the file.
    if (updated != text && updated.size() <= kMaxConfigBytes)
        replaceFile(path, updated);
    return config;
}

}  // namespace qdx::viewer
