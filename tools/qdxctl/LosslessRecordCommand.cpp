// record FILE.mkv: whole frames as the library stamped them go to the
// lossless recorder's queue; its own thread encodes them, so a slow disk
// costs skipped frames (counted and told), never a stalled reader.
#include "LosslessRecordCommand.h"

#include <cinttypes>
#include <cstdio>
#include <vector>

#include "FrameSource.h"
#include "Json.h"
#include "QDX_API.h"
#include "StopSignals.h"
#include "capture/CaptureImage.h"
#include "capture/LosslessRecorder.h"
#include "live/Disconnections.h"

namespace qdx::ctl {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

constexpr milliseconds kFramePoll{100};
constexpr milliseconds kFrameTimeout{3000};  // without any frame the camera has stopped

}  // namespace

int runLosslessRecord(Context& context, const std::string& path, double seconds, bool border, bool json)
{
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    int format = 0;
    if (QDX_Get_DataFormat(&format) != QDX_OK)
        return context.failure("the data format could not be read");
    // The stream's layout is fixed for the file: luma data is kept as grey
    // from its first frame on, even if a camera plugged back in sends colour.
    const bool grey = format == 1;
    viewer::FrameReader reader;
    if (!reader.valid())
        return context.failure("the library gave no frame signal");

    viewer::LosslessRecorder recorder;
    const int side = viewer::captureSide(border);
    reader.drain();
    std::string why;
    if (!recorder.start(path, side, grey, nullptr, why))
        return context.failure(why);

    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    const auto start = Clock::now();
    const auto end = start + duration<double>(seconds);
    auto lastFrame = start;
    bool stalled = false;
    uint64_t missed = 0;  // frames the library had overwritten before the reader took one
    viewer::Disconnections absences;
    absences.start(start, static_cast<int>(reader.look()));
    char note[48];
    std::snprintf(note, sizeof note, "recording for %.1f s", seconds);
    Progress progress = context.progress(note);
    uint64_t skippedTold = 0;
    bool firstTaken = false;
    for (auto now = start; now < end && recorder.running() && !stopRequested(); now = Clock::now()) {
        const auto wait = std::min(kFramePoll, std::chrono::ceil<milliseconds>(end - now));
        std::optional<viewer::TakenFrame> taken;
        if (reader.wait(wait))
            taken = reader.take(frame.data());
        absences.look(Clock::now(), cameraConnected(), static_cast<int>(reader.look()), recorder.frames());
        if (taken && taken->whole()) {
            // The first frame's earlier losses are from before the recording.
            if (firstTaken)
                missed += taken->info.skipped;
            firstTaken = true;
            recorder.offer(frame.data(), &taken->info);
            lastFrame = Clock::now();
        } else if (Clock::now() - lastFrame > kFrameTimeout) {
            stalled = true;
            break;
        }
        // A skip is told as it happens, not only in the summary.
        if (const uint64_t skipped = recorder.skipped(); skipped != skippedTold) {
            progress.finish();
            context.err() << "qdxctl record: " << skipped - skippedTold
                          << " frame(s) skipped: the encoder is behind (queue full)\n";
            skippedTold = skipped;
        }
        char status[96];
        std::snprintf(status, sizeof status, "%.1f s  %u frames%s", duration<double>(Clock::now() - start).count(),
                      recorder.frames(), absences.away() ? "  camera disconnected" : "");
        progress.update(status);
    }
    progress.finish();
    const viewer::LosslessReport report = recorder.stop();

    if (!report.fileOk)
        return context.failure("'" + path + "' could not be written: " + report.why);
    char summary[200];
    std::snprintf(summary, sizeof summary,
                  "%s: %u frames, %d x %d, FFV1 12-bit %s, %.3f s, %" PRIu64 " skipped (encoder behind), %" PRIu64
                  " missed (not taken from the library)",
                  path.c_str(), report.frames, side, side, grey ? "grey" : "4:2:2", static_cast<double>(report.spanMs) / 1000,
                  report.skipped, missed);
    if (json) {
        const double span = static_cast<double>(report.spanMs) / 1000;
        printJson(context.out(), Json{{"file", path},
                                      {"container", "mkv"},
                                      {"frames", report.frames},
                                      {"width", side},
                                      {"height", side},
                                      {"seconds", span},
                                      {"frames_per_second", span > 0 ? (report.frames - 1) / span : 0.0},
                                      {"skipped", report.skipped},
                                      {"missed", missed}});
    } else {
        context.out() << summary << "\n";
    }
    int status = kExitOk;
    for (const std::string& line : absences.report(Clock::now(), report.frames))
        status = context.failure(line);
    if (report.skipped > 0)
        status = context.failure(std::to_string(report.skipped) + " frame(s) were skipped: the encoder fell behind");
    if (report.ending == viewer::RecordingReport::Ending::DiskFull)
        status = context.failure("the disk is almost full; recording stopped");
    if (report.ending == viewer::RecordingReport::Ending::WriteFailed)
        status = context.failure("a frame could not be written (" + report.why + "); recording stopped");
    if (stalled && !absences.away())
        status = context.failure("no whole frame from the camera for " + std::to_string(kFrameTimeout.count() / 1000) +
                                 " s; the file holds the frames before");
    if (report.frames == 0)
        status = context.failure("no frame was recorded; the file holds no pictures");
    return status;
}

}  // namespace qdx::ctl
