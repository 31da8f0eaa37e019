// What the window brings back at its start and keeps at its close (the place
// and size, the docked windows, the zoom; ViewerMemory.h), and Quick Still:
// the next frame saved under a new time-stamped name in the last still folder,
// in the still format last chosen, without a dialog.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <span>

#include "MainWindow.h"
#include "ViewerMemory.h"
#include "capture/StillCapture.h"
#include "core/files/TimestampName.h"
#include "core/model/Settings.h"
#include "program/ViewerProgram.h"

namespace qdx::viewer {
namespace {

// Names Quick Still keeps in mind besides those on disk: more than a burst of
// presses can hand out before their files are there.
constexpr std::size_t kRecentQuickStills = 64;

}  // namespace

void MainWindow::setUpRemembered()
{
    commands_.add(kCmdQuickStill, [this] { quickStill(); }, true);
    const ViewerMemory& memory = remembered_->memory;
    const std::span<const char* const> zooms = zoomEntries();
    for (std::size_t i = 0; i < zooms.size(); ++i)
        if (memory.zoom == QLatin1String(zooms[i]))
            program_.panels().chooseZoom(static_cast<int>(i));
    if (!memory.windowState.isEmpty())
        restoreState(memory.windowState);
    if (!memory.geometry.isEmpty() && restoreGeometry(memory.geometry)) {
        keepOnScreen();
        // Again once shown, with the frame.
        QTimer::singleShot(0, this, &MainWindow::keepOnScreen);
    }
}

void MainWindow::remember()
{
    ViewerMemory& memory = remembered_->memory;
    memory.geometry = saveGeometry();
    memory.windowState = saveState();
    const std::span<const char* const> zooms = zoomEntries();
    const auto zoom = static_cast<std::size_t>(program_.state().displayZoom.load(std::memory_order_acquire));
    if (zoom < zooms.size())
        memory.zoom = QString::fromLatin1(zooms[zoom]);
    if (QString why; !memory.save(why))
        std::fprintf(stderr, "QDX_Viewer: the window's place and folders are not remembered: %s\n",
                     QFile::encodeName(why).constData());
}

// A place remembered on a screen since gone or made smaller, or written by
// hand, never puts the window out of reach or beyond the screen, its frame
// included once the window system has told it.
void MainWindow::keepOnScreen()
{
    if (isMaximized() || isFullScreen())
        return;
    const QRect inner = geometry();
    const QRect frame = frameGeometry();
    const QScreen* screen = QGuiApplication::screenAt(inner.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect room = screen->availableGeometry().adjusted(inner.left() - frame.left(), inner.top() - frame.top(),
                                                            inner.right() - frame.right(),
                                                            inner.bottom() - frame.bottom());
    QRect place = inner;
    place.setSize(place.size().boundedTo(room.size()));
    place.moveLeft(std::clamp(place.left(), room.left(), room.right() + 1 - place.width()));
    place.moveTop(std::clamp(place.top(), room.top(), room.bottom() + 1 - place.height()));
    if (place != inner)
        setGeometry(place);
}

void MainWindow::quickStill()
{
    const QString folder = remembered_->memory.stillFolder();
    const QFileInfo where(folder);
    if (!where.isDir() || !where.isWritable()) {
        const QString what = where.exists() ? QStringLiteral("not a writable folder") : QStringLiteral("no such folder");
        statusBar()->showMessage(
            QStringLiteral("Quick Still: cannot save into %1 (%2); choose a folder with Still Capture").arg(folder, what));
        return;
    }
    // A new name, never one on disk or one handed out a moment ago whose
    // file is not written yet: two presses within a millisecond get "_2".
    std::vector<QString>& recent = remembered_->quickStills;
    const QString base = QDir(folder).filePath(QString::fromStdString(makeTimestampName()));
    const QString suffix = QStringLiteral(".") + remembered_->memory.stillSuffix();
    QString path = base + suffix;
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink() ||
                    std::find(recent.begin(), recent.end(), path) != recent.end();
         ++n)
        path = base + QStringLiteral("_%1").arg(n) + suffix;
    StillCapture* still = program_.stillCapture();
    if (!still) {
        stillCaptured({QFile::encodeName(path).toStdString(), false, "no memory for the picture"});
        return;
    }
    if (!still->requestAnother(QFile::encodeName(path).toStdString())) {
        statusBar()->showMessage(QStringLiteral("Quick Still: %1 pictures already wait for a frame")
                                     .arg(StillCapture::kMaxWaiting));
        return;
    }
    recent.push_back(path);
    if (recent.size() > kRecentQuickStills)
        recent.erase(recent.begin());
    statusBar()->showMessage(QStringLiteral("Saving %1").arg(path));
}

}  // namespace qdx::viewer
