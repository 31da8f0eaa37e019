// record: the camera's frames into an AVI file of Motion-JPEG pictures, over
// the viewer's own recorder: the capture picture is refreshed from every
// whole frame here as the viewer's display thread refreshes it. FILE.mkv
// records losslessly instead (LosslessRecordCommand.cpp).
#include <cstdio>
#include <vector>

#include "CtlCommands.h"
#include "FrameSource.h"
#include "Json.h"
#include "LosslessRecordCommand.h"
#include "QDX_API.h"
#include "RawPipe.h"
#include "StreamFile.h"
#include "StopSignals.h"
#include "capture/CaptureImage.h"
#include "capture/Recorder.h"
#include "live/Disconnections.h"
#include "live/FrameCheck.h"

namespace qdx::ctl {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

constexpr double kDefaultSeconds = 10;
constexpr milliseconds kFramePoll{100};
constexpr milliseconds kFrameTimeout{3000};  // without any frame the camera has stopped

const char* endingText(viewer::RecordingReport::Ending ending)
{
    using Ending = viewer::RecordingReport::Ending;
    switch (ending) {
    case Ending::Stopped:
        return nullptr;
    case Ending::Full:
        return "the file reached the AVI size limit; recording stopped";
    case Ending::DiskFull:
        return "the disk is almost full; recording stopped";
    case Ending::WriteFailed:
        return "a frame could not be written; recording stopped";
    case Ending::EncoderFailed:
        return "the pictures could not be JPEG-encoded";
    }
    return nullptr;
}

}  // namespace

int runRecord(Context& context, const Arguments& arguments)
{
    // An AVI or MKV is finished by going back in it: standard output takes raw frames.
    if (wantsRawPipe(arguments) || (arguments.operands().size() == 1 && isStandardStream(arguments.operands()[0])))
        return recordToPipe(context, arguments);
    if (arguments.operands().size() != 1)
        return context.usageError("record takes one FILE");
    const std::string path = arguments.operands()[0];
    const auto endsIn = [&](const char* suffix) { return path.size() > 4 && path.ends_with(suffix); };
    if (!endsIn(".avi") && !endsIn(".mkv"))
        return context.usageError("'" + path + "': the file must end in .avi or .mkv");
    std::string why;
    const auto chosen = secondsOption(arguments, kDefaultSeconds, why);
    if (!chosen)
        return context.usageError(why);
    const double seconds = *chosen;
    const bool border = arguments.has("--border");
    if (endsIn(".mkv"))
        return runLosslessRecord(context, path, seconds, border, arguments.has("--json"));
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    int format = 0;
    if (QDX_Get_DataFormat(&format) != QDX_OK)
        return context.failure("the data format could not be read");
    viewer::FrameReader reader;
    if (!reader.valid())
        return context.failure("the library gave no frame signal");

    viewer::CaptureImage capture;
    viewer::Recorder recorder(capture);
    const int side = viewer::captureSide(border);
    reader.drain();
    if (!recorder.start(path, side, nullptr, why))
        return context.failure(why);

    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    const auto start = Clock::now();
    const auto end = start + duration<double>(seconds);
    auto lastFrame = start;
    bool stalled = false;
    // The recording runs on through an absence; each is reported at the end.
    viewer::Disconnections absences;
    absences.start(start, static_cast<int>(reader.look()));
    char note[48];
    std::snprintf(note, sizeof note, "recording for %.1f s", seconds);
    Progress progress = context.progress(note);
    std::size_t formatRead = 0;  // absences when the format was read
    for (auto now = start; now < end && recorder.running() && !stopRequested(); now = Clock::now()) {
        const auto wait = std::min(kFramePoll, std::chrono::ceil<milliseconds>(end - now));
        std::optional<viewer::TakenFrame> taken;
        if (reader.wait(wait))
            taken = reader.take(frame.data());
        const bool whole = taken && taken->whole();
        absences.look(Clock::now(), cameraConnected(), static_cast<int>(reader.look()), recorder.frames());
        // A camera plugged back in starts from its power-on format: its
        // frames are pictured as they come, not as the ones before.
        if (absences.count() != formatRead && !absences.away()) {
            formatRead = absences.count();
            QDX_Get_DataFormat(&format);
        }
        if (whole) {
            capture.refresh(frame.data(), format == 1, border, &taken->info);
            lastFrame = Clock::now();
        } else if (Clock::now() - lastFrame > kFrameTimeout) {
            stalled = true;
            break;
        }
        char status[80];
        std::snprintf(status, sizeof status, "%.1f s  %u frames%s", duration<double>(Clock::now() - start).count(),
                      recorder.frames(), absences.away() ? "  camera disconnected" : "");
        progress.update(status);
    }
    progress.finish();
    const viewer::RecordingReport report = recorder.stop();

    if (!report.fileOk)
        return context.failure("'" + path + "' could not be finished and may be unreadable");
    char summary[160];
    std::snprintf(summary, sizeof summary, "%s: %u frames, %d x %d, %.2f frames/s", path.c_str(), report.frames,
                  side, side, static_cast<double>(report.rate) / report.scale);
    if (arguments.has("--json")) {
        const double rate = static_cast<double>(report.rate) / report.scale;
        printJson(context.out(), Json{{"file", path},
                                      {"container", "avi"},
                                      {"frames", report.frames},
                                      {"width", side},
                                      {"height", side},
                                      {"seconds", rate > 0 ? report.frames / rate : 0.0},
                                      {"frames_per_second", rate},
                                      {"skipped", 0},
                                      {"missed", nullptr}});
    } else {
        context.out() << summary << "\n";
    }
    // Everything that went wrong is said; the file holds what was recorded.
    int status = kExitOk;
    for (const std::string& line : absences.report(Clock::now(), report.frames))
        status = context.failure(line);
    if (const char* text = endingText(report.ending))
        status = context.failure(text);
    if (stalled && !absences.away())
        status = context.failure("no whole frame from the camera for " + std::to_string(kFrameTimeout.count() / 1000) +
                                 " s; the file holds the frames before");
    if (!report.timesOk)
        status = context.failure("'" + path + ".csv', the frames' arrival times, could not be written");
    if (report.frames == 0)
        status = context.failure("no frame was recorded; the file holds no pictures");
    return status;
}

}  // namespace qdx::ctl
