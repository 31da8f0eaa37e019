#include "Settings.h"

#include <cstdio>

#include "QDX_API.h"

namespace qdx::viewer {
namespace {

constexpr double kMsPerStep = 0.072;
constexpr double kGainPerStep = 0.0625;
constexpr double kDbPerStep = 0.0352;
constexpr double kMatrixPerStep = 0.0078125;

constexpr SliderScale count(int maximum, int def = 0)
{
    return {0, maximum, def, LabelFormat::Integer, 1};
}
constexpr SliderScale kDecibels{-255, 255, 0, LabelFormat::Decibel, kDbPerStep};
constexpr SliderScale matrix(int def)
{
    return {-256, 255, def, LabelFormat::Fraction, kMatrixPerStep};
}
constexpr SliderScale kNoScale{};

constexpr const char* kModes[] = {"MGC+MEC", "MGC+AEC", "AGC+AEC"};
constexpr const char* kOffOnUpper[] = {"OFF", "ON"};
constexpr const char* kOffOn[] = {"Off", "On"};
constexpr const char* kSpeeds[] = {"0", "1", "2", "3", "4", "5", "6", "7"};
constexpr const char* kArea1[] = {"All", "50x50", "100", "150", "200", "250", "300", "350"};
constexpr const char* kArea2[] = {"Inside", "Outside"};
constexpr const char* kGammaCurves[] = {"Off", "Curve1", "Curve2", "Curve3"};
constexpr const char* kFlips[] = {"Normal", "H Flip", "V Flip", "H+V Flip"};
constexpr const char* kRotations[] = {"0 degree", "90 degree", "180 degree", "270 degree"};
constexpr const char* kSizes[] = {"100%", "200%", "Fit to Window"};
constexpr const char* kFpnModes[] = {"Off", "Mode1", "Mode2", "Mode3"};
constexpr const char* kLevels[] = {"Off", "Low", "Mid", "High"};
constexpr const char* kDpTypes[] = {"Dark", "Bright"};
constexpr const char* kCalFpnModes[] = {"OFF", "ON (Mode2)"};
constexpr const char* kPictureGroups[] = {"Exposure/Gain Control", "Color Control", "Image Control"};
constexpr const char* kCalibrationGroups[] = {"Exposure/Gain Control", "Gamma Setting", "Defective Pixel Detection",
                                              "FPN Detection"};

constexpr Setting slider(const char* name, const char* caption, SliderScale scale, int (*set)(int),
                         int (*get)(int*), int reg)
{
    return {name, caption, ControlKind::Slider, scale, {}, set, nullptr, get, nullptr, 0, reg};
}
constexpr Setting sliderAt(const char* name, const char* caption, SliderScale scale, int (*set)(int, int),
                           int (*get)(int, int*), int index, int reg)
{
    return {name, caption, ControlKind::Slider, scale, {}, nullptr, set, nullptr, get, index, reg};
}
template <std::size_t N>
constexpr Setting combo(const char* name, const char* caption, const char* const (&entries)[N], int (*set)(int),
                        int (*get)(int*), int reg)
{
    return {name, caption, ControlKind::Combo, {0, N - 1, 0}, entries, set, nullptr, get, nullptr, 0, reg};
}
template <std::size_t N>
constexpr Setting comboAt(const char* name, const char* caption, const char* const (&entries)[N],
                          int (*set)(int, int), int (*get)(int, int*), int index, int reg)
{
    return {name, caption, ControlKind::Combo, {0, N - 1, 0}, entries, nullptr, set, nullptr, get, index, reg};
}

// In SettingId order.
constexpr std::array<Setting, kSettingCount> kSettings{{
    slider("black-level", "Black Level", count(255), QDX_Set_BlackLevel, QDX_Get_BlackLevel, QDX_REG_BLACK_LEVEL),
    slider("exposure", "Exposure Time", {0, 438, 400, LabelFormat::Milliseconds, kMsPerStep}, QDX_Set_ExposureTime,
           QDX_Get_ExposureTime, QDX_REG_EXPOSURE_TIME),
    slider("raw-gain", "RAW Gain", {16, 255, 16, LabelFormat::Times, kGainPerStep}, QDX_Set_RawGain,
           QDX_Get_RawGain, QDX_REG_RAW_GAIN),
    slider("target", "AGC/AEC/ALC Target", count(4095, 50), QDX_Set_ControlTarget, QDX_Get_ControlTarget,
           QDX_REG_CONTROL_TARGET),
    sliderAt("hysteresis-a1", "Target Hysteresis A1", count(4095), QDX_Set_Hysteresis, QDX_Get_Hysteresis, 0,
             QDX_REG_HYSTERESIS_A1),
    sliderAt("hysteresis-a2", "Target Hysteresis A2", count(4095), QDX_Set_Hysteresis, QDX_Get_Hysteresis, 1,
             QDX_REG_HYSTERESIS_A2),
    sliderAt("hysteresis-b1", "Target Hysteresis B1", count(4095), QDX_Set_Hysteresis, QDX_Get_Hysteresis, 2,
             QDX_REG_HYSTERESIS_B1),
    sliderAt("hysteresis-b2", "Target Hysteresis B2", count(4095), QDX_Set_Hysteresis, QDX_Get_Hysteresis, 3,
             QDX_REG_HYSTERESIS_B2),
    sliderAt("red-gain", "Red Gain", kDecibels, QDX_Set_GainRB, QDX_Get_GainRB, 0, QDX_REG_RED_GAIN),
    sliderAt("blue-gain", "Blue Gain", kDecibels, QDX_Set_GainRB, QDX_Get_GainRB, 1, QDX_REG_BLUE_GAIN),
    sliderAt("matrix-rr", "Color Matrix Rr", matrix(128), QDX_Set_ColorMatrix, QDX_Get_ColorMatrix, 0,
             QDX_REG_COLOR_MATRIX_RR),
    sliderAt("matrix-rg", "Color Matrix Rg", matrix(0), QDX_Set_ColorMatrix, QDX_Get_ColorMatrix, 1,
             QDX_REG_COLOR_MATRIX_RG),
    sliderAt("matrix-rb", "Color Matrix Rb", matrix(0), QDX_Set_ColorMatrix, QDX_Get_ColorMatrix, 2,
             QDX_REG_COLOR_MATRIX_RB),
    sliderAt("matrix-gr", "Color Matrix Gr", matrix(0), QDX_Set_ColorMatrix, QDX_Get_ColorMatrix, 3,
             QDX_REG_COLOR_MATRIX_GR),
    sliderAt("matrix-gg", "Color Matrix Gg", matrix(128), QDX_Set_ColorMatrix, QDX_Get_ColorMatrix, 4,
             QDX_REG_COLOR_MATRIX_GG),
    sliderAt("matrix-gb", "Color Matrix Gb", matrix(0), QDX_Set_ColorMatrix, QDX_Get_ColorMatrix, 5,
             QDX_REG_COLOR_MATRIX_GB),
    sliderAt("matrix-br", "Color Matrix Br", matrix(0), QDX_Set_ColorMatrix, QDX_Get_ColorMatrix, 6,
             QDX_REG_COLOR_MATRIX_BR),
    sliderAt("matrix-bg", "Color Matrix Bg", matrix(0), QDX_Set_ColorMatrix, QDX_Get_ColorMatrix, 7,
             QDX_REG_COLOR_MATRIX_BG),
    sliderAt("matrix-bb", "Color Matrix Bb", matrix(128), QDX_Set_ColorMatrix, QDX_Get_ColorMatrix, 8,
             QDX_REG_COLOR_MATRIX_BB),
    sliderAt("y-gain", "Y Gain", kDecibels, QDX_Set_GainYC, QDX_Get_GainYC, 0, QDX_REG_Y_GAIN),
    sliderAt("cb-gain", "Cb Gain", kDecibels, QDX_Set_GainYC, QDX_Get_GainYC, 1, QDX_REG_CB_GAIN),
    sliderAt("cr-gain", "Cr Gain", kDecibels, QDX_Set_GainYC, QDX_Get_GainYC, 2, QDX_REG_CR_GAIN),
    // The clock phase lies beyond the change mask: the camera never changes it itself.
    slider("fine-adjust", "Image Fine Adj.", count(15), QDX_Set_CIS_ClockPhase, QDX_Get_CIS_ClockPhase,
           QDX_REG_CIS_CLOCK_PHASE),
    comboAt("mode", "Mode", kModes, QDX_Set_ControlMode, QDX_Get_ControlMode, 0, QDX_REG_CONTROL_MODE),
    comboAt("alc", "ALC", kOffOnUpper, QDX_Set_ControlMode, QDX_Get_ControlMode, 1, QDX_REG_ALC),
    combo("speed", "AGC/AEC/ALC Speed", kSpeeds, QDX_Set_ControlSpeed, QDX_Get_ControlSpeed, QDX_REG_CONTROL_SPEED),
    comboAt("area1", "AGC/AEC/ALC Area1", kArea1, QDX_Set_ControlMonitor, QDX_Get_ControlMonitor, 0,
            QDX_REG_CONTROL_AREA1),
    comboAt("area2", "AGC/AEC/ALC Area2", kArea2, QDX_Set_ControlMonitor, QDX_Get_ControlMonitor, 1,
            QDX_REG_CONTROL_AREA2),
    combo("gamma", "Gamma", kGammaCurves, QDX_Set_Gamma, QDX_Get_Gamma, QDX_REG_GAMMA),
    combo("flip", "Image Flip", kFlips, QDX_Set_ImageFlip, QDX_Get_ImageFlip, QDX_REG_IMAGE_FLIP),
    combo("rotation", "Image Rotation", kRotations, QDX_Set_ImageRotation, QDX_Get_ImageRotation,
          QDX_REG_IMAGE_ROTATION),
    combo("dvi-size", "DVI Image Size", kSizes, QDX_Set_DVIImageSize, QDX_Get_DVIImageSize, QDX_REG_DVI_IMAGE_SIZE),
    combo("dp-correction", "Defect Pixel Corr.", kOffOn, QDX_Set_DP_Corr, QDX_Get_DP_Corr, QDX_REG_DP_CORR),
    combo("fpn-correction", "FPN Corr.", kFpnModes, QDX_Set_FPN_Corr, QDX_Get_FPN_Corr, QDX_REG_FPN_CORR),
    combo("noise-reduction", "Noise Reduction", kLevels, QDX_Set_NoiseReduction, QDX_Get_NoiseReduction,
          QDX_REG_NOISE_REDUCTION),
    combo("edge-enhancement", "Edge Enhancement", kLevels, QDX_Set_EdgeEnhancement, QDX_Get_EdgeEnhancement,
          QDX_REG_EDGE_ENHANCEMENT),
    combo("vfpn-correction", "VFPN Corr.", kOffOn, QDX_Set_VFPN_Corr, QDX_Get_VFPN_Corr, QDX_REG_VFPN_CORR),
    // Started by the "Exec" button, read with the others; no control shows it.
    {"awb", "1Push AWB", ControlKind::None, count(1), {}, QDX_Set_AWB, nullptr, QDX_Get_AWB, nullptr, 0, QDX_REG_AWB},
}};

constexpr SliderScale scaleOf(SettingId id)
{
    return kSettings[static_cast<std::size_t>(id)].scale;
}

const std::array<CalibrationControl, kCalibrationSliders> kCalibrationSliderTable{{
    {"Black Level", SettingId::BlackLevel, scaleOf(SettingId::BlackLevel), {}},
    {"Exposure Time", SettingId::ExposureTime, scaleOf(SettingId::ExposureTime), {}},
    {"RAW Gain", SettingId::RawGain, scaleOf(SettingId::RawGain), {}},
    {"AGC/AEC/ALC Target", SettingId::ControlTarget, scaleOf(SettingId::ControlTarget), {}},
    {"Threshold Level", std::nullopt, count(255, 128), {}},
}};

const std::array<CalibrationControl, kCalibrationCombos> kCalibrationComboTable{{
    {"Mode", SettingId::Gamma, kNoScale, kGammaCurves},
    {"Mode", SettingId::DpCorrection, kNoScale, kOffOnUpper},
    {"Defect Pixel Type", std::nullopt, kNoScale, kDpTypes},
    {"Mode", SettingId::FpnCorrection, kNoScale, kCalFpnModes},
}};

}  // namespace

std::string SliderScale::labelText(int value) const
{
    const double shown = value * factor;
    char text[32];
    switch (format) {
    case LabelFormat::Integer:
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(value));
        break;
    case LabelFormat::Milliseconds:
        std::snprintf(text, sizeof text, "%.1fms", shown);
        break;
    case LabelFormat::Times:
        std::snprintf(text, sizeof text, "x%.3f", shown);
        break;
    case LabelFormat::Decibel:
        std::snprintf(text, sizeof text, "%.3fdB", shown);
        break;
    case LabelFormat::Fraction:
        std::snprintf(text, sizeof text, "%.2f", shown);
        break;
    }
    return text;
}

const Setting& setting(SettingId id)
{
    return kSettings[static_cast<std::size_t>(id)];
}

std::span<const Setting, kSettingCount> settings()
{
    return kSettings;
}

std::optional<SettingId> settingByName(std::string_view name)
{
    for (int i = 0; i < kSettingCount; ++i)
        if (name == kSettings[static_cast<std::size_t>(i)].name)
            return static_cast<SettingId>(i);
    return std::nullopt;
}

std::optional<SettingId> settingOfRegister(int reg)
{
    for (int i = 0; i < kSettingCount; ++i) {
        const Setting& s = kSettings[static_cast<std::size_t>(i)];
        if (s.reg == reg && s.control != ControlKind::None)
            return static_cast<SettingId>(i);
    }
    return std::nullopt;
}

int modeToCamera(int selection)
{
    return selection == 2 ? 3 : selection;
}

int modeFromCamera(int mode)
{
    return mode > 2 ? 2 : mode;
}

int comboCameraValue(SettingId id, int entry)
{
    return id == SettingId::Mode ? modeToCamera(entry) : entry;
}

bool settingTakes(SettingId id, int value)
{
    const Setting& s = setting(id);
    if (s.control != ControlKind::Combo)
        return value >= s.scale.minimum && value <= s.scale.maximum;
    for (std::size_t j = 0; j < s.entries.size(); ++j)
        if (value == comboCameraValue(id, static_cast<int>(j)))
            return true;
    return false;
}

std::string settingValuesText(SettingId id)
{
    const Setting& s = setting(id);
    if (s.control != ControlKind::Combo)
        return std::to_string(s.scale.minimum) + ".." + std::to_string(s.scale.maximum);
    std::string text;
    for (std::size_t j = 0; j < s.entries.size(); ++j)
        text += (j ? ", " : "") + std::to_string(comboCameraValue(id, static_cast<int>(j)));
    return text;
}

const CalibrationControl& calibrationSliderControl(int i)
{
    return kCalibrationSliderTable.at(static_cast<std::size_t>(i));
}

const CalibrationControl& calibrationComboControl(int j)
{
    return kCalibrationComboTable.at(static_cast<std::size_t>(j));
}

std::span<const char* const> pictureGroupNames()
{
    return kPictureGroups;
}

std::span<const char* const> calibrationGroupNames()
{
    return kCalibrationGroups;
}

std::span<const char* const> zoomEntries()
{
    return kSizes;
}

}  // namespace qdx::viewer
