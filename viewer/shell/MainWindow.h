// The viewer's only top-level window: the menu bar, and the tab control with
// the "Picture" and "Calibration" pages inside a scrolled area. Built in the
// compact or the wide form and with operator or expert menus, as
// "QDX_Viewer.ini" says. It gives the pages what they need (PageContext) and
// dispatches every command. GUI thread.
#pragma once

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <map>
#include <memory>

#include "core/commands/Commands.h"
#include "core/files/ViewerConfig.h"
#include "pages/PageContext.h"

class QAction;
class QTabWidget;

namespace qdx::viewer {

class AnalysisDock;
class CalibrationPage;
class ContentScrollArea;
class Interaction;
class JobRunner;
class LiveViewBridge;
class MonitorBridge;
class Page;
class Playback;
class PictureView;
struct Remembered;
class StillCaptureNotice;
struct StillCaptureResult;
class VideoCapture;
class ViewerProgram;

class MainWindow final : public QMainWindow, private PageContext {
    Q_OBJECT

public:
    // program must be started up and outlive the window; interaction too.
    // configPath: the "QDX_Viewer.ini" to read and write back.
    MainWindow(ViewerProgram& program, Interaction& interaction, const QString& configPath,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The one dispatch point of commands (40001..40021), from the menu and
    // from page buttons that stand for one. A command without an action says
    // it is not available.
    void command(int id);

    const ViewerConfig& config() const { return config_; }
    // 0 Picture, 1 Calibration; null for another index.
    Page* page(int index) const;
    // The menu item of a command; null when the menu does not have it.
    QAction* action(int command) const;
    QTabWidget* tabs() const { return tabs_; }
    Playback& playback() const { return *playback_; }
    AnalysisDock* analysisDock() const { return analysis_; }
    // The parameter commands' camera work (ParameterCommands.cpp).
    const JobRunner& jobs() const { return *jobs_; }
    // The view that shows the picture alone in full screen; null otherwise.
    PictureView* fullScreenView() const { return fullView_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // PageContext
    ViewerState& state() override;
    PanelModel& panels() override;
    DisplayImage& displayImage() override;
    Interaction& interaction() override { return interaction_; }
    bool wide() const override { return config_.wide(); }
    void runCommand(int id) override { command(id); }
    void commandStateChanged() override { showCommandState(); }

    // The one place the menus, the pages' command buttons and the state text
    // are set: from the command state of what runs now.
    void showCommandState();

    void buildMenus();
    void buildPages();
    void registerCommands();
    void registerParameterCommands();  // ParameterCommands.cpp
    // WindowFit.cpp: the window within the screen, and full screen.
    void sizeToContent();
    QSize contentRoom() const;
    void setContentMinimum();
    void fitContentTo(QSize room);
    void followZoom();
    void toggleFullScreen();
    void leaveFullScreen();
    void onCurrentTabChanged(int index);
    void showVersion();
    void toggleBoundaryPixels();
    void buildAnalysis();
    void toggleAnalysis();
    // Still capture (StillCaptureCommand.cpp).
    void attachStillCapture();
    void detachStillCapture();
    void stillCapture();
    void stillCaptured(const StillCaptureResult& result);
    // CsvCommands.cpp
    void saveCsv();
    void csvExportEnded(const QString& failure);
    // DebugCommands.cpp
    void openDebugDialog();
    // What is remembered across starts, and Quick Still (RememberedWindow.cpp).
    void setUpRemembered();
    void remember();
    void keepOnScreen();
    void quickStill();
    // ShortcutsDialog.cpp
    void showKeyboardShortcuts();

    ViewerProgram& program_;
    std::unique_ptr<Remembered> remembered_;  // before interaction_, which is its dialogs
    Interaction& interaction_;
    ViewerConfig config_;
    CommandDispatcher commands_;
    JobRunner* jobs_;  // child; waits for its job when the window goes
    LiveViewBridge* bridge_;
    MonitorBridge* monitorBridge_;
    StillCaptureNotice* stillNotice_ = nullptr;
    ContentScrollArea* scroll_;
    QTabWidget* tabs_;
    std::array<Page*, 2> pages_{};
    CalibrationPage* calibration_ = nullptr;  // pages_[kCalibrationPage]
    std::unique_ptr<Playback> playback_;  // works in the Picture page, goes before it
    std::map<int, QAction*> actions_;
    int currentTab_ = -1;
    VideoCapture* video_;
    QPointer<QWidget> debugDialog_;  // the open Debug dialog, if any
    QPointer<QWidget> shortcutsDialog_;  // the open Keyboard Shortcuts list, if any
    AnalysisDock* analysis_ = nullptr;
    int panelsObserver_ = -1;  // ours in the pages' model: an export or a page activation
    bool contentFit_ = false;   // the pages' minimum is that of a fitted picture
    // Full screen: the view over the content, the key that leaves and what comes back.
    PictureView* fullView_ = nullptr;
    QAction* leaveFullScreen_ = nullptr;
    QRect geometryBeforeFull_;
    Qt::WindowStates stateBeforeFull_;
    bool analysisBeforeFull_ = false;
};

}  // namespace qdx::viewer
