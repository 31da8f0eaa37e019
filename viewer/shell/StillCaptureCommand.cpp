// Still capture from the menu and the page buttons: the save dialog, the
// request handed to the display thread, and the notice of how it went.
#include <QFile>
#include <QStatusBar>

#include <functional>

#include "MainWindow.h"
#include "ViewerProgram.h"
#include "capture/StillCapture.h"
#include "core/TimestampName.h"
#include "pages/Interaction.h"
#include "pages/Page.h"

namespace qdx::viewer {
namespace {

constexpr int kSavedNoticeMs = 10000;

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
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)] { show_(result); }, Qt::QueuedConnection);
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
    const int target = program_.state().displayTarget.load(std::memory_order_acquire);
    QWidget* owner = page(target);
    if (!owner)
        owner = this;
    FileDialogRequest request;
    request.save = true;
    request.title = QStringLiteral("Save File");
    request.filterText = QStringLiteral("BMP File (*.bmp)");
    request.pattern = QStringLiteral("*.bmp");
    request.defaultSuffix = QStringLiteral("bmp");
    request.proposedName = QString::fromStdString(makeTimestampName()) + QStringLiteral(".bmp");
    const QString path = interaction_.fileName(owner, request);
    if (path.isEmpty())
        return;  // cancelled: a request already waiting keeps its path
    StillCapture* still = program_.stillCapture();
    if (!still) {
        stillCaptured({path.toStdString(), false, "no memory for the picture"});
        return;
    }
    still->request(QFile::encodeName(path).toStdString());
}

void MainWindow::stillCaptured(const StillCaptureResult& result)
{
    const QString path = QFile::decodeName(QByteArray::fromStdString(result.path));
    if (result.saved) {
        statusBar()->showMessage(QStringLiteral("Saved %1").arg(path), kSavedNoticeMs);
        return;
    }
    statusBar()->showMessage(QString::fromStdString(result.why));
    QWidget* owner = page(program_.state().displayTarget.load(std::memory_order_acquire));
    interaction_.message(owner ? owner : this, QStringLiteral("Message"), QStringLiteral("Still Capture : Error!"),
                         MessageIcon::Warning, MessageButtons::Ok);
}

}  // namespace qdx::viewer
