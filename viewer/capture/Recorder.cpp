#include "Recorder.h"

#include <pthread.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "CaptureImage.h"
#include "JpegEncoder.h"
#include "core/files/RegularFile.h"

namespace qdx::viewer {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Rounds without a refresh end after this, to look at the stop request.
constexpr milliseconds kRefreshWait{250};
// An encoder that fails this often in a row is not going to recover.
constexpr int kMostEncoderFailures = 10;
// How often the file's header is brought up to the frames written, so that
// a recording killed outright plays up to its last second.
constexpr milliseconds kHeaderRefresh{1000};

int64_t nowMs()
{
    return std::chrono::duration_cast<milliseconds>(Clock::now().time_since_epoch()).count();
}

// The rate of frames taken over elapsedMs, in frames per 100 s; 0 when
// there is nothing to measure.
uint32_t measuredRate(uint32_t frames, int64_t elapsedMs)
{
    const auto elapsed = static_cast<uint32_t>(elapsedMs);
    if (elapsed == 0 || frames == 0)
        return 0;
    const double measured = static_cast<double>(frames) / elapsed * 1000 * 100;
    // A rate of 0 (one frame after a long stall) would divide by zero in
    // players: the slowest rate the header can say is 1 / 100.
    return std::max(static_cast<uint32_t>(std::min(measured, 4294967295.0)), 1u);
}

}  // namespace

Recorder::Recorder(CaptureImage& image, Options options)
    : image_(image), options_(options), writer_(options.limits)
{
}

Recorder::~Recorder()
{
    stop();
}

bool Recorder::start(const std::string& path, int side, std::function<void()> ended, std::string& why)
{
    if (active()) {
        why = "a recording is already running";
        return false;
    }
    if (std::string reason; !times_.open(path, reason)) {
        if (reason.starts_with(path + ".csv: "))
            reason.erase(0, path.size() + 6);
        why = "'" + path + ".csv' cannot be created: " + reason;
        return false;
    }
    if (std::string reason; writer_.open(path, 1, reason) != AviWriter::kOk) {
        times_.abandon();
        // "PATH: reason" from the writer; the path is named once.
        if (reason.starts_with(path + ": "))
            reason.erase(0, path.size() + 2);
        why = "'" + path + "' cannot be created: " + reason;
        return false;
    }
    if (writer_.setFrameSize(side, side) != AviWriter::kOk || writer_.setFrameRate(120, 1) != AviWriter::kOk) {
        writer_.close();
        times_.abandon();
        why = "'" + path + "' cannot be written";
        return false;
    }
    path_ = path;
    frames_.store(0, std::memory_order_relaxed);
    startedMs_.store(nowMs(), std::memory_order_relaxed);
    report_ = {};
    running_.store(true, std::memory_order_release);
    // Refreshes from now on count, also those before the thread gets going.
    image_.addReader();
    const uint32_t seen = image_.count();
    thread_ = std::jthread([this, side, seen, ended = std::move(ended)](std::stop_token stop) mutable {
        run(stop, side, seen, std::move(ended));
    });
    return true;
}

RecordingReport Recorder::stop()
{
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
    return report_;
}

std::chrono::milliseconds Recorder::elapsed() const
{
    return milliseconds(nowMs() - startedMs_.load(std::memory_order_relaxed));
}

void Recorder::run(std::stop_token stop, int side, uint32_t seen, std::function<void()> ended)
{
    using Ending = RecordingReport::Ending;
    pthread_setname_np(pthread_self(), "qdx-record");
    RecordingReport report;
    JpegEncoder encoder(side);
    const std::size_t bytes = static_cast<std::size_t>(side) * side * 3;
    std::unique_ptr<uint8_t[]> picture(new (std::nothrow) uint8_t[bytes]);
    if (!encoder.valid() || !picture)
        report.ending = Ending::EncoderFailed;

    const int64_t start = startedMs_.load(std::memory_order_relaxed);
    int64_t lastFrame = start;
    int64_t lastHeaderRefresh = start;
    uint32_t framesInHeader = 0;
    int encoderFailures = 0;
    bool timesOk = true;
    std::string timesWhy;
    while (report.ending == Ending::Stopped && !stop.stop_requested()) {
        // At most once a second and only on this thread: a few writes in
        // place, no flush. The rate so far goes in too, so that a killed
        // file plays at its speed; close writes the final one.
        if (writer_.totalFrames() != framesInHeader && nowMs() - lastHeaderRefresh >= kHeaderRefresh.count()) {
            if (const uint32_t rate = measuredRate(writer_.totalFrames(), lastFrame - start); rate != 0)
                writer_.setFrameRate(rate, 100);
            writer_.refresh();
            framesInHeader = writer_.totalFrames();
            lastHeaderRefresh = nowMs();
        }
        const uint32_t count = image_.waitForRefresh(seen, stop, kRefreshWait);
        if (count == seen)
            continue;
        lastFrame = nowMs();
        FrameStamp stamp;
        {
            // Held only for the copy: the display thread skips refreshes
            // while it is held, and encoding takes far longer than copying.
            auto hold = image_.hold();
            // The refresh copied, which may be newer than the one waited
            // for: counting the older would take this picture twice.
            seen = image_.count();
            if (image_.side() != side)
                continue;  // a refresh from before the boundary option took effect
            std::copy_n(image_.pixels(), bytes, picture.get());
            stamp = image_.stamp();
        }
        const uint32_t length = encoder.encodeJpegToStream(picture.get());
        if (length == 0) {
            if (++encoderFailures >= kMostEncoderFailures)
                report.ending = Ending::EncoderFailed;
            continue;
        }
        encoderFailures = 0;
        const int written = writer_.writeFrame(encoder.jpeg().data(), length);
        if (written == AviWriter::kFull) {
            report.ending = Ending::Full;
            break;
        }
        if (written != AviWriter::kOk) {
            report.ending = Ending::WriteFailed;
            break;
        }
        frames_.fetch_add(1, std::memory_order_relaxed);
        if (timesOk)
            timesOk = times_.add(writer_.totalFrames() - 1, stamp, timesWhy);
        const uint64_t reserve = std::max(options_.diskReserve, writer_.closingBytes() + 2 * uint64_t{length});
        if (freeBytesBeside(path_) < reserve)
            report.ending = Ending::DiskFull;
    }

    report.frames = writer_.totalFrames();
    if (const uint32_t rate = measuredRate(report.frames, lastFrame - start);
        rate != 0 && writer_.setFrameRate(rate, 100) == AviWriter::kOk) {
        report.rate = rate;
        report.scale = 100;
    }
    image_.removeReader();
    report.fileOk = writer_.close() == AviWriter::kOk;
    // The times of a file that could not be finished are of no use.
    if (timesOk && report.fileOk)
        report.timesOk = times_.commit(timesWhy);
    else
        times_.abandon();
    report_ = report;
    running_.store(false, std::memory_order_release);
    if (report.ending != Ending::Stopped && ended)
        ended();
}

}  // namespace qdx::viewer
