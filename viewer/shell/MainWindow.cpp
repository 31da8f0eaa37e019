#include "MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QKeySequence>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

#include "ContentScrollArea.h"
#include "LiveViewBridge.h"
#include "MonitorBridge.h"
#include "ProgramIcon.h"
#include "QDX_API.h"
#include "VideoCapture.h"
#include "ViewerMemory.h"
#include "analysis/AnalysisDock.h"
#include "core/commands/CommandState.h"
#include "core/commands/ControlIds.h"
#include "pages/CalibrationPage.h"
#include "pages/CalibrationTools.h"
#include "pages/Interaction.h"
#include "pages/JobRunner.h"
#include "pages/PicturePage.h"
#include "pages/PictureView.h"
#include "playback/Playback.h"
#include "program/ViewerProgram.h"

namespace qdx::viewer {

MainWindow::MainWindow(ViewerProgram& program, Interaction& interaction, const QString& configPath, QWidget* parent)
    : QMainWindow(parent),
      program_(program),
      remembered_(std::make_unique<Remembered>(interaction)),
      interaction_(remembered_->interaction),
      config_(loadAndWriteBackConfig(configPath.toStdString())),
      jobs_(new JobRunner("qdx-parameters", this)),
      bridge_(new LiveViewBridge(this)),
      monitorBridge_(new MonitorBridge(program.panels(), this)),
      scroll_(new ContentScrollArea(this)),
      tabs_(new QTabWidget),
      video_(new VideoCapture(*this, program, interaction_))
{
    setWindowTitle(QStringLiteral("QDX Viewer"));
    setWindowIcon(programIcon());

    registerCommands();
    buildMenus();

    tabs_->setProperty("controlId", kTabControlId);
    scroll_->setWidget(tabs_);
    setCentralWidget(scroll_);

    // The live view reports through the bridge from its first frame on.
    program_.attachLiveView(bridge_);
    buildPages();
    buildAnalysis();
    // The status line (still capture's notices) is there from the start, so
    // that its first notice does not push the page's bottom row out of view.
    statusBar();
    sizeToContent();
    // A refused camera is said once in the status line, and taken back when it ends.
    connect(monitorBridge_, &MonitorBridge::deviceProblemChanged, this,
            [this, shown = QString()](const QString& text) mutable {
                if (!text.isEmpty())
                    statusBar()->showMessage(text);
                else if (statusBar()->currentMessage() == shown)
                    statusBar()->clearMessage();  // only our own notice, not a later one
                shown = text;
            });
    program_.attachMonitor(monitorBridge_);
    attachStillCapture();
    setUpRemembered();
    connect(video_, &VideoCapture::recordingChanged, this, &MainWindow::showCommandState);
    panelsObserver_ = program_.panels().addObserver([this] {
        showCommandState();
        followZoom();
    });
    showCommandState();
    program_.state().ready.set(ReadyGate::MainWindow);
    // The Picture page is the display target now: the live view starts.
    program_.startLiveView();
}

MainWindow::~MainWindow()
{
    program_.panels().removeObserver(panelsObserver_);
    playback_->disconnect(this);
    // The threads must be done with the pages and the bridges before they go.
    program_.attachMonitor(nullptr);
    program_.stopLiveView();
    program_.attachLiveView(nullptr);
    detachStillCapture();
    // The Analysis window works on the pages' pictures: it goes first.
    delete analysis_;
    analysis_ = nullptr;
    playback_.reset();
    // The pages go while the window they ask for things is still whole.
    bridge_->setPage(kPicturePage, nullptr);
    bridge_->setPage(kCalibrationPage, nullptr);
    pages_ = {};
    delete takeCentralWidget();
    // A parameter command under way ends as the job runner goes; its message is dropped.
    if (jobs_->busy())
        interaction_.setWaitCursor(false);
}

ViewerState& MainWindow::state()
{
    return program_.state();
}

PanelModel& MainWindow::panels()
{
    return program_.panels();
}

DisplayImage& MainWindow::displayImage()
{
    return *program_.displayImage();
}

void MainWindow::registerCommands()
{
    commands_.add(kCmdVersion, [this] { showVersion(); });
    // Posted, as a close request from outside would be.
    commands_.add(kCmdExit, [this] { QTimer::singleShot(0, this, &QWidget::close); });
    commands_.add(kCmdBoundaryPixels, [this] { toggleBoundaryPixels(); });
    commands_.add(kCmdStillCapture, [this] { stillCapture(); }, true);
    commands_.add(kCmdVideoCapture, [this] { video_->command(); });
    registerParameterCommands();
    commands_.add(kCmdSaveCsv, [this] { saveCsv(); }, true);
    bridge_->onCsvExportEnded([this](const QString& failure) { csvExportEnded(failure); });
    commands_.add(kCmdDebug, [this] { openDebugDialog(); });
    commands_.add(kCmdOpenAndPlay, [this] { playback_->openAndPlay(); });
    commands_.add(kCmdPausePlay, [this] { playback_->togglePause(); });
    commands_.add(kCmdPlayStop, [this] { playback_->stop(); });
    commands_.add(kCmdAnalysis, [this] { toggleAnalysis(); });
    commands_.add(kCmdFullScreen, [this] { toggleFullScreen(); });
    commands_.add(kCmdKeyboardShortcuts, [this] { showKeyboardShortcuts(); });
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
        if (const char* keys = menuShortcut(entry.command))
            item->setShortcut(QKeySequence(QString::fromLatin1(keys), QKeySequence::PortableText));
        connect(item, &QAction::triggered, this, [this, id = entry.command] { command(id); });
        actions_[entry.command] = item;
    }
    if (QAction* boundary = action(kCmdBoundaryPixels)) {
        boundary->setCheckable(true);
        boundary->setChecked(program_.state().showBoundaryPixels.load() != 0);
    }
    if (QAction* analysis = action(kCmdAnalysis))
        analysis->setCheckable(true);
}

void MainWindow::buildAnalysis()
{
    analysis_ = new AnalysisDock(program_.analysisFeed(), program_.streamHealth(), program_.state(),
                                 {pages_[kPicturePage]->pictureView(), pages_[kCalibrationPage]->pictureView()}, this);
    addDockWidget(Qt::RightDockWidgetArea, analysis_);
    analysis_->hide();
    connect(analysis_, &AnalysisDock::shownChanged, this, [this](bool shown) {
        if (QAction* item = action(kCmdAnalysis))
            item->setChecked(shown);
    });
}

void MainWindow::toggleAnalysis()
{
    if (!analysis_->isHidden()) {
        analysis_->hide();
        return;
    }
    // Docked, it takes its room beside the picture: the window grows by it
    // as far as the screen allows, rather than squeezing the pages.
    const int pagesWidth = centralWidget()->width();
    analysis_->show();
    if (!analysis_->isFloating() && !isMaximized() && !isFullScreen()) {
        layout()->activate();
        QSize wanted = size() + QSize(std::max(0, pagesWidth - centralWidget()->width()), 0);
        if (const QScreen* screen = this->screen())
            wanted = wanted.boundedTo(screen->availableGeometry().size());
        resize(wanted);
    }
    analysis_->raise();
}

void MainWindow::buildPages()
{
    auto* picture = new PicturePage(*this, tabs_);
    pages_[kPicturePage] = picture;
    bridge_->setPage(kPicturePage, picture);
    tabs_->addTab(picture, QStringLiteral("Picture"));
    PageContext& context = *this;
    playback_ = std::make_unique<Playback>(context, *picture);
    connect(playback_.get(), &Playback::changed, this, &MainWindow::showCommandState);
    connect(video_, &VideoCapture::progressChanged, picture, &PicturePage::setRecordingProgress);

    auto* calibration = new CalibrationPage(*this, tabs_);
    pages_[kCalibrationPage] = calibration;
    calibration_ = calibration;
    bridge_->setPage(kCalibrationPage, calibration);
    tabs_->addTab(calibration, QStringLiteral("Calibration"));

    tabs_->setCurrentIndex(kPicturePage);
    connect(tabs_, &QTabWidget::currentChanged, this, &MainWindow::onCurrentTabChanged);
    onCurrentTabChanged(kPicturePage);
}

Page* MainWindow::page(int index) const
{
    return index >= 0 && index < static_cast<int>(pages_.size()) ? pages_[static_cast<std::size_t>(index)] : nullptr;
}

QAction* MainWindow::action(int id) const
{
    const auto found = actions_.find(id);
    return found == actions_.end() ? nullptr : found->second;
}

void MainWindow::showCommandState()
{
    if (!calibration_)
        return;  // the pages are being built; the last of them shows it
    CommandInputs in;
    in.page = currentTab_;
    const ViewerState& state = program_.state();
    in.recording = state.recordingActive.load(std::memory_order_acquire) != 0;
    in.playback = playback_->state();
    in.count = playback_->count();
    in.csvExport = state.csvExport.active();
    in.longCommand = calibration_->tools().busy() || jobs_->busy();
    const CommandState commands = commandState(in);
    for (const auto& [id, item] : actions_)
        item->setEnabled(commands.enabled(id));
    if (QAction* item = action(kCmdVideoCapture))
        item->setText(QString::fromStdString(commands.videoCaptureItem));
    for (Page* page : pages_)
        page->showCommandState(commands);
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
    showCommandState();
    // A playback goes on behind another page, placed anew.
    if (playback_)
        playback_->reposition();
}

void MainWindow::command(int id)
{
    switch (commands_.dispatch(id)) {
    case CommandDispatcher::Outcome::Done:
        break;
    case CommandDispatcher::Outcome::NoCamera:
        interaction_.message(this, QStringLiteral("Message"), QStringLiteral("No Connected Camera!"),
                             MessageIcon::Warning, MessageButtons::Ok);
        break;
    case CommandDispatcher::Outcome::Unknown:
        // A menu item or button whose work this build does not have yet.
        interaction_.message(this, QStringLiteral("Message"), QStringLiteral("Not available in this version."),
                             MessageIcon::Information, MessageButtons::Ok);
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

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A running recording is finished first, then playback, whose engine
    // must be gone before the widgets, then the live view stops. A
    // calibration job is asked to end now; the window goes without waiting
    // for it (its tools wait for it as they go).
    calibration_->tools().stop();
    video_->stopBeforeClose();
    playback_->stop();
    program_.stopLiveView();
    remember();
    event->accept();
}

}  // namespace qdx::viewer
