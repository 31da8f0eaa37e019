// "Start/Stop Video Capture" (command 40008, page button 3004): the
// questions, the file dialog, the texts that show a recording runs, and the
// operator's notice when a recording ends by itself, its file is not sound
// or the camera was away meanwhile. The recording itself runs on the
// Recorder's thread, which reports back through queued calls only. GUI thread.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

#include "capture/Recorder.h"
#include "live/Disconnections.h"

class QLabel;
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
    bool recording() const { return recorder_ && recorder_->active(); }

private:
    bool startRecording();
    void stopRecording();
    void enableBoundaryPixels(bool on);
    void showRecording(bool on);
    // Ten times a second while recording: the camera's presence, then the progress.
    void tick();
    void showProgress();
    void report(const RecordingReport& report);

    MainWindow& window_;
    ViewerProgram& program_;
    Interaction& interaction_;
    std::unique_ptr<Recorder> recorder_;
    QTimer* progressTimer_;
    Disconnections absences_;  // of the running recording, looked at by tick()
    QPointer<QLabel> progress_;  // beside the state text, made with the first recording
    int session_ = 0;           // tells a late notice of an earlier recording apart
};

}  // namespace qdx::viewer
