#include "CalibrationTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <memory>
#include <vector>

#include "Interaction.h"
#include "PageContext.h"
#include "core/Calibration.h"
#include "core/GammaFile.h"
#include "core/PanelModel.h"
#include "core/TableCommands.h"
#include "core/ViewerState.h"
#include "live/CalibrationCapture.h"

namespace qdx::viewer {
namespace {

enum ButtonId {
    kGammaUpload = 3007, kGammaDownload = 3008, kGammaSave = 3009, kGammaClear = 3010,
    kDpDetect = 3013, kDpUpload = 3014, kDpDownload = 3015, kDpSave = 3016, kDpClear = 3017,
    kFpnDetect = 3018, kFpnUpload = 3019, kFpnDownload = 3020, kFpnSave = 3021, kFpnClear = 3022,
};

// A detection's result, handed from the job thread to the GUI thread by the
// join that precedes done.
struct Detection {
    CaptureResult capture = CaptureResult::Stopped;
    std::vector<uint8_t> frame;
};

}  // namespace

CalibrationTools::CalibrationTools(QWidget* page, PageContext& context, std::map<int, QPushButton*> buttons,
                                   QPlainTextEdit* dpText, QPlainTextEdit* fpnText, QLabel* progress)
    : QObject(page),
      page_(page),
      context_(context),
      buttons_(std::move(buttons)),
      dpText_(dpText),
      fpnText_(fpnText),
      progress_(progress)
{
    for (auto& [id, button] : buttons_)
        connect(button, &QPushButton::clicked, this, [this, id = id] { run(id); });
    progress_->hide();
}

CalibrationTools::~CalibrationTools()
{
    stop();
    if (job_.joinable())
        job_.join();
    if (busy_)
        context_.interaction().setWaitCursor(false);
}

void CalibrationTools::stop()
{
    job_.request_stop();
}

void CalibrationTools::run(int id)
{
    if (busy_)
        return;
    switch (id) {
    case kDpDetect:
        return detectDefects();
    case kFpnDetect:
        return detectFpn();
    case kGammaUpload:
        return gammaUpload();
    case kGammaDownload:
        return gammaDownload();
    case kGammaSave:
        return runGamma(tr("Saving the gamma tables in the camera's memory..."),
                        [](std::stop_token) { return viewer::gammaSave(); });
    case kGammaClear:
        return runGamma(tr("Sending linear gamma tables..."), [](std::stop_token) { return viewer::gammaClear(); });
    case kDpUpload:
    case kDpDownload:
    case kDpSave:
    case kDpClear:
        return dpCommand(id);
    case kFpnUpload:
    case kFpnDownload:
    case kFpnSave:
    case kFpnClear:
        return fpnCommand(id);
    default:
        break;
    }
}

void CalibrationTools::showEnabling(const Enabling& enabling)
{
    dpSaveAllowed_ = enabling.dpSave;
    fpnSaveAllowed_ = enabling.fpnSave;
    showButtons();
}

void CalibrationTools::showButtons()
{
    for (auto& [id, button] : buttons_) {
        const bool allowed = id == kDpSave ? dpSaveAllowed_ : id == kFpnSave ? fpnSaveAllowed_ : true;
        button->setEnabled(allowed && !busy_);
    }
}

void CalibrationTools::showDpText()
{
    const auto kind = static_cast<DefectKind>(context_.panels().calibrationCombo(kCalDpType));
    dpText_->setPlainText(QString::fromStdString(dpText(context_.panels().dpTable(), kind)));
}

void CalibrationTools::showFpnText()
{
    fpnText_->setPlainText(QString::fromLatin1(fpnText(context_.panels().fpnTable())));
}

void CalibrationTools::startJob(const QString& progress, std::function<void(std::stop_token)> work,
                                std::function<void()> done)
{
    busy_ = true;
    done_ = std::move(done);
    showButtons();
    progress_->setText(progress);
    progress_->show();
    context_.interaction().setWaitCursor(true);
    job_ = std::jthread([this, work = std::move(work)](std::stop_token stop) {
        work(stop);
        // Queued: runs on the GUI thread once it returns to its event loop;
        // dropped if this object is gone by then (its destructor joined us).
        QMetaObject::invokeMethod(this, &CalibrationTools::finishJob, Qt::QueuedConnection);
    });
}

void CalibrationTools::finishJob()
{
    job_.join();  // everything the job wrote is visible from here on
    context_.interaction().setWaitCursor(false);
    progress_->hide();
    busy_ = false;
    showButtons();
    const auto done = std::move(done_);
    done_ = nullptr;
    done();
}

void CalibrationTools::say(const char* message)
{
    context_.interaction().message(page_, QStringLiteral("info"), QString::fromUtf8(message),
                                   MessageIcon::Information, MessageButtons::Ok);
}

void CalibrationTools::detectDefects()
{
    detect([this](const uint8_t* frame) {
        PanelModel& model = context_.panels();
        const auto kind = static_cast<DefectKind>(model.calibrationCombo(kCalDpType));
        detectDefectPixels(frame, model.calibrationSlider(kThresholdSlider), kind, model.dpTable());
        showDpText();
    });
}

void CalibrationTools::detectFpn()
{
    detect([this](const uint8_t* frame) {
        detectFixedPattern(frame, context_.panels().fpnTable());
        showFpnText();
    });
}

void CalibrationTools::detect(std::function<void(const uint8_t*)> compute)
{
    auto result = std::make_shared<Detection>();
    startJob(tr("Waiting for a new frame..."),
             [result, &grab = context_.state().calibrationGrab](std::stop_token stop) {
                 result->capture = grab.grab(result->frame, stop);
             },
             [this, result, compute = std::move(compute)] {
                 if (result->capture != CaptureResult::Whole)
                     return say(captureMessage(result->capture));
                 compute(result->frame.data());
             });
}

void CalibrationTools::gammaUpload()
{
    FileDialogRequest request;
    request.title = tr("Open");
    request.folder = gammaUploadPath_.isEmpty() ? QString() : QFileInfo(gammaUploadPath_).absolutePath();
    const QString path = context_.interaction().fileName(page_, request);
    if (path.isEmpty())
        return say("Gamma upload cancel");
    gammaUploadPath_ = path;
    runGamma(tr("Sending the gamma tables..."), [file = QFile::encodeName(path).toStdString()](std::stop_token stop) {
        const auto tables = std::make_unique<GammaTables>();
        if (std::string why; !readGammaFile(file, *tables, why))
            return TableOutcome{false, "Gamma upload load error", why};
        // A file read while the window closed is not sent to the camera.
        return stop.stop_requested() ? TableOutcome{} : gammaSend(*tables);
    });
}

void CalibrationTools::gammaDownload()
{
    FileDialogRequest request;
    request.save = true;
    request.title = tr("Save As");
    // The camera's tool replaces the file it is given without asking.
    request.confirmOverwrite = false;
    if (!gammaDownloadPath_.isEmpty()) {
        const QFileInfo last(gammaDownloadPath_);
        request.folder = last.absolutePath();
        request.proposedName = last.fileName();
    }
    const QString path = context_.interaction().fileName(page_, request);
    if (path.isEmpty())
        return say("Gamma download cancel");
    gammaDownloadPath_ = path;
    runGamma(tr("Reading the gamma tables..."), [file = QFile::encodeName(path).toStdString()](std::stop_token) {
        return viewer::gammaDownload(file);
    });
}

void CalibrationTools::runGamma(const QString& progress, std::function<TableOutcome(std::stop_token)> transfer)
{
    auto outcome = std::make_shared<TableOutcome>();
    startJob(
        progress, [outcome, transfer = std::move(transfer)](std::stop_token stop) { *outcome = transfer(stop); },
        [this, outcome] {
            // The file's reason for whoever started the viewer from a shell.
            if (!outcome->why.empty())
                std::fprintf(stderr, "QDX_Viewer: %s\n", outcome->why.c_str());
            say(outcome->message);
        });
}

void CalibrationTools::dpCommand(int id)
{
    // Four requests at most: these run here, without a wait cursor.
    PanelModel& model = context_.panels();
    const auto kind = static_cast<DefectKind>(model.calibrationCombo(kCalDpType));
    switch (id) {
    case kDpUpload:
        return say(dpUpload(kind, model.dpTable()).message);
    case kDpDownload:
        say(dpDownload(kind, model.dpTable()).message);
        return showDpText();
    case kDpSave:
        return say(dpSave(kind).message);
    default:
        say(dpClear(kind, model.dpTable()).message);
        return showDpText();
    }
}

void CalibrationTools::fpnCommand(int id)
{
    // The job works on a copy: the page's table is only touched here.
    auto table = std::make_shared<FpnTable>(context_.panels().fpnTable());
    auto message = std::make_shared<const char*>("");
    const bool changesTable = id == kFpnDownload || id == kFpnClear;
    const QString progress = id == kFpnUpload     ? tr("Sending the FPN table...")
                             : id == kFpnDownload ? tr("Reading the FPN table...")
                             : id == kFpnSave     ? tr("Saving the FPN table in the sensor head's memory...")
                                                  : tr("Clearing the FPN table...");
    startJob(
        progress,
        [id, table, message](std::stop_token) {
            *message = id == kFpnUpload     ? fpnUpload(*table).message
                       : id == kFpnDownload ? fpnDownload(*table).message
                       : id == kFpnSave     ? fpnSave().message
                                            : fpnClear(*table).message;
        },
        [this, table, message, changesTable] {
            say(*message);
            if (!changesTable)
                return;
            context_.panels().fpnTable() = *table;
            showFpnText();
        });
}

}  // namespace qdx::viewer
