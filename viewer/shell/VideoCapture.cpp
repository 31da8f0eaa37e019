#include "VideoCapture.h"

#include <QFile>
#include <QTimer>

#include "MainWindow.h"
#include "QDX_API.h"
#include "capture/CaptureImage.h"
#include "core/files/TimestampName.h"
#include "pages/Interaction.h"
#include "pages/JobRunner.h"
#include "pages/Page.h"
#include "program/ViewerProgram.h"

namespace qdx::viewer {
namespace {

int libraryIndex()
{
    int index = 0;
    QDX_GetIndex(&index);
    return index;
}

}  // namespace

VideoCapture::VideoCapture(MainWindow& window, ViewerProgram& program, Interaction& interaction)
    : QObject(&window), window_(window), program_(program), interaction_(interaction), progressTimer_(new QTimer(this))
{
    // Often enough to see an unplug that lasts a moment; one that is shorter
    // still shows as the frame index counting from 0 again.
    progressTimer_->setInterval(100);
    connect(progressTimer_, &QTimer::timeout, this, &VideoCapture::tick);
}

VideoCapture::~VideoCapture()
{
    // Before this object goes: the thread's last notice may not be queued to it later.
    if (recorder_)
        recorder_->stop();
    if (lossless_)
        lossless_->stop();
}

bool VideoCapture::running() const
{
    return lossless_ ? lossless_->running() : recorder_ && recorder_->running();
}

uint32_t VideoCapture::frames() const
{
    return lossless_ ? lossless_->frames() : recorder_ ? recorder_->frames() : 0;
}

void VideoCapture::command()
{
    auto ask = [this](const QString& text) {
        return interaction_.message(&window_, QStringLiteral("Message"), text, MessageIcon::Information,
                                    MessageButtons::OkCancel) == MessageAnswer::Ok;
    };
    if (recording()) {
        if (!running() || ask(QStringLiteral("Stop Video Capture")))
            stopRecording();
        return;
    }
    if (!cameraConnected()) {
        interaction_.message(&window_, QStringLiteral("Message"), QStringLiteral("No Connected Camera!"),
                             MessageIcon::Warning, MessageButtons::Ok);
        return;
    }
    if (ask(QStringLiteral("Start Video Capture")) && startRecording())
        showRecording(true);
}

void VideoCapture::stopBeforeClose()
{
    if (recording())
        stopRecording();
}

bool VideoCapture::startRecording()
{
    ViewerState& state = program_.state();
    auto giveUp = [this](const QString& why) {
        if (!why.isEmpty())
            interaction_.message(&window_, QStringLiteral("Message"), QStringLiteral("Video Capture : Error!\n") + why,
                                 MessageIcon::Warning, MessageButtons::Ok);
        return false;
    };

    FileDialogRequest request;
    request.save = true;
    request.title = QStringLiteral("Save File");
    // The second filter is the lossless choice; the name's ending decides.
    request.filterText = QStringLiteral("AVI File (*.avi);;Lossless 12-bit (FFV1, .mkv) (*.mkv)");
    request.defaultSuffix = QStringLiteral("avi");
    request.proposedName = QString::fromStdString(makeTimestampName()) + QStringLiteral(".avi");
    request.folder = QStringLiteral(".");
    request.kind = QStringLiteral("recording");
    request.confirmOverwrite = true;  // a recording never replaces a file unasked
    QWidget* owner = window_.page(state.displayTarget.load(std::memory_order_acquire));
    const QString path = interaction_.fileName(owner ? owner : &window_, request);
    if (path.isEmpty())
        return giveUp({});
    const bool lossless = path.endsWith(QStringLiteral(".mkv"), Qt::CaseInsensitive);
    CaptureImage* image = program_.captureImage();
    if (!lossless && !image)
        return giveUp(QStringLiteral("There is no memory for the picture."));
    if (lossless && !program_.losslessRecorder())
        return giveUp(QStringLiteral("Lossless recording is not available."));

    if (!lossless && !recorder_)
        recorder_ = std::make_unique<Recorder>(*image);
    const int session = ++session_;
    // Runs on the recording thread: only a queued call to this object.
    auto ended = [this, session] {
        postToGui(this, [this, session] {
            if (session == session_ && recording())
                stopRecording();
        });
    };
    std::string why;
    const int side = captureSide(state.showBoundaryPixels.load(std::memory_order_acquire) != 0);
    const std::string file = QFile::encodeName(path).toStdString();
    if (lossless) {
        // Luma data (format 1) is kept as grey, colour as 4:2:2, for the whole file.
        int format = 0;
        QDX_Get_DataFormat(&format);
        if (!program_.losslessRecorder()->start(file, side, format == 1, ended, why))
            return giveUp(QString::fromStdString(why));
        lossless_ = program_.losslessRecorder();
    } else if (!recorder_->start(file, side, ended, why)) {
        return giveUp(QString::fromStdString(why));
    }
    started_ = Disconnections::Clock::now();
    state.recordingActive.store(1, std::memory_order_release);
    absences_.start(Disconnections::Clock::now(), libraryIndex());
    return true;
}

void VideoCapture::stopRecording()
{
    RecordingReport result;
    uint64_t skipped = 0;
    if (lossless_) {
        const LosslessReport done = lossless_->stop();
        lossless_ = nullptr;
        result.ending = done.ending;
        result.frames = done.frames;
        result.fileOk = done.fileOk;
        result.timesOk = true;  // the file holds its own times
        skipped = done.skipped;
    } else {
        result = recorder_->stop();
    }
    program_.state().recordingActive.store(0, std::memory_order_release);
    showRecording(false);
    report(result, skipped);
}

void VideoCapture::showRecording(bool on)
{
    if (on)
        progressTimer_->start();
    else
        progressTimer_->stop();
    emit progressChanged({});
    emit recordingChanged();
}

void VideoCapture::tick()
{
    if (!recording())
        return;
    absences_.look(Disconnections::Clock::now(), cameraConnected(), libraryIndex(), frames());
    showProgress();
}

void VideoCapture::showProgress()
{
    if (!recording())
        return;
    const long long seconds =
        std::chrono::duration_cast<std::chrono::seconds>(Disconnections::Clock::now() - started_).count();
    emit progressChanged(QStringLiteral("%1:%2  %3 frames%4")
                             .arg(seconds / 60, 2, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                             .arg(frames())
                             .arg(absences_.away() ? QStringLiteral("  (camera disconnected)") : QString()));
}

void VideoCapture::report(const RecordingReport& result, uint64_t skipped)
{
    using Ending = RecordingReport::Ending;
    QString text;
    switch (result.ending) {
    case Ending::Stopped:
        break;
    case Ending::Full:
        text = QStringLiteral("Video Capture : The file has reached its size limit. Recording stopped.");
        break;
    case Ending::DiskFull:
        text = QStringLiteral("Video Capture : The disk is almost full. Recording stopped.");
        break;
    case Ending::WriteFailed:
        text = QStringLiteral("Video Capture : Error!\nA frame could not be written. Recording stopped.");
        break;
    case Ending::EncoderFailed:
        text = QStringLiteral("Video Capture : Error!\nThe pictures could not be encoded. Recording stopped.");
        break;
    }
    if (!result.fileOk)
        text = QStringLiteral("Video Capture : Error!\nThe file could not be finished and may be unreadable.");
    else if (!result.timesOk)
        text = QStringLiteral("Video Capture : Error!\nThe frames' arrival times (the .csv file) could not be written.");
    if (skipped > 0) {
        const QString sentence =
            QStringLiteral("%1 frames were skipped: the encoder could not keep up.").arg(skipped);
        text += text.isEmpty() ? QStringLiteral("Video Capture : ") + sentence : QLatin1Char('\n') + sentence;
    }
    // The file plays an absence away: the operator hears of each one.
    for (const std::string& line : absences_.report(Disconnections::Clock::now(), result.frames)) {
        QString sentence = QString::fromStdString(line) + QLatin1Char('.');
        sentence[0] = sentence[0].toUpper();
        text += text.isEmpty() ? QStringLiteral("Video Capture : ") + sentence : QLatin1Char('\n') + sentence;
    }
    if (!text.isEmpty()) {
        interaction_.message(&window_, QStringLiteral("Message"), text, MessageIcon::Warning, MessageButtons::Ok);
        return;
    }
    if (result.frames == 0)
        interaction_.message(&window_, QStringLiteral("Message"),
                             QStringLiteral("Video Capture : No frame was recorded; the file holds no pictures."),
                             MessageIcon::Information, MessageButtons::Ok);
}

}  // namespace qdx::viewer
