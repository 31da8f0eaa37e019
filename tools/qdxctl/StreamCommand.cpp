// stream: how well frames flow, as a consumer of the library sees them.
#include <algorithm>
#include <vector>

#include "CtlCommands.h"
#include "Figures.h"
#include "FrameSource.h"
#include "Json.h"
#include "QDX_API.h"
#include "StopSignals.h"
#include "live/FrameCheck.h"
#include "live/StreamHealth.h"

namespace qdx::ctl {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

// The connection is checked at least this often, frames or not.
constexpr milliseconds kStatusPoll{100};
constexpr double kDefaultSeconds = 5;

// The rates share one basis, the frames taken (what a consumer of the library
// got); the camera's own rate is apart and named, since unpaced it runs ahead
// of any reader. frames_per_second and megabytes_per_second keep the meanings
// scripts have read them with (frames delivered, bytes taken).
double perSecond(double count, const viewer::StreamFigures& s)
{
    return s.seconds > 0 ? count / s.seconds : 0;
}

double takenPerSecond(const viewer::StreamFigures& s)
{
    return perSecond(static_cast<double>(s.taken), s);
}

void printSummary(std::ostream& out, const viewer::StreamFigures& s, uint64_t skipped)
{
    out << "seconds             " << fixed(s.seconds, 2) << "\n"
        << "frames taken        " << s.taken << "\n"
        << "frames delivered    " << s.delivered << "\n"
        << "taken frames/s      " << fixed(takenPerSecond(s), 1) << "\n"
        << "taken MB/s          " << fixed(s.megabytesPerSecond(), 1) << "\n"
        << "delivered frames/s  " << fixed(s.framesPerSecond(), 1) << "\n"
        << "short frames        " << s.shortFrames << "\n"
        << "damaged frames      " << s.damagedFrames << "\n"
        << "skipped frames      " << skipped << "\n"
        << "largest gap         " << fixed(s.largestGapMs, 1) << " ms\n"
        << "disconnections      " << s.disconnections << "\n"
        << "reconnections       " << s.reconnections << "\n";
}

// skipped: frames the library's ring overwrote before they could be taken.
Json summaryJson(const viewer::StreamFigures& s, uint64_t skipped)
{
    return Json{{"seconds", rounded(s.seconds, 3)},
                {"frames_taken", s.taken},
                {"frames_delivered", s.delivered},
                {"taken_frames_per_second", rounded(takenPerSecond(s), 2)},
                {"taken_megabytes_per_second", rounded(s.megabytesPerSecond(), 3)},
                {"delivered_frames_per_second", rounded(s.framesPerSecond(), 2)},
                {"frames_per_second", rounded(s.framesPerSecond(), 2)},
                {"megabytes_per_second", rounded(s.megabytesPerSecond(), 3)},
                {"short_frames", s.shortFrames},
                {"damaged_frames", s.damagedFrames},
                {"skipped_frames", skipped},
                {"largest_gap_ms", rounded(s.largestGapMs, 1)},
                {"disconnections", s.disconnections},
                {"reconnections", s.reconnections}};
}

}  // namespace

int runStream(Context& context, const Arguments& arguments)
{
    if (!arguments.operands().empty())
        return context.usageError("stream takes no operands");
    std::string why;
    const auto chosen = secondsOption(arguments, kDefaultSeconds, why);
    if (!chosen)
        return context.usageError(why);
    const double seconds = *chosen;
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    viewer::FrameReader reader;
    if (!reader.valid())
        return context.failure("the library gave no frame signal");

    viewer::StreamHealth health;
    uint64_t skipped = 0;
    bool first = true;  // its count covers the time before the stream
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    const auto start = Clock::now();
    health.restart(start, true);
    health.framesDelivered(reader.delivered());
    const auto end = start + duration<double>(seconds);
    Progress progress = context.progress("streaming for " + fixed(seconds, 1) + " s");
    // A stop signal ends it early, with the summary of the time so far.
    for (auto now = start; now < end && !stopRequested(); now = Clock::now()) {
        const auto wait = std::min(kStatusPoll, std::chrono::ceil<milliseconds>(end - now));
        if (reader.wait(wait)) {
            if (const auto taken = reader.take(frame.data())) {
                health.frameTaken(taken->check, taken->length, taken->arrived);
                skipped += first ? 0 : taken->info.skipped;
                first = false;
            }
        }
        const bool isConnected = cameraConnected();
        health.connection(isConnected);
        reader.look();
        health.framesDelivered(reader.delivered());
        const viewer::StreamFigures soFar = health.figures(Clock::now());
        progress.update(fixed(soFar.seconds, 1) + " s  " + std::to_string(soFar.taken) + " frames taken  " +
                        fixed(takenPerSecond(soFar), 1) + " frames/s  " +
                        std::to_string(soFar.shortFrames + soFar.damagedFrames) + " damaged  " +
                        (isConnected ? "connected" : "disconnected"));
    }
    progress.finish();
    reader.look();
    health.framesDelivered(reader.delivered());
    const viewer::StreamFigures stats = health.figures(Clock::now());

    if (arguments.has("--json"))
        printJson(context.out(), summaryJson(stats, skipped));
    else
        printSummary(context.out(), stats, skipped);
    return stats.taken > 0 ? kExitOk : context.failure("no frame came");
}

}  // namespace qdx::ctl
