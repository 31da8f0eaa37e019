// The "Calibration" page: the live picture as grey levels and the expert
// tools for the sensor head in four groups (exposure/gain, gamma, defect
// pixels, fixed-pattern noise). Its camera settings are those of the pages'
// model, shared with the Picture page. GUI thread only.
#pragma once

#include <array>
#include <map>

#include "Page.h"
#include "core/model/Settings.h"

class QComboBox;
class QLabel;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;

namespace qdx::viewer {

class CalibrationTools;

class CalibrationPage final : public Page {
    Q_OBJECT

public:
    static constexpr int kGroups = 4;

    CalibrationPage(PageContext& context, QWidget* parent);

    void activated() override;

    // Stores the group index; the compact page then shows that group alone.
    void showGroup(int index);
    int group() const { return group_; }
    // The detection and table commands behind the group buttons.
    CalibrationTools& tools() const { return *tools_; }

    // Also the CSV export's controls, which an export running takes until it ends.
    void showCommandState(const CommandState& commands) override;

protected:
    void showModel() override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildPageWideControls();
    void buildGroups();
    QGroupBox* buildGroup(int group);
    void onCsvArrow(bool up);

    int group_ = 0;
    std::array<SliderRow, kCalibrationSliders> sliders_{};
    std::array<ComboRow, kCalibrationCombos> combos_{};
    std::array<QGroupBox*, kGroups> groups_{};
    QComboBox* groupSelector_ = nullptr;
    QPushButton* saveCsv_ = nullptr;
    QLineEdit* csvBox_ = nullptr;
    QWidget* csvArrows_ = nullptr;
    std::map<int, QPushButton*> toolButtons_;       // the groups' buttons by identifier
    std::map<int, QPlainTextEdit*> resultBoxes_;   // 2001, 2002
    QLabel* progress_ = nullptr;
    CalibrationTools* tools_ = nullptr;            // a child of the page
};

}  // namespace qdx::viewer
