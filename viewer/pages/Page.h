// A tab page of the main window: the live picture area (1002) with its rates
// line (1003), a control column to its right and rows above and below for
// page-wide buttons. Each page's own controls are added by its class.
#pragma once

#include <QWidget>

#include <array>

class QBoxLayout;
class QGroupBox;
class QLabel;

namespace qdx::viewer {

class DisplayImage;
class MainWindow;
class PictureView;
class ViewerProgram;
struct ViewerState;

// Marks a control with the identifier the design gives it, by which tests
// and the pages find it.
template <typename W>
W* tagged(W* widget, int id)
{
    widget->setProperty("controlId", id);
    return widget;
}

class Page : public QWidget {
    Q_OBJECT

public:
    // target: the display target this page stands for. program outlives the page.
    Page(ViewerProgram& program, int target, bool wide, QWidget* parent);
    // A closed page stops being the display target and stops the display thread.
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

    // "Camera Info" line 0..5 (value labels 6101, 6102, 6105..6108), written
    // by the device monitor.
    void setCameraInfo(int line, const QString& text);
    QString cameraInfo(int line) const;

protected:
    // The main window the page sits in; null while it sits in none (tests).
    MainWindow* mainWindow() const;
    // A main-window command, as if its menu item had been chosen.
    void forwardCommand(int command);
    // The buttons both pages carry for main-window commands: "Default",
    // "Data Write", "Data Read" first in the top row, "Video Capture" and
    // "Still Capture" in the bottom row.
    void addCommandButtons();

    ViewerProgram& program() { return program_; }
    ViewerState& state();
    bool wide() const { return wide_; }
    // Where the page's own controls go.
    QBoxLayout* topRow() const { return topRow_; }
    QBoxLayout* controlColumn() const { return controlColumn_; }
    QBoxLayout* bottomRow() const { return bottomRow_; }

private:
    ViewerProgram& program_;
    const int target_;
    const bool wide_;
    PictureView* pictureView_;
    QLabel* rates_;
    QBoxLayout* topRow_;
    QBoxLayout* controlColumn_;
    QBoxLayout* bottomRow_;
    QGroupBox* cameraInfoGroup_;
    std::array<QLabel*, 6> cameraInfo_{};
};

}  // namespace qdx::viewer
