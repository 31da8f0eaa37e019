#include "PictureControls.h"

#include <cstdio>

#include "QDX_API.h"

namespace qdx::viewer::picture {
namespace {

constexpr double kMsPerStep = 0.072;
constexpr double kGainPerStep = 0.0625;
constexpr double kDbPerStep = 0.0352;
constexpr double kMatrixPerStep = 0.0078125;

#define QDX_DB_GAIN(name) SliderSpec{name, -255, 255, 0, LabelFormat::Decibel, kDbPerStep}
#define QDX_MATRIX(name, def) SliderSpec{name, -256, 255, def, LabelFormat::Fraction, kMatrixPerStep}
#define QDX_COUNT(name, max, def) SliderSpec{name, 0, max, def, LabelFormat::Integer, 1}

const std::array<SliderSpec, kPictureSliders> kSliders{{
    QDX_COUNT("Black Level", 255, 0),
    {"Exposure Time", 0, 438, 400, LabelFormat::Milliseconds, kMsPerStep},
    {"RAW Gain", 16, 255, 16, LabelFormat::Times, kGainPerStep},
    QDX_COUNT("AGC/AEC/ALC Target", 4095, 50),
    QDX_COUNT("Target Hysteresis A1", 4095, 0),
    QDX_COUNT("Target Hysteresis A2", 4095, 0),
    QDX_COUNT("Target Hysteresis B1", 4095, 0),
    QDX_COUNT("Target Hysteresis B2", 4095, 0),
    QDX_DB_GAIN("Red Gain"),
    QDX_DB_GAIN("Blue Gain"),
    QDX_MATRIX("Color Matrix Rr", 128),
    QDX_MATRIX("Color Matrix Rg", 0),
    QDX_MATRIX("Color Matrix Rb", 0),
    QDX_MATRIX("Color Matrix Gr", 0),
    QDX_MATRIX("Color Matrix Gg", 128),
    QDX_MATRIX("Color Matrix Gb", 0),
    QDX_MATRIX("Color Matrix Br", 0),
    QDX_MATRIX("Color Matrix Bg", 0),
    QDX_MATRIX("Color Matrix Bb", 128),
    QDX_DB_GAIN("Y Gain"),
    QDX_DB_GAIN("Cb Gain"),
    QDX_DB_GAIN("Cr Gain"),
    QDX_COUNT("Image Fine Adj.", 15, 0),
}};

#undef QDX_DB_GAIN
#undef QDX_MATRIX
#undef QDX_COUNT

constexpr const char* kModes[] = {"MGC+MEC", "MGC+AEC", "AGC+AEC"};
constexpr const char* kOffOn[] = {"OFF", "ON"};
constexpr const char* kOffOnMixed[] = {"Off", "On"};
constexpr const char* kSpeed[] = {"0", "1", "2", "3", "4", "5", "6", "7"};
constexpr const char* kArea1[] = {"All", "50x50", "100", "150", "200", "250", "300", "350"};
constexpr const char* kArea2[] = {"Inside", "Outside"};
constexpr const char* kGammaCurves[] = {"Off", "Curve1", "Curve2", "Curve3"};
constexpr const char* kFlip[] = {"Normal", "H Flip", "V Flip", "H+V Flip"};
constexpr const char* kRotation[] = {"0 degree", "90 degree", "180 degree", "270 degree"};
constexpr const char* kSize[] = {"100%", "200%"};
constexpr const char* kFpn[] = {"Off", "Mode1", "Mode2", "Mode3"};
constexpr const char* kLevels[] = {"Off", "Low", "Mid", "High"};
constexpr const char* kGroups[] = {"Exposure/Gain Control", "Color Control", "Image Control"};

const std::array<ComboSpec, kPictureCombos> kCombos{{
    {"Mode", kModes},
    {"ALC", kOffOn},
    {"AGC/AEC/ALC Speed", kSpeed},
    {"AGC/AEC/ALC Area1", kArea1},
    {"AGC/AEC/ALC Area2", kArea2},
    {"Gamma", kGammaCurves},
    {"Image Flip", kFlip},
    {"Image Rotation", kRotation},
    {"DVI Image Size", kSize},
    {"Defect Pixel Corr.", kOffOnMixed},
    {"FPN Corr.", kFpn},
    {"Noise Reduction", kLevels},
    {"Edge Enhancement", kLevels},
    {"VFPN Corr.", kOffOnMixed},
}};

}  // namespace

const std::array<SliderSpec, kPictureSliders>& sliders()
{
    return kSliders;
}

const std::array<ComboSpec, kPictureCombos>& combos()
{
    return kCombos;
}

std::span<const char* const> zoomEntries()
{
    return kSize;
}

std::span<const char* const> groupNames()
{
    return kGroups;
}

int pageStep(const SliderSpec& spec)
{
    return (spec.maximum - spec.minimum) / 10;
}

std::string labelText(int k, int v)
{
    const SliderSpec& spec = kSliders.at(static_cast<std::size_t>(k));
    const double shown = v * spec.factor;
    char text[32];
    switch (spec.format) {
    case LabelFormat::Integer:
        std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(v));
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

int modeToCamera(int selection)
{
    return selection == 2 ? 3 : selection;
}

int modeFromCamera(int mode)
{
    return mode > 2 ? 2 : mode;
}

void sendSlider(int k, int v)
{
    if (k == 0)
        QDX_Set_BlackLevel(v);
    else if (k == 1)
        QDX_Set_ExposureTime(v);
    else if (k == 2)
        QDX_Set_RawGain(v);
    else if (k == 3)
        QDX_Set_ControlTarget(v);
    else if (k >= 4 && k <= 7)
        QDX_Set_Hysteresis(k - 4, v);
    else if (k == 8 || k == 9)
        QDX_Set_GainRB(k - 8, v);
    else if (k >= 10 && k <= 18)
        QDX_Set_ColorMatrix(k - 10, v);
    else if (k >= 19 && k <= 21)
        QDX_Set_GainYC(k - 19, v);
    else if (k == 22)
        QDX_Set_CIS_ClockPhase(v);
}

void sendCombo(int j, int s)
{
    using Setter = int (*)(int);
    static constexpr Setter kPlain[kPictureCombos] = {
        nullptr, nullptr, QDX_Set_ControlSpeed, nullptr, nullptr, QDX_Set_Gamma, QDX_Set_ImageFlip,
        QDX_Set_ImageRotation, QDX_Set_DVIImageSize, QDX_Set_DP_Corr, QDX_Set_FPN_Corr, QDX_Set_NoiseReduction,
        QDX_Set_EdgeEnhancement, QDX_Set_VFPN_Corr};
    if (j == 0)
        QDX_Set_ControlMode(0, modeToCamera(s));
    else if (j == 1)
        QDX_Set_ControlMode(1, s);
    else if (j == 3 || j == 4)
        QDX_Set_ControlMonitor(j - 3, s);
    else if (j >= 0 && j < kPictureCombos && kPlain[j])
        kPlain[j](s);
}

EnableState enableState(const std::array<int, kPictureCombos>& c)
{
    const int mode = c[kMode], fpn = c[kFpnCorr];
    EnableState e;
    e.exposureManual = mode == 0;
    e.rawGainManual = !(mode == 2 || fpn == 1 || fpn == 2);
    e.automaticControl = mode != 0 || c[kAlc] != 0;
    e.flipAllowed = c[kImageRotation] == 0;
    e.rotationAllowed = c[kImageFlip] == 0;
    return e;
}

}  // namespace qdx::viewer::picture
