#include "ViewerProgram.h"

#include <cstdio>
#include <new>

#include "QDX_API.h"
#include "capture/CaptureImage.h"
#include "capture/LosslessRecorder.h"
#include "capture/CsvExport.h"
#include "capture/StillCapture.h"

namespace qdx::viewer {

std::string csvCutShortText(const CsvExportJob::Cut& cut)
{
    const std::string total = std::to_string(cut.total);
    if (cut.written == 0)
        return "The camera was disconnected before the first of " + total + " files; none was written.";
    std::string files = csvFileName(cut.chosenPath, 1);
    if (cut.written > 1)
        files += " to " + csvFileName(cut.chosenPath, cut.written);
    return "The camera was disconnected after " + std::to_string(cut.written) + " of " + total + " files (" + files +
           "); the set is incomplete.";
}

ViewerProgram::ViewerProgram() = default;

ViewerProgram::~ViewerProgram()
{
    shutDown();
}

void ViewerProgram::startUp()
{
    if (libraryUp_)
        return;
    state_.ready.clear();
    version_ = programVersion();
    fileWriter_ = std::make_unique<FileWriter>("qdx-files");
    csvExport_ = std::make_unique<CsvExport>(state_.csvExport, liveOutput_, *fileWriter_);
    // Without a capture image the viewer still runs; capturing finds nothing.
    captureImage_.reset(new (std::nothrow) CaptureImage);
    stillCapture_.reset(new (std::nothrow) StillCapture(state_.presentations, *fileWriter_));
    losslessRecorder_ = std::make_unique<LosslessRecorder>();  // its queue only once a recording starts
    // The viewer runs on without the library (a blue picture, "no camera");
    // the reason goes to the standard error.
    if (const int started = QDX_Init(); started != QDX_OK)
        std::fprintf(stderr, "QDX_Init failed (%d): the library could not get the memory or threads it needs\n",
                     started);
    libraryUp_ = true;
    statusWatch_ = std::make_unique<StatusWatch>();
    monitor_ = std::make_unique<DeviceMonitor>(state_, monitorDispatch_, statusWatch_.get());
    monitor_->start();  // returns once the monitor runs: before any window exists
    displayImage_ = std::make_unique<DisplayImage>();
    display_ = std::make_unique<DisplayLoop>(state_, *displayImage_, liveOutput_,
                                             std::vector<FrameConsumer*>{captureImage_.get(), stillCapture_.get(), csvExport_.get(),
                                                                         &analysisFeed_, &state_.calibrationGrab,
                                                                         losslessRecorder_.get()},
                                             &streamHealth_, statusWatch_.get());
}

void ViewerProgram::shutDown()
{
    if (!libraryUp_)
        return;
    stopLiveView();  // the display thread first: it draws into the display image
    // The monitor paints the display image blue when the camera goes, so the
    // image is released only after the monitor thread has ended too.
    monitor_->stop();
    display_.reset();
    losslessRecorder_.reset();  // no frame comes any more: the file is finished
    monitor_.reset();
    statusWatch_.reset();
    displayImage_.reset();
    QDX_Term();
    libraryUp_ = false;
    captureImage_.reset();
    // The consumers wait for their files, then the writer ends.
    stillCapture_.reset();
    csvExport_.reset();
    fileWriter_.reset();
}

void ViewerProgram::startLiveView()
{
    if (display_)
        display_->start();
}

void ViewerProgram::stopLiveView()
{
    state_.displayTarget.store(kNoTarget, std::memory_order_release);
    if (display_)
        display_->stop();
}

void ViewerProgram::fillBlue()
{
    if (displayImage_)
        viewer::fillBlue(state_, *displayImage_, liveOutput_);
}

void ViewerProgram::attachMonitor(MonitorClient* client)
{
    monitorDispatch_.attach(client);
}

void ViewerProgram::MonitorDispatch::attach(MonitorClient* client)
{
    std::lock_guard lock(mutex_);
    client_ = client;
}

void ViewerProgram::MonitorDispatch::cameraArrived()
{
    program_.streamHealth_.connection(true);
    std::lock_guard lock(mutex_);
    if (client_)
        client_->cameraArrived();
}

void ViewerProgram::MonitorDispatch::cameraPresent()
{
    std::lock_guard lock(mutex_);
    if (client_)
        client_->cameraPresent();
}

void ViewerProgram::MonitorDispatch::cameraRemoved()
{
    // The picture of a camera that is gone turns blue.
    program_.fillBlue();
    program_.streamHealth_.connection(false);
    // An export never waits for a camera that is gone: its frames would no
    // longer be consecutive. It ends now, saying what it wrote.
    if (const auto cut = program_.state_.csvExport.cut())
        program_.liveOutput_.csvExportEnded(csvCutShortText(*cut));
    std::lock_guard lock(mutex_);
    if (client_)
        client_->cameraRemoved();
}

void ViewerProgram::MonitorDispatch::panelsChanged(PanelUpdate&& update)
{
    std::lock_guard lock(mutex_);
    if (client_)
        client_->panelsChanged(std::move(update));
}

}  // namespace qdx::viewer
