#include "CalibrationModel.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "QDX_API.h"

namespace qdx::viewer::calibration {
namespace {

constexpr std::array<SliderEntry, kCalibrationSliders> kSliders{{
    {5101, "Black Level", 0, 255, 0, LabelFormat::Integer, QDX_Set_BlackLevel},
    {5102, "Exposure Time", 0, 438, 400, LabelFormat::Milliseconds, QDX_Set_ExposureTime},
    {5103, "RAW Gain", 16, 255, 16, LabelFormat::Gain, QDX_Set_RawGain},
    {5104, "AGC/AEC/ALC Target", 0, 4095, 50, LabelFormat::Integer, QDX_Set_ControlTarget},
    // The defect-pixel detection's threshold: the viewer's own value.
    {5107, "Threshold Level", 0, 255, 128, LabelFormat::Integer, nullptr},
}};

constexpr const char* kGammaEntries[] = {"Off", "Curve1", "Curve2", "Curve3"};
constexpr const char* kDpModeEntries[] = {"OFF", "ON"};
constexpr const char* kDpTypeEntries[] = {"Dark", "Bright"};
constexpr const char* kFpnModeEntries[] = {"OFF", "ON (Mode2)"};

constexpr std::array<ComboEntry, kCalibrationCombos> kCombos{{
    {4102, "Mode", kGammaEntries},
    {4103, "Mode", kDpModeEntries},
    {4104, "Defect Pixel Type", kDpTypeEntries},
    {4105, "Mode", kFpnModeEntries},
}};

constexpr std::array<const char*, kGroups> kGroupNames{
    "Exposure/Gain Control", "Gamma Setting", "Defective Pixel Detection", "FPN Detection"};

constexpr const char* kZoomEntries[] = {"100%", "200%"};

}  // namespace

std::span<const SliderEntry, kCalibrationSliders> sliders()
{
    return kSliders;
}

std::span<const ComboEntry, kCalibrationCombos> combos()
{
    return kCombos;
}

std::span<const char* const, kGroups> groupNames()
{
    return kGroupNames;
}

std::span<const char* const> zoomEntries()
{
    return kZoomEntries;
}

int pageStep(const SliderEntry& entry)
{
    return (entry.maximum - entry.minimum) / 10;
}

std::string labelText(const SliderEntry& entry, int value)
{
    char text[32];
    switch (entry.format) {
    case LabelFormat::Milliseconds:
        std::snprintf(text, sizeof text, "%.1fms", value * 0.072);
        break;
    case LabelFormat::Gain:
        std::snprintf(text, sizeof text, "x%.3f", value * 0.0625);
        break;
    case LabelFormat::Integer:
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
        break;
    }
    return text;
}

void DpTable::clear()
{
    for (int i = 0; i < kEntries; ++i) {
        bytes_[4 * i] = bytes_[4 * i + 2] = kEmpty >> 8;
        bytes_[4 * i + 1] = bytes_[4 * i + 3] = kEmpty & 0xFF;
    }
}

int DpTable::validCount() const
{
    int n = 0;
    while (n < kEntries && valid(n))
        ++n;
    return n;
}

Values::Values()
{
    for (int i = 0; i < kCalibrationSliders; ++i)
        sliders[static_cast<std::size_t>(i)] = kSliders[static_cast<std::size_t>(i)].defaultValue;
}

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

int cappedFpnGain(int rawGain)
{
    return std::min(rawGain, 64);
}

}  // namespace qdx::viewer::calibration
