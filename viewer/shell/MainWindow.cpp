#include "MainWindow.h"

#include "pages/PanelLinks.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

#include "Commands.h"
#include "ContentScrollArea.h"
#include "Interaction.h"
#include "LiveViewBridge.h"
#include "MonitorBridge.h"
#include "ProgramIcon.h"
#include "QDX_API.h"
#include "ViewerProgram.h"
#include "core/ViewerConfig.h"
#include "pages/CalibrationPage.h"
#include "pages/PicturePage.h"

namespace qdx::viewer {
namespace {

// The least content the pages need: the picture and one control group
// (compact) or all three groups side by side (wide).
constexpr QSize kCompactContent(1182, 909);
constexpr QSize kWideContent(1867, 926);

}  // namespace

MainWindow::MainWindow(ViewerProgram& program, Interaction& interaction, const QString& configPath, QWidget* parent)
    : QMainWindow(parent),
      program_(program),
      interaction_(interaction),
      bridge_(new LiveViewBridge(this)),
      scroll_(new ContentScrollArea(this)),
      tabs_(new QTabWidget)
{
    setWindowTitle(QStringLiteral("QDX Viewer"));
    setWindowIcon(programIcon());

    config_ = loadAndWriteBackConfig(configPath.toStdString());
    program_.state().windowMode.store(config_.windowMode, std::memory_order_release);
    program_.state().expertMode.store(config_.expertMode, std::memory_order_release);

    buildMenus();

    tabs_->setProperty("controlId", kTabControlId);
    scroll_->setWidget(tabs_);
    setCentralWidget(scroll_);

    // The live view reports through the bridge from before the display thread starts.
    program_.attachLiveView(bridge_);
    buildPages();
    sizeToContent();
    attachMonitor();
    program_.state().mainWindowReady.store(1, std::memory_order_release);
}

MainWindow::~MainWindow()
{
    // The threads must be done with the pages and the bridges before they go.
    program_.attachMonitor(nullptr);
    stopLiveView();
    program_.attachLiveView(nullptr);
}

void MainWindow::buildMenus()
{
    QMenu* menu = nullptr;
    for (const MenuEntry& entry : menuEntries()) {
        if (entry.menu) {
            menu = menuBar()->addMenu(QString::fromUtf8(entry.menu));
            continue;
        }
        if (entry.command == 0) {
            menu->addSeparator();
            continue;
        }
        if (isExpertCommand(entry.command) && !config_.expert())
            continue;
        QAction* item = menu->addAction(QString::fromUtf8(entry.text));
        item->setProperty("controlId", entry.command);
        connect(item, &QAction::triggered, this, [this, id = entry.command] { command(id); });
        actions_[entry.command] = item;
    }
    if (QAction* boundary = action(kCmdBoundaryPixels)) {
        boundary->setCheckable(true);
        boundary->setChecked(program_.state().showBoundaryPixels.load() != 0);
    }
}

void MainWindow::buildPages()
{
    // The Picture page starts the display thread as it is built.
    auto* picture = new PicturePage(program_, config_.wide(), tabs_);
    pages_[0] = picture;
    bridge_->setPage(kPicturePage, picture);
    tabs_->addTab(picture, QStringLiteral("Picture"));

    auto* calibration = new CalibrationPage(program_, config_.wide(), tabs_);
    pages_[1] = calibration;
    bridge_->setPage(kCalibrationPage, calibration);
    tabs_->addTab(calibration, QStringLiteral("Calibration"));

    tabs_->setCurrentIndex(0);
    connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::onCurrentTabChanged);
    onCurrentTabChanged(0);
}

void MainWindow::attachMonitor()
{
    monitorBridge_ = new MonitorBridge([this] { return panelTargets(); }, this);
    program_.attachMonitor(monitorBridge_);
}

PanelTargets MainWindow::panelTargets()
{
    auto* picture = qobject_cast<PicturePage*>(pages_[0]);
    PanelTargets to;
    to.picture = picture;
    to.calibration = picture ? picture->calibrationPanel() : calibrationPanel();
    to.shared = &program_.panelShared();
    to.cameraInfo = [this](int line, const std::string& text) {
        for (Page* page : pages_)
            page->setCameraInfo(line, QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    };
    return to;
}

void MainWindow::sizeToContent()
{
    const QSize content = tabs_->minimumSizeHint().expandedTo(config_.wide() ? kWideContent : kCompactContent);
    tabs_->setMinimumSize(content);
    QSize wanted = content + QSize(0, menuBar()->sizeHint().height());
    if (const QScreen* screen = this->screen())
        wanted = wanted.boundedTo(screen->availableGeometry().size());
    resize(wanted);
}

Page* MainWindow::page(int index) const
{
    return index >= 0 && index < static_cast<int>(pages_.size()) ? pages_[static_cast<std::size_t>(index)] : nullptr;
}

PicturePanel* MainWindow::picturePanel() const
{
    return dynamic_cast<PicturePanel*>(pages_[0]);
}

CalibrationPanel* MainWindow::calibrationPanel() const
{
    return dynamic_cast<CalibrationPanel*>(pages_[1]);
}

QAction* MainWindow::action(int id) const
{
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

void MainWindow::onCurrentTabChanged(int index)
{
    if (index == currentTab_)
        return;
    if (Page* hidden = page(currentTab_))
        hidden->deactivated();
    currentTab_ = index;
    if (Page* shown = page(index))
        shown->activated();
}

void MainWindow::command(int id)
{
    switch (id) {
    case kCmdVersion:
        showVersion();
        break;
    case kCmdExit:
        // Posted, as a close request from outside would be.
        QTimer::singleShot(0, this, &QWidget::close);
        break;
    case kCmdBoundaryPixels:
        toggleBoundaryPixels();
        break;
    default:
        // The other commands arrive with their features.
        break;
    }
}

void MainWindow::showVersion()
{
    unsigned api = 0;
    QDX_GetVersion(&api);
    interaction_.message(this, QStringLiteral("info"), QString::fromStdString(versionText(program_.version(), api)),
                         MessageIcon::Information, MessageButtons::Ok);
}

void MainWindow::toggleBoundaryPixels()
{
    auto& show = program_.state().showBoundaryPixels;
    const int now = show.load(std::memory_order_acquire) == 0 ? 1 : 0;
    show.store(now, std::memory_order_release);
    if (QAction* item = action(kCmdBoundaryPixels))
        item->setChecked(now != 0);
}

void MainWindow::stopLiveView()
{
    program_.state().displayTarget.store(kNoTarget, std::memory_order_release);
    program_.stopDisplay();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A running recording stops first (once recording exists), then the live view.
    stopLiveView();
    event->accept();
}

}  // namespace qdx::viewer
