// What each page offers the other page and the device monitor. The Picture
// page implements PicturePanel, the Calibration page CalibrationPanel; each
// reaches the other only through these operations. GUI thread only. Every
// operation stores its value even while the page's widgets do not exist, so
// the value state outlives the window.
#pragma once

#include <array>

namespace qdx::viewer {

inline constexpr int kPictureSliders = 23;
inline constexpr int kPictureCombos = 14;
inline constexpr int kCalibrationSliders = 5;  // 0..3 mirror the Picture page's 0..3; 4 "Threshold Level"
inline constexpr int kCalibrationCombos = 4;   // gamma mode, DP mode, DP type, FPN mode

// Picture combo indexes other code refers to.
namespace picture {
inline constexpr int kMode = 0;
inline constexpr int kAlc = 1;
inline constexpr int kGamma = 5;
inline constexpr int kImageFlip = 6;
inline constexpr int kImageRotation = 7;
inline constexpr int kDpCorr = 9;
inline constexpr int kFpnCorr = 10;
inline constexpr int kVfpnCorr = 13;
inline constexpr int kRawGainSlider = 2;
}  // namespace picture

namespace calibration {
inline constexpr int kGammaMode = 0;
inline constexpr int kDpMode = 1;
inline constexpr int kDpType = 2;
inline constexpr int kFpnMode = 3;
inline constexpr int kThresholdSlider = 4;
}  // namespace calibration

// Viewer-wide values the two pages share (owned by the program object).
struct PanelShared {
    int savedFpnGain = 64;      // the RAW gain (<= 64) restored around FPN Mode2
    bool cisMemoryValid = true; // the sensor head's memory holds a valid header
};

class PicturePanel {
public:
    virtual ~PicturePanel() = default;
    // Store, move the slider without a notification, refresh its label. Nothing is sent.
    virtual void setSlider(int index, int value) = 0;
    virtual int slider(int index) const = 0;
    // Store and show a combo selection. Nothing is sent.
    virtual void selectCombo(int index, int selection) = 0;
    virtual int combo(int index) const = 0;
    // The enabling rules; they also set the Calibration page's exposure,
    // target and RAW gain controls through CalibrationPanel::followEnabling.
    virtual void applyEnablingRules() = 0;
    // Every slider and combo to its default, each sent to the camera.
    virtual void applyDefaults() = 0;
    // From the FPGA version on connection.
    virtual void setVfpnAvailable(bool available) = 0;
    // The display zoom combo shows this selection (not acted on again).
    virtual void showZoom(int selection) = 0;
};

class CalibrationPanel {
public:
    virtual ~CalibrationPanel() = default;
    // Sliders 0..4: store, move without a notification, refresh the label. Nothing is sent.
    virtual void setSlider(int index, int value) = 0;
    virtual int slider(int index) const = 0;
    // Store and show a combo selection. Nothing is sent.
    virtual void selectCombo(int index, int selection) = 0;
    virtual int combo(int index) const = 0;
    // The FPN-mode rule (acts only while FPN mode is "ON (Mode2)").
    virtual void applyFpnModeRule() = 0;
    // The part of the Picture page's enabling rules that governs this page:
    // Exposure Time := exposureManual, Target := !exposureManual, RAW Gain :=
    // rawGainManual (its label and caption stay readable in FPN mode).
    virtual void followEnabling(bool exposureManual, bool rawGainManual) = 0;
    // CIS memory valid changed (device monitor): the defect-pixel and FPN
    // "Save" buttons follow (FPN "Save" only while FPN mode is 1).
    virtual void cisMemoryValidChanged(bool valid) = 0;
    // allSliders: sliders 0..4 to their defaults (0..3 sent); else only the
    // threshold. Both: combos to 0, QDX_Set_Gamma(0) and QDX_Set_DP_Corr(0) sent.
    virtual void applyDefaults(bool allSliders) = 0;
    virtual void showZoom(int selection) = 0;
};

}  // namespace qdx::viewer
