#include "CalibrationTools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <memory>
#include <vector>

#include "Interaction.h"
#include "PageContext.h"
#include "core/calibration/Calibration.h"
#include "core/calibration/TableCommands.h"
#include "core/files/GammaFile.h"
#include "core/model/PanelModel.h"
#include "core/model/ViewerState.h"
#include "live/CalibrationCapture.h"

namespace qdx::viewer {
namespace {

enum ButtonId {
    kGammaUpload = 3007, kGammaDownload = 3008, kGammaSave = 3009, kGammaClear = 3010,
    kDpDetect = 3013, kDpUpload = 3014, kDpDownload = 3015, kDpSave = 3016, kDpClear = 3017,
    kFpnDetect = 3018, kFpnUpload = 3019, kFpnDownload = 3020, kFpnSave = 3021, kFpnClear = 3022,
};

// A detection's result, from the job thread to the GUI thread.
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
    if (jobs_.busy())
        context_.interaction().setWaitCursor(false);
    // jobs_ then waits for the job, stopped first.
}

void CalibrationTools::stop()
{
    jobs_.stop();
}

void CalibrationTools::run(int id)
{
    if (jobs_.busy())
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
        button->setEnabled(allowed && !jobs_.busy());
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

template <typename Work, typename Done>
void CalibrationTools::startJob(const QString& progress, Work work, Done done)
{
    jobs_.run(std::move(work), [this, done = std::move(done)](auto result) {
        showJob({});
        done(std::move(result));
    });
    showJob(progress);
}

// The progress line and the wait cursor while a job runs; none without one.
void CalibrationTools::showJob(const QString& progress)
{
    const bool running = jobs_.busy();
    showButtons();
    progress_->setText(progress);
    progress_->setVisible(running);
    context_.interaction().setWaitCursor(running);
    context_.commandStateChanged();
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
    startJob(
        tr("Waiting for a new frame..."),
        [&grab = context_.state().calibrationGrab](std::stop_token stop) {
            Detection result;
            result.capture = grab.grab(result.frame, stop);
            return result;
        },
        [this, compute = std::move(compute)](const Detection& result) {
            if (result.capture != CaptureResult::Whole)
                return say(captureMessage(result.capture));
            compute(result.frame.data());
        });
}

void CalibrationTools::gammaUpload()
{
    FileDialogRequest request;
    request.title = tr("Open");
    request.kind = QStringLiteral("gamma");
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
    request.kind = QStringLiteral("gamma");
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
    startJob(progress, std::move(transfer), [this](const TableOutcome& outcome) {
        // The file's reason for whoever started the viewer from a shell.
        if (!outcome.why.empty())
            std::fprintf(stderr, "QDX_Viewer: %s\n", outcome.why.c_str());
        say(outcome.message);
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
    struct Transfer {
        FpnTable table;
        const char* message = "";
    };
    const bool changesTable = id == kFpnDownload || id == kFpnClear;
    const QString progress = id == kFpnUpload     ? tr("Sending the FPN table...")
                             : id == kFpnDownload ? tr("Reading the FPN table...")
                             : id == kFpnSave     ? tr("Saving the FPN table in the sensor head's memory...")
                                                  : tr("Clearing the FPN table...");
    startJob(
        progress,
        [id, table = context_.panels().fpnTable()](std::stop_token) {
            Transfer t{table};
            t.message = id == kFpnUpload     ? fpnUpload(t.table).message
                        : id == kFpnDownload ? fpnDownload(t.table).message
                        : id == kFpnSave     ? fpnSave().message
                                             : fpnClear(t.table).message;
            return t;
        },
        [this, changesTable](const Transfer& t) {
            say(t.message);
            if (!changesTable)
                return;
            context_.panels().fpnTable() = t.table;
            showFpnText();
        });
}

}  // namespace qdx::viewer
