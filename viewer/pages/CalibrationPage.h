// The "Calibration" page: the live picture as grey levels and the expert
// tools for the sensor head in four groups (exposure/gain, gamma, defect
// pixels, fixed-pattern noise), built from the tables of CalibrationModel.
// Sliders 0..3 and the gamma, defect-pixel and FPN modes follow the Picture
// page and lead it. GUI thread only.
#pragma once

#include <array>
#include <functional>

#include "CalibrationModel.h"
#include "Page.h"
#include "PanelLinks.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSlider;

namespace qdx::viewer {

class MainWindow;

class CalibrationPage final : public Page, public CalibrationPanel {
    Q_OBJECT

public:
    CalibrationPage(ViewerProgram& program, bool wide, QWidget* parent);
    ~CalibrationPage() override;

    void activated() override;

    // CalibrationPanel
    void setSlider(int index, int value) override;
    int slider(int index) const override;
    void selectCombo(int index, int selection) override;
    int combo(int index) const override;
    void applyFpnModeRule() override;
    void followEnabling(bool exposureManual, bool rawGainManual) override;
    void cisMemoryValidChanged(bool valid) override;
    void applyDefaults(bool allSliders) override;
    void showZoom(int selection) override;

    // Stores the group index; the compact page then shows that group alone.
    void showGroup(int index);
    const calibration::Values& values() const { return values_; }
    calibration::DpTable& dpTable() { return values_.dpTable; }
    // "Save as CSV" with the frame-count box and its arrows: off while an export runs.
    void setCsvControlsEnabled(bool enabled);

    // Where this page finds the Picture page's operations: by default the main
    // window's (none while that page does not offer them). Tests put a fake here.
    using PicturePanelSource = std::function<PicturePanel*()>;
    void setPicturePanelSource(PicturePanelSource source) { picturePanelSource_ = std::move(source); }

private:
    void buildPageWideControls();
    void buildGroups();
    QGroupBox* buildGroup(int group);
    void onSliderMoved(int index);
    void onComboConfirmed(int index);
    void onZoomChosen(int selection);
    void onCsvBoxChanged();
    void onCsvArrow(bool up);
    // The gamma, defect-pixel and FPN table buttons and the detection "Start".
    void tableCommand(int id);
    void choseFpnMode(int selection);
    void setSliderRowEnabled(int index, bool slider, bool labelAndCaption);
    void sendSlider(int index);
    PicturePanel* picture() const { return picturePanelSource_ ? picturePanelSource_() : nullptr; }

    calibration::Values values_;
    PicturePanelSource picturePanelSource_;
    std::array<QSlider*, kCalibrationSliders> sliders_{};
    std::array<QLabel*, kCalibrationSliders> labels_{};
    std::array<QLabel*, kCalibrationSliders> sliderCaptions_{};
    std::array<QComboBox*, kCalibrationCombos> combos_{};
    std::array<QGroupBox*, calibration::kGroups> groups_{};
    QComboBox* zoom_ = nullptr;
    QComboBox* groupSelector_ = nullptr;
    QPushButton* saveCsv_ = nullptr;
    QLineEdit* csvBox_ = nullptr;
    QWidget* csvArrows_ = nullptr;
    QPushButton* dpSave_ = nullptr;
    QPushButton* fpnSave_ = nullptr;
    QPlainTextEdit* dpResult_ = nullptr;
    QPlainTextEdit* fpnResult_ = nullptr;
};

}  // namespace qdx::viewer
