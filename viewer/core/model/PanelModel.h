// The values both pages show: the operator's changes go to the camera through
// here, followed by what the camera's rules require (SettingRules: ALC and
// Mode, FPN Mode2 with its gain cap) and by the settings both pages show; the
// device monitor's reads are applied here, and which controls may be used is
// computed from the values.
// The pages only present this model and forward the operator's input.
// Qt-free. GUI thread only (it calls the library's setters on that thread).
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "DpTable.h"
#include "FpnTable.h"
#include "PanelUpdate.h"
#include "SettingRules.h"
#include "Settings.h"
#include "ViewerState.h"

namespace qdx::viewer {

// Which controls may be used, from the values. A slider's flag covers the
// slider, its value label and its caption unless a label flag says otherwise.
struct Enabling {
    // Picture page
    bool exposure = true;        // "Exposure Time": manual exposure
    bool rawGain = true;         // "RAW Gain" slider: manual gain
    bool rawGainLabel = true;    // its label and caption: also while FPN correction locks a readable gain
    bool automatic = true;       // target, hysteresis, speed, areas: an automatic control runs
    bool flip = true;            // flip and rotation exclude each other
    bool rotation = true;
    bool vfpn = true;            // the FPGA can do it
    // Calibration page
    bool calExposure = true;
    bool calTarget = false;
    bool calRawGain = true;
    bool calRawGainLabel = true;
    bool dpSave = true;          // the sensor head's memory is valid
    bool fpnSave = false;        // ... and FPN mode is "ON (Mode2)"

    bool operator==(const Enabling&) const = default;
};

class PanelModel {
public:
    // state must outlive the model.
    explicit PanelModel(ViewerState& state);

    // observer is called after every change of the model, once per
    // operation, until it is removed by the number returned.
    int addObserver(std::function<void()> observer);
    void removeObserver(int id);

    // Values as the pages show them: slider values and combo selections.
    int pictureSlider(int k) const { return picture_.values.at(static_cast<std::size_t>(pictureSliderSetting(k))); }
    int pictureCombo(int j) const { return picture_.values.at(static_cast<std::size_t>(pictureComboSetting(j))); }
    int calibrationSlider(int i) const { return calibration_.sliders.at(static_cast<std::size_t>(i)); }
    int calibrationCombo(int j) const { return calibration_.combos.at(static_cast<std::size_t>(j)); }
    const std::string& cameraInfo(int line) const { return cameraInfo_.at(static_cast<std::size_t>(line)); }
    int savedFpnGain() const { return picture_.savedFpnGain; }
    bool cisMemoryValid() const { return cisMemoryValid_; }
    // A camera present but refused ("" when none): Camera Info shows it.
    const std::string& deviceProblem() const { return deviceProblem_; }
    // Whether the device monitor has seen a camera open (and not go since).
    bool cameraOpen() const { return cameraOpen_; }
    // What the picture says while no camera is open: waiting for one, or the
    // refused camera's reason and fix (the status line's words); "" with a camera.
    std::string noCameraNotice() const;
    Enabling enabling() const;
    DpTable& dpTable() { return dpTable_; }
    FpnTable& fpnTable() { return fpnTable_; }

    // The operator's input: stored, sent to the camera, and followed by what
    // the rules require. Setter results are ignored: the pages keep what the
    // operator chose, camera or not.
    void movePictureSlider(int k, int value);
    void choosePictureCombo(int j, int selection);
    void moveCalibrationSlider(int i, int value);
    void chooseCalibrationCombo(int j, int selection);

    // Page activation. Picture: the camera delivers colour and FPN correction
    // is sent again (once the window is ready); true when a running CSV export
    // had to be aborted. Calibration: grey data, FPN correction off everywhere.
    bool activatePicture();
    void activateCalibration();

    // Every Picture setting to its default, each sent (the Calibration page
    // is not mirrored).
    void applyPictureDefaults();
    // allSliders: the Calibration sliders to their defaults (the camera's
    // sent); otherwise only the threshold. Both: its modes off, gamma and
    // defect-pixel correction sent off.
    void applyCalibrationDefaults(bool allSliders);

    // A value the camera reports, shown where the table says; nothing is sent.
    void showCameraValue(SettingId id, int cameraValue);
    // What the device monitor read.
    void apply(const PanelUpdate& update);
    // Starts a CSV export of frames frames to chosenPath; false when one runs.
    bool startCsvExport(std::string chosenPath, int frames);
    // Stops a running CSV export; true when one ran.
    bool abortCsvExport();
    // The display thread ended the export: the pages show its controls again.
    void csvExportEnded();
    // The display zoom both pages' zoom boxes show: 0 "100%", 1 "200%",
    // 2 "Fit to Window" (drawn from the 100% picture).
    void chooseZoom(int selection);

private:
    struct CalibrationValues {
        std::array<int, kCalibrationSliders> sliders{};
        std::array<int, kCalibrationCombos> combos{};
    };

    // Runs change, then tells the observers once, however deeply nested.
    template <typename Change>
    void changing(Change&& change);

    // The Picture page's value of id to the camera.
    void send(SettingId id);
    // What the rules require: stored, sent, and shown on the Calibration
    // page's sliders too.
    void applyRules(const SettingChanges& changes);

    ViewerState& state_;
    RuleValues picture_;  // by setting; its saved FPN gain is the RAW gain restored around FPN Mode2
    CalibrationValues calibration_;
    std::array<std::string, kCameraInfoLines> cameraInfo_;
    bool cisMemoryValid_ = true;
    bool vfpnAvailable_ = true;
    std::string deviceProblem_;
    bool cameraOpen_ = false;
    DpTable dpTable_;
    FpnTable fpnTable_;  // all 0, mean 0, until a detection or a download
    std::vector<std::pair<int, std::function<void()>>> observers_;
    int nextObserver_ = 0;
    int depth_ = 0;  // nesting of changing()
};

}  // namespace qdx::viewer
