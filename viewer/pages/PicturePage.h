// The "Picture" page: the live picture in colour and the operator's controls
// for the camera's image processing, built from the slider and combo tables.
// Every change is sent at once; the couplings between controls and with the
// Calibration page and the enabling rules follow each change. It starts the
// display thread when it is built. GUI thread only.
#pragma once

#include <array>

#include "Page.h"
#include "PanelLinks.h"
#include "PictureControls.h"

class QComboBox;
class QGroupBox;
class QPushButton;
class QSlider;

namespace qdx::viewer {

class Interaction;
class MainWindow;

class PicturePage final : public Page, public PicturePanel {
    Q_OBJECT

public:
    PicturePage(ViewerProgram& program, bool wide, QWidget* parent);
    ~PicturePage() override;

    void activated() override;

    // PicturePanel
    void setSlider(int index, int value) override;
    int slider(int index) const override;
    void selectCombo(int index, int selection) override;
    int combo(int index) const override;
    void applyEnablingRules() override;
    void applyDefaults() override;
    void setVfpnAvailable(bool available) override;
    void showZoom(int selection) override;

    // Store the group index and, in the compact window, show only that group.
    void showGroup(int group);
    int group() const { return group_; }

    // The Calibration page's operations this page drives: those of the main
    // window's Calibration page unless set here (tests set a stand-in; null
    // returns to the main window's).
    void setCalibrationPanel(CalibrationPanel* panel) { calibrationOverride_ = panel; }
    CalibrationPanel* calibrationPanel() const;

    // The "Exec" button's one-push white balance: up to 5 s of polling the
    // camera, the window kept repainting meanwhile.
    void runWhiteBalance();

private:
    void buildControls();
    QGroupBox* buildGroup(int group);
    void placeGroups();
    void onSliderMoved(int k, int value);
    void onComboConfirmed(int j, int selection);
    void onModeChosen(int selection);
    void onFpnChosen(int selection);
    void commonEnding();
    void setRawGainEverywhere(int gain);
    void setSliderEnabled(int k, bool on);
    void setComboEnabled(int j, bool on);
    void abortCsvExport();

    std::array<int, kPictureSliders> sliderValues_{};
    std::array<int, kPictureCombos> comboValues_{};
    int group_ = 0;
    picture::EnableState enableCache_;  // the state last applied to the widgets
    bool whiteBalanceRunning_ = false;
    CalibrationPanel* calibrationOverride_ = nullptr;

    std::array<QSlider*, kPictureSliders> sliders_{};
    std::array<QLabel*, kPictureSliders> sliderLabels_{}, sliderCaptions_{};
    std::array<QComboBox*, kPictureCombos> combos_{};
    std::array<QLabel*, kPictureCombos> comboCaptions_{};
    std::array<QGroupBox*, 3> groups_{};
    QComboBox* zoom_ = nullptr;
    QComboBox* groupSelector_ = nullptr;
    QLabel* stateText_ = nullptr;
};

}  // namespace qdx::viewer
