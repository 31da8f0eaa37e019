// The viewer's only top-level window: the menu bar, and the tab control with
// the "Picture" and "Calibration" pages inside a scrolled area. Built in the
// compact or the wide form and with operator or expert menus, as
// "QDX_Viewer.ini" says. GUI thread.
#pragma once

#include <QMainWindow>

#include <array>
#include <map>

#include "PanelRefresh.h"
#include "core/ViewerConfig.h"

class QAction;
class QTabWidget;

namespace qdx::viewer {

class ContentScrollArea;
class Interaction;
class LiveViewBridge;
class MonitorBridge;
class CalibrationPanel;
class Page;
class PicturePanel;
class ViewerProgram;

class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    // program must be started up and outlive the window; interaction too.
    // configPath: the "QDX_Viewer.ini" to read and write back.
    MainWindow(ViewerProgram& program, Interaction& interaction, const QString& configPath,
               QWidget* parent = nullptr);
    ~MainWindow() override;

    // The one dispatch point of menu commands (40001..40017), also for page
    // buttons that stand for a command. Unknown identifiers are ignored.
    void command(int id);

    const ViewerConfig& config() const { return config_; }
    Interaction& interaction() const { return interaction_; }
    // 0 Picture, 1 Calibration; null for another index.
    Page* page(int index) const;
    // The pages' operations for each other and the device monitor; null
    // while a page does not offer them.
    PicturePanel* picturePanel() const;
    CalibrationPanel* calibrationPanel() const;
    // Where an update read from the camera goes: both pages' values and
    // Camera Info lines (after a parameter set is loaded too: readAll, then
    // applyPanelUpdate with these).
    PanelTargets panelTargets();
    // The menu item of a command; null when the menu does not have it.
    QAction* action(int command) const;
    QTabWidget* tabs() const { return tabs_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildPages();
    void sizeToContent();
    void attachMonitor();
    void onCurrentTabChanged(int index);
    void stopLiveView();
    void showVersion();
    void toggleBoundaryPixels();

    ViewerProgram& program_;
    Interaction& interaction_;
    ViewerConfig config_;
    LiveViewBridge* bridge_;
    MonitorBridge* monitorBridge_ = nullptr;
    ContentScrollArea* scroll_;
    QTabWidget* tabs_;
    std::array<Page*, 2> pages_{};
    std::map<int, QAction*> actions_;
    int currentTab_ = -1;
};

}  // namespace qdx::viewer
