// The Calibration page without widgets: its control tables, its value state
// and the rules that decide values (CSV frame count, FPN gain cap, defaults).
// The page builds, labels and sends from these tables. Not thread-safe: the
// GUI thread owns it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "PanelLinks.h"

namespace qdx::viewer::calibration {

enum class LabelFormat { Integer, Milliseconds, Gain };

struct SliderEntry {
    int id;           // trackbar 51xx; caption 50xx and label 52xx share its last two digits
    const char* caption;
    int minimum, maximum, defaultValue;
    LabelFormat format;
    int (*send)(int value);  // the camera setter; null: nothing is sent
};

struct ComboEntry {
    int id;  // 41xx; caption 40xx
    const char* caption;
    std::span<const char* const> entries;
};

// A push button of a group; what it does is dispatched by its id.
struct ButtonEntry {
    int id;
    const char* text;
};

inline constexpr int kGroups = 4;
inline constexpr int kCsvFramesMax = 20;

std::span<const SliderEntry, kCalibrationSliders> sliders();
std::span<const ComboEntry, kCalibrationCombos> combos();
// The group selector's entries, by group index.
std::span<const char* const, kGroups> groupNames();
// The display zoom entries.
std::span<const char* const> zoomEntries();

// A trackbar's page step: a tenth of its range.
int pageStep(const SliderEntry& entry);
// The value label's text for a slider value ("28.8ms", "x1.000", "128").
std::string labelText(const SliderEntry& entry, int value);

// Control identifiers other code addresses.
inline constexpr int kGroupSelectorId = 7003;
inline constexpr int kZoomId = 4101;
inline constexpr int kSaveCsvId = 7018;
inline constexpr int kCsvUpDownId = 7019;
inline constexpr int kCsvCountId = 7020;
inline constexpr int kDpResultId = 2001;
inline constexpr int kFpnResultId = 2002;
inline constexpr int kDpSaveId = 3016;
inline constexpr int kFpnSaveId = 3021;

// The viewer's copy of one defect-pixel table: 64 entries of x, y as 16-bit
// big-endian; 511, 511 marks an empty entry.
class DpTable {
public:
    static constexpr int kEntries = 64;
    static constexpr int kEmpty = 511;
    DpTable() { clear(); }
    void clear();
    int x(int entry) const { return bytes_[4 * entry] << 8 | bytes_[4 * entry + 1]; }
    int y(int entry) const { return bytes_[4 * entry + 2] << 8 | bytes_[4 * entry + 3]; }
    bool valid(int entry) const { return x(entry) < kEmpty && y(entry) < kEmpty; }
    // The leading valid entries.
    int validCount() const;
    std::array<uint8_t, 4 * kEntries>& bytes() { return bytes_; }

private:
    std::array<uint8_t, 4 * kEntries> bytes_{};
};

// The page's value state; it outlives the page's widgets.
struct Values {
    Values();
    std::array<int, kCalibrationSliders> sliders{};
    std::array<int, kCalibrationCombos> combos{};
    int groupIndex = 0;
    DpTable dpTable;
};

// The number in the frame-count box, read as an unsigned decimal number
// (surrounding blanks allowed); anything else counts as 0.
int boxNumber(std::string_view text);
// The CSV frame count that the box's text stands for: its number within 1..20.
int csvCountFromText(std::string_view text);
// The count after an arrow of the up-down control; stays within 1..20 from
// any starting text (the box may hold a number beyond the range).
int csvCountStepped(std::string_view text, bool up);

// The RAW gain kept for FPN Mode2: the camera's gain, at most 64.
int cappedFpnGain(int rawGain);

}  // namespace qdx::viewer::calibration
