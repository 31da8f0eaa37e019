// A tab page of the main window: the live picture area (1002) with its rates
// line (1003), a control column to its right with the "Camera Info" group,
// and rows above and below the picture for page-wide buttons. Each page's own
// controls are added by its class, which presents the pages' model and
// forwards the operator's input to it.
#pragma once

#include <QWidget>

#include <array>
#include <span>
#include <utility>
#include <vector>

#include "ControlRows.h"
#include "PageContext.h"

class QBoxLayout;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace qdx::viewer {

class PictureView;
struct CommandState;

class Page : public QWidget {
    Q_OBJECT

public:
    // target: the display target this page stands for. context outlives the page.
    Page(PageContext& context, int target, QWidget* parent);
    ~Page() override;

    int target() const { return target_; }
    PictureView* pictureView() const { return pictureView_; }
    QLabel* ratesLabel() const { return rates_; }

    // The tab has just become visible / been hidden.
    virtual void activated() = 0;
    virtual void deactivated() {}

    // From the live view, GUI thread.
    void showNewPicture();
    void setRatesText(const QString& text);

    // The main window's command state: each button standing for a command
    // enabled as its menu item, the "Video Capture" button's text, and the
    // page's own part of it.
    virtual void showCommandState(const CommandState& commands);

    // The "Camera Info" line 0..5 as shown.
    QString cameraInfo(int line) const;
    // The refused camera's line below Camera Info ("" and hidden when none).
    QString deviceProblem() const;
    // The notice over the picture while no camera is open ("" when none is shown).
    QString noCameraNotice() const;

protected:
    // Shows what the model holds now: the display zoom and the Camera Info
    // lines, then the page's own part (showModel). Runs after every change of
    // the model; pages call it once they are built.
    void refresh();
    virtual void showModel() = 0;

    // What both pages carry: "Default", "Data Write", "Data Read" first in
    // the top row and the display zoom last; "Video Capture", "Still
    // Capture" and "Quick Still" in the bottom row.
    void addPageWideControls();
    // A push button that runs a main-window command.
    QPushButton* commandButton(const char* text, int id, int command);
    // Lines the control groups up: one caption column width, one combo box
    // width and one group width for all, so that switching groups in the
    // compact window moves nothing and stacked groups align in the wide one.
    void alignGroups(std::span<QGroupBox* const> groups);

    PageContext& context() { return context_; }
    ViewerState& state() { return context_.state(); }
    PanelModel& panels() { return context_.panels(); }
    bool wide() const { return context_.wide(); }
    WheelGuard& wheelGuard() { return *wheelGuard_; }
    // Where the page's own controls go.
    QBoxLayout* controlColumn() const { return controlColumn_; }
    QBoxLayout* bottomRow() const { return bottomRow_; }

private:
    // The picture area fitted to the page or at its fixed size.
    void showZoom(int zoom);
    void buildNotice();
    void showNotice();

    PageContext& context_;
    const int target_;
    WheelGuard* wheelGuard_;
    PictureView* pictureView_;
    QLabel* rates_;
    QBoxLayout* topRow_;
    QBoxLayout* controlColumn_;
    QBoxLayout* bottomRow_;
    QComboBox* zoom_ = nullptr;
    QPushButton* videoCapture_ = nullptr;
    std::vector<std::pair<QPushButton*, int>> commandButtons_;  // with the command each stands for
    std::array<QLabel*, 6> cameraInfo_{};
    QLabel* deviceProblem_ = nullptr;
    QLabel* notice_ = nullptr;  // over the picture while no camera is open
    int observer_;  // this page's observer of the model
};

}  // namespace qdx::viewer
