// Every camera setting the viewer shows or stores, as one table: its name,
// caption, range and default, how its value label reads, the library calls
// that send and read it, the FPGA register whose change-mask bit reports it,
// and where the pages show it. The pages are built from this table, the
// device monitor reads through it, and tools use its names. Qt-free.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qdx::viewer {

// How a slider value reads on its value label.
enum class LabelFormat {
    Integer,       // "%u"
    Milliseconds,  // "%.1fms" of value x factor
    Times,         // "x%.3f"
    Decibel,       // "%.3fdB"
    Fraction,      // "%.2f"
};

// A slider: its range, default and value label.
struct SliderScale {
    int minimum = 0, maximum = 0, defaultValue = 0;
    LabelFormat format = LabelFormat::Integer;
    double factor = 1;

    // The step of a click beside the thumb: a tenth of the range.
    int pageStep() const { return (maximum - minimum) / 10; }
    // The value label's text for value ("28.8ms", "x1.000", "-8.976dB", "128").
    std::string labelText(int value) const;
};

// The settings in the order of the Picture page: its 23 sliders, then its 14
// combo boxes, then the one setting no page shows.
enum class SettingId : int {
    BlackLevel, ExposureTime, RawGain, ControlTarget,
    HysteresisA1, HysteresisA2, HysteresisB1, HysteresisB2,
    RedGain, BlueGain,
    MatrixRr, MatrixRg, MatrixRb, MatrixGr, MatrixGg, MatrixGb, MatrixBr, MatrixBg, MatrixBb,
    YGain, CbGain, CrGain,
    FineAdjust,
    Mode, Alc, ControlSpeed, ControlArea1, ControlArea2,
    Gamma, ImageFlip, ImageRotation, DviImageSize, DpCorrection, FpnCorrection,
    NoiseReduction, EdgeEnhancement, VfpnCorrection,
    OnePushAwb,
};

inline constexpr int kSettingCount = static_cast<int>(SettingId::OnePushAwb) + 1;
inline constexpr int kPictureSliders = 23;
inline constexpr int kPictureCombos = 14;

enum class ControlKind { Slider, Combo, None };

struct Setting {
    const char* name;     // for scripts: "exposure", "red-gain", ...
    const char* caption;  // as the Picture page labels it
    ControlKind control;
    SliderScale scale;                      // sliders; combos: 0..entries-1
    std::span<const char* const> entries;   // combos, in selection order
    int (*set)(int value);                  // one of set/setAt
    int (*setAt)(int index, int value);
    int (*get)(int* value);                 // one of get/getAt
    int (*getAt)(int index, int* value);
    int index;                              // for setAt/getAt
    int reg;                                // FPGA register (0..47: its bit in the change mask)

    // One library call each; the library's result (0 success).
    int send(int value) const { return set ? set(value) : setAt(index, value); }
    int read(int* value) const { return get ? get(value) : getAt(index, value); }
};

const Setting& setting(SettingId id);
std::span<const Setting, kSettingCount> settings();
std::optional<SettingId> settingByName(std::string_view name);
// The setting a page shows for register reg, if any.
std::optional<SettingId> settingOfRegister(int reg);

// The setting Picture slider k / combo j shows, and the index of the slider or
// combo that shows a setting.
constexpr SettingId pictureSliderSetting(int k) { return static_cast<SettingId>(k); }
constexpr SettingId pictureComboSetting(int j) { return static_cast<SettingId>(kPictureSliders + j); }
constexpr int pictureIndex(SettingId id)
{
    const int i = static_cast<int>(id);
    return i < kPictureSliders ? i : i - kPictureSliders;
}

// "Mode" shows camera control modes 0, 1, 3 as selections 0, 1, 2; a camera
// mode above 2 shows as selection 2.
int modeToCamera(int selection);
int modeFromCamera(int mode);
// The value the camera takes for a combo's entry: Mode's through
// modeToCamera, every other combo's is its entry index.
int comboCameraValue(SettingId id, int entry);

// Whether value is one the pages offer for the setting: a slider's within its
// scale, a combo's the camera value of one of its entries (Mode 0, 1 or 3),
// the white balance 0 or 1. settingValuesText says which ("0..438", "0, 1, 3").
bool settingTakes(SettingId id, int value);
std::string settingValuesText(SettingId id);

// The Calibration page's controls: four sliders of camera settings and its
// detection threshold, and four combo boxes, three of which show a camera
// setting in words of their own.
inline constexpr int kCalibrationSliders = 5;
inline constexpr int kCalibrationCombos = 4;
inline constexpr int kThresholdSlider = 4;   // the viewer's own value, never sent
inline constexpr int kCalGammaMode = 0;      // shows Gamma
inline constexpr int kCalDpMode = 1;         // shows Defect Pixel Corr.
inline constexpr int kCalDpType = 2;         // the viewer's own: which defect table
inline constexpr int kCalFpnMode = 3;        // shows FPN Corr. as "OFF" / "ON (Mode2)"

struct CalibrationControl {
    const char* caption;
    std::optional<SettingId> shows;         // the camera setting, if any
    SliderScale scale;                      // sliders; a setting's own scale when it shows one
    std::span<const char* const> entries;   // combos
};
const CalibrationControl& calibrationSliderControl(int i);
const CalibrationControl& calibrationComboControl(int j);

// The groups of each page, by group index.
std::span<const char* const> pictureGroupNames();
std::span<const char* const> calibrationGroupNames();
std::span<const char* const> zoomEntries();

// The RAW gain FPN correction Mode2 keeps: the camera's gain, at most this.
inline constexpr int kFpnGainCap = 64;

}  // namespace qdx::viewer
