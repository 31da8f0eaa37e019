// "Start/Stop Video Capture" (command 40008, page button 3004): the
// questions, the file dialog (an AVI file, or a lossless 12-bit .mkv file
// recorded by the program's LosslessRecorder), the progress while a
// recording runs, and the
// operator's notice when a recording ends by itself, its file is not sound
// or the camera was away meanwhile; the window shows the texts and menus
// that follow from a recording (recordingChanged()). The recording itself
// runs on the Recorder's thread, which reports back through queued calls
// only. GUI thread.
#pragma once

#include <QObject>

#include <memory>

#include "capture/LosslessRecorder.h"
#include "capture/Recorder.h"
#include "live/Disconnections.h"

class QTimer;

namespace qdx::viewer {

class Interaction;
class MainWindow;
class ViewerProgram;

class VideoCapture final : public QObject {
    Q_OBJECT

public:
    VideoCapture(MainWindow& window, ViewerProgram& program, Interaction& interaction);
    ~VideoCapture() override;  // a recording still running is finished first

    // The command: asks, then starts or stops.
    void command();
    // The main window closes: a running recording is finished without a question.
    void stopBeforeClose();
    bool recording() const { return (recorder_ && recorder_->active()) || (lossless_ && lossless_->active()); }

signals:
    // A recording began or ended.
    void recordingChanged();
    // What the running recording has done so far ("00:03  91 frames"); empty when none runs.
    void progressChanged(const QString& text);

private:
    bool startRecording();
    void stopRecording();
    void showRecording(bool on);
    // Ten times a second while recording: the camera's presence, then the progress.
    void tick();
    void showProgress();
    void report(const RecordingReport& report, uint64_t skipped = 0);
    bool running() const;
    uint32_t frames() const;

    MainWindow& window_;
    ViewerProgram& program_;
    Interaction& interaction_;
    std::unique_ptr<Recorder> recorder_;
    LosslessRecorder* lossless_ = nullptr;  // the program's, while a lossless recording is active
    Disconnections::Clock::time_point started_;
    QTimer* progressTimer_;
    Disconnections absences_;  // of the running recording, looked at by tick()
    int session_ = 0;           // tells a late notice of an earlier recording apart
};

}  // namespace qdx::viewer
