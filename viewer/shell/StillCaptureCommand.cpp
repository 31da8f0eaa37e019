// Still capture from the menu and the page buttons: the save dialog, the
// request handed to the display thread, and the notice of how it went.
#include <QFile>
#include <QStatusBar>

#include <functional>
#include <string>
#include <utility>

#include "MainWindow.h"
#include "capture/StillCapture.h"
#include "core/files/TimestampName.h"
#include "core/model/ViewerState.h"
#include "pages/Interaction.h"
#include "pages/JobRunner.h"
#include "pages/Page.h"
#include "program/ViewerProgram.h"

namespace qdx::viewer {
namespace {

constexpr int kSavedNoticeMs = 10000;

// Dialogs and messages of still capture belong to the page showing the picture.
QWidget* pictureOwner(MainWindow& window, const ViewerState& state)
{
    QWidget* page = window.page(state.displayTarget.load(std::memory_order_acquire));
    return page ? page : &window;
}

}  // namespace

// Carries the display thread's results to the GUI thread as queued calls; a
// call still queued when the window goes is dropped with this object.
class StillCaptureNotice final : public QObject, public StillCaptureSink {
public:
    using Show = std::function<void(const StillCaptureResult&)>;
    StillCaptureNotice(Show show, QObject* parent) : QObject(parent), show_(std::move(show)) {}

    // Display thread.
    void stillCaptured(StillCaptureResult result) override
    {
        postToGui(this, [this, result = std::move(result)] { show_(result); });
    }

private:
    Show show_;  // GUI thread
};

void MainWindow::attachStillCapture()
{
    if (StillCapture* still = program_.stillCapture()) {
        stillNotice_ = new StillCaptureNotice([this](const StillCaptureResult& result) { stillCaptured(result); }, this);
        still->attach(stillNotice_);
    }
}

void MainWindow::detachStillCapture()
{
    if (StillCapture* still = program_.stillCapture())
        still->attach(nullptr);
}

void MainWindow::stillCapture()
{
    FileDialogRequest request;
    request.save = true;
    request.title = QStringLiteral("Save File");
    // The bitmap first, as before; the 16-bit files keep the camera's 12 bits.
    request.filterText = QStringLiteral("BMP File (*.bmp);;16-bit PNG (*.png);;16-bit TIFF (*.tif *.tiff)");
    request.defaultSuffix = QStringLiteral("bmp");
    request.proposedName = QString::fromStdString(makeTimestampName()) + QStringLiteral(".bmp");
    request.kind = QStringLiteral("still");
    const QString chosen = interaction_.fileName(pictureOwner(*this, program_.state()), request);
    if (chosen.isEmpty())
        return;  // cancelled: a request already waiting keeps its path
    std::string path = QFile::encodeName(chosen).toStdString();
    StillCapture* still = program_.stillCapture();
    if (!still) {
        stillCaptured({std::move(path), false, "no memory for the picture"});
        return;
    }
    still->request(std::move(path));
}

void MainWindow::stillCaptured(const StillCaptureResult& result)
{
    const QString path = QFile::decodeName(QByteArray::fromStdString(result.path));
    if (result.saved) {
        statusBar()->showMessage(QStringLiteral("Saved %1").arg(path), kSavedNoticeMs);
        return;
    }
    statusBar()->showMessage(QString::fromStdString(result.why));
    interaction_.message(pictureOwner(*this, program_.state()), QStringLiteral("Message"),
                         QStringLiteral("Still Capture : Error!"), MessageIcon::Warning, MessageButtons::Ok);
}

}  // namespace qdx::viewer
