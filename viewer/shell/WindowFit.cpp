// The main window within the screen's available area, the pages' minimum
// for the zoom shown, and full screen.
#include <QAction>
#include <QKeySequence>
#include <QLayout>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include "ContentScrollArea.h"
#include "MainWindow.h"
#include "analysis/AnalysisDock.h"
#include "core/model/PanelModel.h"
#include "core/model/PictureFit.h"
#include "pages/Page.h"
#include "pages/PictureView.h"
#include "program/ViewerProgram.h"

namespace qdx::viewer {
namespace {

// The least content the pages need: the picture and one control group
// (compact) or all three groups side by side (wide).
constexpr QSize kCompactContent(1182, 909);
constexpr QSize kWideContent(1867, 926);

bool fitted(const ViewerState& state)
{
    return state.displayZoom.load(std::memory_order_acquire) == kZoomFit;
}

}  // namespace

QSize MainWindow::contentRoom() const
{
    const QScreen* screen = this->screen();
    if (!screen)
        return {QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};
    // The frame is known once the window manager has framed the window.
    const QSize frame = frameGeometry().size() - geometry().size();
    const int chrome = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
    return (screen->availableGeometry().size() - frame - QSize(0, chrome)).expandedTo(QSize(1, 1));
}

void MainWindow::setContentMinimum()
{
    contentFit_ = fitted(program_.state());
    // The pages' own minimum follows the picture area they hold now.
    for (Page* page : pages_)
        page->layout()->activate();
    QSize floor = config_.wide() ? kWideContent : kCompactContent;
    if (contentFit_)
        floor = floor.boundedTo(contentRoom());
    tabs_->setMinimumSize(tabs_->minimumSizeHint().expandedTo(floor));
}

void MainWindow::fitContentTo(QSize room)
{
    setContentMinimum();
    // A window mode larger than the screen shows the picture fitted rather
    // than opening with scroll bars.
    if (!contentFit_ && (tabs_->minimumWidth() > room.width() || tabs_->minimumHeight() > room.height())) {
        program_.panels().chooseZoom(kZoomFit);
        setContentMinimum();
    }
}

void MainWindow::sizeToContent()
{
    const QSize room = contentRoom();
    fitContentTo(room);
    const QSize chrome(0, menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
    resize(tabs_->minimumSize().boundedTo(room) + chrome);
    // Shown, the window has its frame: the first turn of the event loop
    // takes that off too, where it would cross the screen's edge.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible() || isMaximized() || isFullScreen())
            return;
        const QSize framed = contentRoom();
        const QSize most = framed + QSize(0, menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
        if (width() <= most.width() && height() <= most.height())
            return;
        fitContentTo(framed);
        resize(size().boundedTo(most));
    });
}

void MainWindow::followZoom()
{
    if (fitted(program_.state()) != contentFit_)
        setContentMinimum();
}

void MainWindow::toggleFullScreen()
{
    if (fullView_) {
        leaveFullScreen();
        return;
    }
    Page* shown = page(currentTab_);
    if (!shown)
        return;
    geometryBeforeFull_ = geometry();
    stateBeforeFull_ = windowState();
    analysisBeforeFull_ = !analysis_->isHidden();
    menuBar()->hide();
    statusBar()->hide();
    if (analysisBeforeFull_)
        analysis_->hide();
    // A second view of the display image, fitted, over the whole content;
    // the page's own keeps its place and probes for when the window comes back.
    fullView_ = new PictureView(displayImage(), nullptr);
    fullView_->setProperty("controlId", QVariant());
    fullView_->setFit(true);
    connect(shown->pictureView(), &PictureView::newPicture, fullView_, &PictureView::showNewPicture);
    scroll_->setCover(fullView_);
    // The menu bar is hidden, and its shortcuts with it: the window's own action leaves.
    leaveFullScreen_ = new QAction(this);
    leaveFullScreen_->setShortcuts({QKeySequence(Qt::Key_F11), QKeySequence(Qt::Key_Escape)});
    connect(leaveFullScreen_, &QAction::triggered, this, &MainWindow::leaveFullScreen);
    addAction(leaveFullScreen_);
    showFullScreen();
}

void MainWindow::leaveFullScreen()
{
    if (!fullView_)
        return;
    delete leaveFullScreen_;
    leaveFullScreen_ = nullptr;
    scroll_->setCover(nullptr);
    fullView_ = nullptr;
    // The window's own geometry, not one taken back from its frame, which
    // may move it by the title bar.
    setWindowState(stateBeforeFull_);
    if (!(stateBeforeFull_ & Qt::WindowMaximized))
        setGeometry(geometryBeforeFull_);
    menuBar()->show();
    statusBar()->show();
    if (analysisBeforeFull_)
        analysis_->show();
}

}  // namespace qdx::viewer
