// The settings file's text: its rows, how it is read and how it is written.
// No library calls, so the parser can be fuzzed on its own.
#include <charconv>
#include <cstdio>

#include "SettingsFile.h"

namespace qdx::viewer {
namespace {

using S = SettingId;
using E = ValueEncoding;

constexpr std::array<SettingsFileRow, kSettingsFileValues> kRows{{
    {S::Mode, E::U16}, {S::Alc, E::U16},
    {S::BlackLevel, E::U16}, {S::ExposureTime, E::U16}, {S::RawGain, E::U16}, {S::ControlTarget, E::U16},
    {S::HysteresisA1, E::U16}, {S::HysteresisA2, E::U16}, {S::HysteresisB1, E::U16}, {S::HysteresisB2, E::U16},
    {S::ControlSpeed, E::U16}, {S::ControlArea1, E::U16}, {S::ControlArea2, E::U16},
    {S::OnePushAwb, E::U16},
    {S::RedGain, E::Sm8}, {S::BlueGain, E::Sm8},
    {S::MatrixRr, E::S9}, {S::MatrixRg, E::S9}, {S::MatrixRb, E::S9}, {S::MatrixGr, E::S9}, {S::MatrixGg, E::S9},
    {S::MatrixGb, E::S9}, {S::MatrixBr, E::S9}, {S::MatrixBg, E::S9}, {S::MatrixBb, E::S9},
    {S::YGain, E::Sm8}, {S::CbGain, E::Sm8}, {S::CrGain, E::Sm8},
    {S::Gamma, E::U16}, {S::ImageFlip, E::U16}, {S::ImageRotation, E::U16}, {S::DviImageSize, E::U16},
    {S::DpCorrection, E::U16}, {S::FpnCorrection, E::U16},
    {S::FineAdjust, E::U16},
    {S::NoiseReduction, E::U16}, {S::EdgeEnhancement, E::U16}, {S::VfpnCorrection, E::U16},
}};

struct Range {
    int low, high;
};

constexpr Range rangeOf(ValueEncoding encoding)
{
    switch (encoding) {
    case E::Sm8:
        return {-255, 255};
    case E::S9:
        return {-256, 255};
    case E::U16:
        break;
    }
    return {0, 65535};
}

constexpr bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view trimmed(std::string_view line)
{
    while (!line.empty() && isBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && isBlank(line.back()))
        line.remove_suffix(1);
    return line;
}

// A line as a reason may quote it: short, and printable.
std::string quoted(std::string_view line)
{
    constexpr std::size_t kLongest = 24;
    std::string text = "\"";
    for (const char c : line.substr(0, kLongest))
        text += c >= 0x20 && c < 0x7F ? c : '?';
    return text + (line.size() > kLongest ? "...\"" : "\"");
}

// Takes the next line off text (without its LF); false at the end.
bool nextLine(std::string_view& text, std::string_view& line)
{
    if (text.empty())
        return false;
    const auto end = text.find('\n');
    line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    return true;
}

}  // namespace

std::span<const SettingsFileRow, kSettingsFileValues> settingsFileRows()
{
    return kRows;
}

std::string SettingsFileProblem::text() const
{
    return "line " + std::to_string(line) + ": " + reason;
}

std::optional<SettingsFileValues> parseSettingsFile(std::string_view text, SettingsFileProblem& problem)
{
    const auto refuse = [&](int line, std::string reason) {
        problem = {line, std::move(reason)};
        return std::nullopt;
    };
    std::string_view line;
    if (!nextLine(text, line) || trimmed(line) != kSettingsFileHeader)
        return refuse(1, "not a QDX settings file: the first line is not \"" + std::string(kSettingsFileHeader) +
                             "\"");
    SettingsFileValues values{};
    for (int i = 0; i < kSettingsFileValues; ++i) {
        const int number = i + 2;
        if (!nextLine(text, line))
            return refuse(number, "the file ends after line " + std::to_string(number - 1) + "; " +
                                      std::to_string(kSettingsFileLines) + " lines expected");
        const std::string_view field = trimmed(line);
        if (field.empty())
            return refuse(number, "no value");
        // A sign as "%d" reads it: from_chars takes '-' but not '+'.
        std::string_view digits = field;
        if (digits.size() > 1 && digits[0] == '+' && digits[1] >= '0' && digits[1] <= '9')
            digits.remove_prefix(1);
        long long value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (end != digits.data() + digits.size() || error == std::errc::invalid_argument)
            return refuse(number, quoted(line) + " is not a whole number");
        const Range range = rangeOf(kRows[static_cast<std::size_t>(i)].encoding);
        if (error == std::errc::result_out_of_range || value < range.low || value > range.high)
            return refuse(number, quoted(field) + " is outside " + std::to_string(range.low) + ".." +
                                      std::to_string(range.high));
        values[static_cast<std::size_t>(i)] = static_cast<int>(value);
    }
    for (int number = kSettingsFileLines + 1; nextLine(text, line); ++number)
        if (!trimmed(line).empty())
            return refuse(number, "text after the last value");
    return values;
}

std::string formatSettingsFile(const SettingsFileValues& values)
{
    std::string text(kSettingsFileHeader);
    text += '\n';
    for (const int value : values) {
        char line[16];
        std::snprintf(line, sizeof line, "%d\n", value);
        text += line;
    }
    return text;
}

}  // namespace qdx::viewer
