// The viewer program: brings the library, the viewer's threads and the
// pictures up in order and takes them down in the reverse order, so that the
// library is up strictly longer than any viewer thread that calls it. It owns
// the viewer-wide state, the pages' model and both viewer threads. Qt-free.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "capture/FileWriter.h"
#include "core/commands/Commands.h"
#include "core/commands/ProgramVersion.h"
#include "core/device/DeviceMonitor.h"
#include "core/model/PanelModel.h"
#include "core/model/ViewerState.h"
#include "live/AnalysisFeed.h"
#include "live/DisplayImage.h"
#include "live/DisplayLoop.h"
#include "live/LiveViewSink.h"
#include "live/StreamHealth.h"

namespace qdx::viewer {

class CaptureImage;
class LosslessRecorder;
class StillCapture;
class CsvExport;

// Why an export was cut short by the camera leaving, and which files it wrote.
std::string csvCutShortText(const CsvExportJob::Cut& cut);

class ViewerProgram {
public:
    ViewerProgram();
    ~ViewerProgram();  // shuts down if still up
    ViewerProgram(const ViewerProgram&) = delete;
    ViewerProgram& operator=(const ViewerProgram&) = delete;

    // Clears the ready flags, reads the version, starts the file writer,
    // allocates the capture image, starts the library, starts the monitor
    // thread and waits until it runs, creates the display image. Then the
    // main window may be built.
    void startUp();

    // After the main window has ended: stops the display thread and the
    // monitor thread, releases the display image, stops the library, releases
    // the capture image, ends the file writer once its files are written.
    // Harmless twice.
    void shutDown();

    ViewerState& state() { return state_; }
    PanelModel& panels() { return panels_; }
    const ProgramVersion& version() const { return version_; }
    // Between startUp and shutDown; null otherwise.
    DisplayImage* displayImage() { return displayImage_.get(); }
    CaptureImage* captureImage() { return captureImage_.get(); }
    StillCapture* stillCapture() { return stillCapture_.get(); }
    // Lossless recording, fed by the display thread with every frame it shows.
    LosslessRecorder* losslessRecorder() { return losslessRecorder_.get(); }
    // The Analysis window's feed from the display thread, and the stream's
    // health as the display thread and the monitor see it.
    AnalysisFeed& analysisFeed() { return analysisFeed_; }
    StreamHealth& streamHealth() { return streamHealth_; }

    // The live view: the display thread, started once the pages exist, and
    // stopped with the display target cleared when the window closes. GUI thread.
    void startLiveView();
    void stopLiveView();
    Worker::State displayState() const { return display_ ? display_->state() : Worker::Starting; }
    Worker::State monitorState() const { return monitor_ ? monitor_->state() : Worker::Starting; }

    // Paints the display target's picture blue. Any thread.
    void fillBlue();

    // The main window attaches its sinks while it exists (nullptr detaches;
    // returns once no call into the old one is in progress).
    void attachLiveView(LiveViewSink* sink) { liveOutput_.attach(sink); }
    void attachMonitor(MonitorClient* client);

private:
    // Edges seen by the monitor thread: the program's own reaction, then the
    // attached client's.
    class MonitorDispatch final : public MonitorClient {
    public:
        explicit MonitorDispatch(ViewerProgram& program) : program_(program) {}
        void attach(MonitorClient* client);
        void cameraArrived() override;
        void cameraPresent() override;
        void cameraRemoved() override;
        void panelsChanged(PanelUpdate&& update) override;

    private:
        ViewerProgram& program_;
        std::mutex mutex_;  // Protects client_, and keeps it alive during a call
        MonitorClient* client_ = nullptr;
    };

    ViewerState state_;
    PanelModel panels_{state_};
    ProgramVersion version_;
    LiveOutput liveOutput_;
    MonitorDispatch monitorDispatch_{*this};
    std::unique_ptr<FileWriter> fileWriter_;  // still pictures and CSV files, off the display thread
    std::unique_ptr<CaptureImage> captureImage_;
    std::unique_ptr<StillCapture> stillCapture_;
    std::unique_ptr<CsvExport> csvExport_;
    std::unique_ptr<LosslessRecorder> losslessRecorder_;
    AnalysisFeed analysisFeed_;
    StreamHealth streamHealth_;
    std::unique_ptr<DisplayImage> displayImage_;
    std::unique_ptr<StatusWatch> statusWatch_;  // wakes the monitor and the display thread
    std::unique_ptr<DeviceMonitor> monitor_;
    std::unique_ptr<DisplayLoop> display_;
    bool libraryUp_ = false;  // entry thread only
};

}  // namespace qdx::viewer
