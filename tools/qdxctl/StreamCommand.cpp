// stream: how well frames flow, as a consumer of the library sees them.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "CtlCommands.h"
#include "FrameSource.h"
#include "Json.h"
#include "QDX_API.h"
#include "live/FrameCheck.h"

namespace qdx::ctl {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::duration;
using std::chrono::milliseconds;

// The connection is checked at least this often, frames or not.
constexpr milliseconds kStatusPoll{100};
constexpr double kDefaultSeconds = 5;

struct StreamStats {
    double seconds = 0;
    long long taken = 0;      // new frames QDX_GetFrame handed out
    long long delivered = 0;  // by the camera's frame index
    long long bytes = 0;      // of the frames taken
    long long shortFrames = 0;
    long long damagedFrames = 0;
    double largestGapMs = 0;  // longest time without a new frame, ends of the run included
    int disconnections = 0;
    int reconnections = 0;

    double framesPerSecond() const { return seconds > 0 ? static_cast<double>(delivered) / seconds : 0; }
    double megabytesPerSecond() const { return seconds > 0 ? static_cast<double>(bytes) / seconds / 1e6 : 0; }
};

bool connected()
{
    int status = 0;
    return QDX_GetStatus(&status) == QDX_OK && (status & QDX_STATUS_CONNECTED);
}

std::string fixed(double value, int decimals)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void printSummary(std::ostream& out, const StreamStats& s)
{
    out << "seconds           " << fixed(s.seconds, 2) << "\n"
        << "frames taken      " << s.taken << "\n"
        << "frames delivered  " << s.delivered << "\n"
        << "frames/s          " << fixed(s.framesPerSecond(), 1) << "\n"
        << "MB/s              " << fixed(s.megabytesPerSecond(), 1) << "\n"
        << "short frames      " << s.shortFrames << "\n"
        << "damaged frames    " << s.damagedFrames << "\n"
        << "largest gap       " << fixed(s.largestGapMs, 1) << " ms\n"
        << "disconnections    " << s.disconnections << "\n"
        << "reconnections     " << s.reconnections << "\n";
}

// To the digits that mean something, so the JSON reads as the text does.
double rounded(double value, int decimals)
{
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

Json summaryJson(const StreamStats& s)
{
    return Json{{"seconds", rounded(s.seconds, 3)},
                {"frames_taken", s.taken},
                {"frames_delivered", s.delivered},
                {"frames_per_second", rounded(s.framesPerSecond(), 2)},
                {"megabytes_per_second", rounded(s.megabytesPerSecond(), 3)},
                {"short_frames", s.shortFrames},
                {"damaged_frames", s.damagedFrames},
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
    FrameSource source;
    if (!source.valid())
        return context.failure("the library gave no frame signal");

    StreamStats stats;
    std::vector<uint8_t> frame;
    bool wasConnected = true;
    source.drain();
    const long long deliveredBefore = source.delivered();
    const auto start = Clock::now();
    const auto end = start + duration<double>(seconds);
    auto lastFrame = start;
    Progress progress = context.progress("streaming for " + fixed(seconds, 1) + " s");
    for (auto now = start; now < end; now = Clock::now()) {
        const auto wait = std::min(kStatusPoll, std::chrono::ceil<milliseconds>(end - now));
        if (source.waitForFrame(wait)) {
            unsigned length = 0;
            if (source.take(frame, length) == QDX_OK) {
                const auto arrived = Clock::now();
                stats.largestGapMs = std::max(stats.largestGapMs, duration<double, std::milli>(arrived - lastFrame).count());
                lastFrame = arrived;
                ++stats.taken;
                stats.bytes += length;
                const int check = viewer::checkFrame(frame.data(), length);
                stats.shortFrames += check == viewer::kFrameWrongSize;
                stats.damagedFrames += check == viewer::kFrameWrongMarkers;
            }
        }
        const bool isConnected = connected();
        stats.disconnections += wasConnected && !isConnected;
        stats.reconnections += !wasConnected && isConnected;
        wasConnected = isConnected;
        stats.delivered = source.delivered() - deliveredBefore;
        const double elapsed = duration<double>(Clock::now() - start).count();
        progress.update(fixed(elapsed, 1) + " s  " + std::to_string(stats.taken) + " frames  " +
                        fixed(elapsed > 0 ? static_cast<double>(stats.delivered) / elapsed : 0, 1) + " fps  " +
                        std::to_string(stats.shortFrames + stats.damagedFrames) + " damaged  " +
                        (isConnected ? "connected" : "disconnected"));
    }
    progress.finish();
    const auto finished = Clock::now();
    stats.seconds = duration<double>(finished - start).count();
    stats.largestGapMs = std::max(stats.largestGapMs, duration<double, std::milli>(finished - lastFrame).count());
    stats.delivered = source.delivered() - deliveredBefore;

    if (arguments.has("--json"))
        printJson(context.out(), summaryJson(stats));
    else
        printSummary(context.out(), stats);
    return stats.taken > 0 ? kExitOk : context.failure("no frame came");
}

}  // namespace qdx::ctl
