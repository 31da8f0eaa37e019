#include "ViewerConfig.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

namespace qdx::viewer {
namespace {

namespace fs = std::filesystem;

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
    const std::size_t lf = text.find('\n', begin);
    line.terminated = lf != std::string_view::npos;
    line.next = line.terminated ? lf + 1 : text.size();
    line.end = line.terminated ? lf : text.size();
    if (line.end > begin && text[line.end - 1] == '\r')
        --line.end;
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

std::string_view lineEnding(std::string_view text)
{
    const std::size_t lf = text.find('\n');
    return lf != std::string_view::npos && lf > 0 && text[lf - 1] == '\r' ? "\r\n" : "\n";
}

enum class ReadResult { Read, Missing, NotRegular, Unreadable, TooLarge, Binary };

// Never holds more than kMaxConfigBytes + 1 bytes of the file.
ReadResult readCapped(const fs::path& path, std::string& text)
{
    std::error_code error;
    const fs::file_type type = fs::status(path, error).type();
    if (type == fs::file_type::not_found)
        return ReadResult::Missing;
    if (error)
        return ReadResult::Unreadable;
    // A FIFO or device would block the open or never end.
    if (type != fs::file_type::regular)
        return ReadResult::NotRegular;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return ReadResult::Unreadable;
    text.resize(kMaxConfigBytes + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad())
        return ReadResult::Unreadable;
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxConfigBytes)
        return ReadResult::TooLarge;
    if (text.find('\0') != std::string::npos)
        return ReadResult::Binary;
    return ReadResult::Read;
}

const char* whyNotRead(ReadResult result)
{
    switch (result) {
    case ReadResult::NotRegular:
        return "is not a regular file";
    case ReadResult::Unreadable:
        return "cannot be read";
    case ReadResult::TooLarge:
        return "is larger than 64 KiB";
    case ReadResult::Binary:
        return "holds NUL bytes, so is no text";
    default:
        return "";
    }
}

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// A hidden, uniquely named file beside target, created exclusively so that
// nothing already there (a link planted under that name) is followed.
File createTemporaryBeside(const fs::path& target, fs::path& tempPath)
{
    std::random_device random;
    for (int attempt = 0; attempt < 8; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, ".tmp-%08x", static_cast<unsigned>(random()));
        tempPath = target.parent_path() / ("." + target.filename().string() + suffix);
        if (std::FILE* file = std::fopen(tempPath.c_str(), "wbx"))
            return File(file, &std::fclose);
        if (errno != EEXIST)
            break;
    }
    return File(nullptr, &std::fclose);
}

// Replaces the file's contents all at once: a reader, or a crash part-way,
// sees the old text or the new, never a truncated file.
bool replaceFile(const fs::path& path, std::string_view text)
{
    std::error_code error;
    // Through a symbolic link the link stays and the file it names is replaced.
    fs::path target = path;
    if (fs::is_symlink(fs::symlink_status(path, error))) {
        target = fs::weakly_canonical(path, error);
        if (error)
            return false;
    }
    fs::path tempPath;
    File file = createTemporaryBeside(target, tempPath);
    if (!file)
        return false;
    bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    written = std::fclose(file.release()) == 0 && written;
    if (written) {
        const fs::file_status original = fs::status(target, error);
        if (!error)
            fs::permissions(tempPath, original.permissions(), error);  // best effort
        fs::rename(tempPath, target, error);
        written = !error;
    }
    if (!written)
        fs::remove(tempPath, error);
    return written;
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
    const ReadResult read = readCapped(path, text);
    if (read != ReadResult::Read && read != ReadResult::Missing) {
        std::fprintf(stderr, "QDX_Viewer: %s %s; starting with the defaults and leaving it untouched\n",
                     path.c_str(), whyNotRead(read));
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
