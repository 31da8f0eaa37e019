#include "RawPipe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <system_error>
#include <vector>

#include "Figures.h"
#include "FrameSource.h"
#include "QDX_API.h"
#include "StopSignals.h"
#include "capture/CaptureImage.h"
#include "live/Disconnections.h"
#include "live/FrameLayout.h"

namespace qdx::ctl {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kLook{100};          // stop signals and the camera are looked at this often
constexpr milliseconds kFrameTimeout{3000};  // without any whole frame the camera has stopped
constexpr milliseconds kStopGrace{3000};     // a reader that takes nothing after a stop is not waited for
constexpr long long kMostFramesSkipped = 100000;
constexpr const char* kTerminal = "will not write binary frames to a terminal";

// Before the library starts: no terminal, and a stdout that is there.
int checkSink(Context& context, const FrameSink& sink)
{
    if (sink.terminal())
        return context.usageError(kTerminal);
    return sink.open() ? kExitOk : context.failure("standard output is closed");
}

struct RawRequest {
    RawLayout layout = RawLayout::Wire;
    int side = QDX_FRAME_WIDTH;
};

int parseRawRequest(Context& context, const Arguments& arguments, RawRequest& request)
{
    if (arguments.operands().size() != 1)
        return context.usageError(std::string(context.command().name) + " takes one FILE");
    if (arguments.operands()[0] != "-")
        return context.usageError("--raw and --layout write frames to standard output: give - as FILE");
    if (!arguments.has("--raw"))
        return context.usageError("standard output takes raw frames only (an AVI or MKV is finished by seeking): add --raw");
    if (arguments.has("--json"))
        return context.usageError("--json and FILE - both want standard output");
    if (arguments.has("--type"))
        return context.usageError("--type is for pictures; --raw writes frames");
    const std::string layout = arguments.value("--layout").value_or("wire");
    if (layout == "y16")
        request.layout = RawLayout::Y16;
    else if (layout != "wire")
        return context.usageError("--layout " + layout + ": the layout is wire or y16");
    const bool border = arguments.has("--border");
    if (border && request.layout == RawLayout::Wire)
        return context.usageError("--border is for --layout y16; a wire frame is always all 404 x 404 pixels");
    request.side = viewer::captureSide(border);
    return kExitOk;
}

std::string layoutText(const RawRequest& request)
{
    const std::string bytes = std::to_string(rawFrameBytes(request.layout, request.side)) + " bytes a frame";
    if (request.layout == RawLayout::Wire)
        return "wire, " + bytes;
    return "y16 " + std::to_string(request.side) + " x " + std::to_string(request.side) + ", " + bytes;
}

std::string frames(long long count)
{
    return std::to_string(count) + (count == 1 ? " frame" : " frames");
}

void say(Context& context, const std::string& line)
{
    context.err() << "qdxctl " << context.command().name << ": " << line << "\n";
}

}  // namespace

std::size_t rawFrameBytes(RawLayout layout, int side)
{
    if (layout == RawLayout::Wire)
        return QDX_FRAME_BYTES;
    return static_cast<std::size_t>(side) * side * 2;
}

std::span<const uint8_t> packFrame(const uint8_t* frame, RawLayout layout, int side, std::span<uint8_t> out)
{
    if (layout == RawLayout::Wire)
        return {frame, QDX_FRAME_BYTES};
    const int margin = (QDX_FRAME_WIDTH - side) / 2;
    uint8_t* to = out.data();
    for (int y = 0; y < side; ++y) {
        const uint8_t* row = frame + (y + margin) * viewer::kFrameRowBytes + margin * 4;
        for (int x = 0; x < side; ++x) {
            // Each pixel is two words, its chroma then its luma.
            const uint16_t luma = viewer::frameWord(row, 2 * x + 1) >> 4;
            *to++ = static_cast<uint8_t>(luma);
            *to++ = static_cast<uint8_t>(luma >> 8);
        }
    }
    return {out.data(), rawFrameBytes(layout, side)};
}

FrameSink::FrameSink(std::ostream& out) : out_(out)
{
    if (&out != &std::cout)
        return;
    out.flush();
    fd_ = STDOUT_FILENO;
    // A reader that went away is the end of the frames, told by EPIPE, not
    // a signal that kills the process before its summary.
    ::signal(SIGPIPE, SIG_IGN);
}

bool FrameSink::terminal() const
{
    return fd_ >= 0 && ::isatty(fd_);
}

bool FrameSink::open() const
{
    return fd_ < 0 || ::fcntl(fd_, F_GETFD) >= 0;
}

FrameSink::Wrote FrameSink::write(std::span<const uint8_t> bytes, std::size_t& done, std::string& why)
{
    done = 0;
    if (stopRequested())
        return Wrote::Stopped;
    if (fd_ < 0) {
        out_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out_) {
            why = "the output could not be written";
            return Wrote::Failed;
        }
        done = bytes.size();
        return Wrote::Whole;
    }
    // Each write follows a poll that found room, so it moves some bytes and a
    // stop signal then cuts it short instead of leaving it blocked on a
    // reader that takes nothing.
    std::optional<Clock::time_point> lastMoved;  // since the stop
    while (done < bytes.size()) {
        if (stopRequested()) {
            if (!lastMoved)
                lastMoved = Clock::now();
            else if (Clock::now() - *lastMoved > kStopGrace)
                return Wrote::Cut;
        }
        pollfd ready{fd_, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(kLook.count()));
        if (polled < 0 && errno != EINTR) {
            why = std::error_code(errno, std::generic_category()).message();
            return Wrote::Failed;
        }
        if (polled <= 0)
            continue;
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n >= 0) {
            done += static_cast<std::size_t>(n);
            if (lastMoved)
                lastMoved = Clock::now();
        } else if (errno == EPIPE) {
            return Wrote::Closed;
        } else if (errno != EINTR && errno != EAGAIN) {
            why = std::error_code(errno, std::generic_category()).message();
            return Wrote::Failed;
        }
    }
    return Wrote::Whole;
}

bool wantsRawPipe(const Arguments& arguments)
{
    return arguments.has("--raw") || arguments.has("--layout");
}

int grabToPipe(Context& context, const Arguments& arguments)
{
    RawRequest request;
    if (const int status = parseRawRequest(context, arguments, request); status != kExitOk)
        return status;
    std::string why;
    const auto skip = framesOption(arguments, 0, kMostFramesSkipped, 0, why);
    if (!skip)
        return context.usageError(why);
    const auto format = arguments.value("--format");
    if (format && *format != "0" && *format != "1")
        return context.usageError("--format " + *format + ": the data format is 0 or 1");
    FrameSink sink(context.out());
    if (const int status = checkSink(context, sink); status != kExitOk)
        return status;
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    if (format && QDX_Set_DataFormat(*format == "1" ? 1 : 0) != QDX_OK)
        return context.failure("the data format could not be set");

    // A frame already on its way when something changed shows the camera as it was.
    WholeFrames frames(*skip + (format || context.changedCamera() ? 1 : 0));
    if (!frames.valid())
        return context.failure("the library gave no frame signal");
    std::vector<uint8_t> frame;
    switch (frames.next(frame, why)) {
    case WholeFrames::Next::Frame:
        break;
    case WholeFrames::Next::Stopped:
        return kExitFailure;
    case WholeFrames::Next::Failed:
    case WholeFrames::Next::Disconnected:
        return context.failure(why);
    }
    std::vector<uint8_t> packed(rawFrameBytes(request.layout, request.side));
    const auto bytes = packFrame(frame.data(), request.layout, request.side, packed);
    std::size_t done = 0;
    switch (sink.write(bytes, done, why)) {
    case FrameSink::Wrote::Whole:
        say(context, "1 frame to standard output (" + layoutText(request) + ")");
        return kExitOk;
    case FrameSink::Wrote::Closed:
        say(context, "the reader closed the pipe after " + std::to_string(done) + " of " +
                         std::to_string(bytes.size()) + " bytes");
        return kExitOk;
    case FrameSink::Wrote::Stopped:
    case FrameSink::Wrote::Cut:
        return context.failure("the frame was cut short after " + std::to_string(done) + " bytes");
    case FrameSink::Wrote::Failed:
        break;
    }
    return context.failure("standard output: " + why);
}

int recordToPipe(Context& context, const Arguments& arguments)
{
    RawRequest request;
    if (const int status = parseRawRequest(context, arguments, request); status != kExitOk)
        return status;
    // Without --seconds the frames flow until a stop signal or the reader ends them.
    std::optional<double> seconds;
    if (std::string why; arguments.has("--seconds") && !(seconds = secondsOption(arguments, 0, why)))
        return context.usageError(why);
    FrameSink sink(context.out());
    if (const int status = checkSink(context, sink); status != kExitOk)
        return status;
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    viewer::FrameReader reader;
    if (!reader.valid())
        return context.failure("the library gave no frame signal");

    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    std::vector<uint8_t> packed(rawFrameBytes(request.layout, request.side));
    const auto start = Clock::now();
    using Seconds = std::chrono::duration<double>;
    const auto end = seconds ? start + std::chrono::duration_cast<Clock::duration>(Seconds(*seconds))
                             : Clock::time_point::max();
    auto lastWhole = start;
    // It runs on through an absence of the camera; each is reported at the end.
    viewer::Disconnections absences;
    absences.start(start, static_cast<int>(reader.look()));
    long long written = 0;
    long long leftOut = 0;  // short or damaged
    uint64_t missed = 0;    // overwritten in the library's ring before they were read
    bool first = true;
    bool stalled = false;
    auto wrote = FrameSink::Wrote::Whole;
    std::size_t done = 0;
    std::string why;
    Progress progress = context.progress(seconds ? "writing frames for " + fixed(*seconds, 1) + " s"
                                                 : "writing frames until stopped");
    for (auto now = start; now < end && !stopRequested(); now = Clock::now()) {
        const auto wait = seconds ? std::min(kLook, std::chrono::ceil<milliseconds>(end - now)) : kLook;
        QDX_FRAME_INFO info{};
        info.size = sizeof info;
        if (reader.wait(wait) && QDX_GetFrameEx(frame.data(), QDX_FRAME_BYTES, &info) == QDX_OK) {
            // The first frame's count covers the time before the recording.
            missed += first ? 0 : info.skipped;
            first = false;
            if (info.check != QDX_FRAME_WHOLE) {
                ++leftOut;
            } else {
                wrote = sink.write(packFrame(frame.data(), request.layout, request.side, packed), done, why);
                if (wrote != FrameSink::Wrote::Whole)
                    break;
                ++written;
                // After the write: a slow reader is no stalled camera.
                lastWhole = Clock::now();
            }
        }
        absences.look(Clock::now(), cameraConnected(), static_cast<int>(reader.look()), written);
        if (Clock::now() - lastWhole > kFrameTimeout) {
            stalled = true;
            break;
        }
        progress.update(fixed(Seconds(Clock::now() - start).count(), 1) + " s  " +
                        std::to_string(written) + " frames" + (absences.away() ? "  camera disconnected" : ""));
    }
    progress.finish();

    const double elapsed = Seconds(Clock::now() - start).count();
    const double rate = elapsed > 0 ? static_cast<double>(written) / elapsed : 0;
    say(context, frames(written) + " to standard output in " + fixed(elapsed, 1) + " s, " +
                     fixed(rate, 1) + " frames/s (" + layoutText(request) + ")");
    if (leftOut > 0)
        say(context, "left out, short or damaged: " + frames(leftOut));
    if (missed > 0)
        say(context, "missed, overwritten before they were read: " + frames(static_cast<long long>(missed)));
    int status = kExitOk;
    switch (wrote) {
    case FrameSink::Wrote::Whole:
    case FrameSink::Wrote::Stopped:
        break;
    case FrameSink::Wrote::Closed:
        // The reader decides how many frames it wants (head -c, ffmpeg -frames:v).
        say(context, "the reader closed the pipe");
        break;
    case FrameSink::Wrote::Cut:
        status = context.failure("the reader took nothing for " + std::to_string(kStopGrace.count() / 1000) +
                                 " s after the stop; the last frame is cut short after " + std::to_string(done) +
                                 " bytes");
        break;
    case FrameSink::Wrote::Failed:
        status = context.failure("standard output: " + why);
        break;
    }
    for (const std::string& line : absences.report(Clock::now(), written))
        status = context.failure(line);
    if (stalled && !absences.away())
        status = context.failure("no whole frame from the camera for " + std::to_string(kFrameTimeout.count() / 1000) +
                                 " s");
    if (written == 0 && wrote != FrameSink::Wrote::Closed)
        status = context.failure("no frame was written");
    return status;
}

}  // namespace qdx::ctl
