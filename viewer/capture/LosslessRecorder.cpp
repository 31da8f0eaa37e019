#include "LosslessRecorder.h"

#include <pthread.h>

#include <cstring>
#include <new>

#include "core/files/RegularFile.h"
#include "live/FrameLayout.h"

namespace qdx::viewer {

LosslessRecorder::LosslessRecorder(Options options) : options_(options)
{
    if (options_.queueFrames < 1)
        options_.queueFrames = 1;
}

LosslessRecorder::~LosslessRecorder()
{
    stop();
}

bool LosslessRecorder::start(const std::string& path, int side, bool grey, std::function<void()> ended,
                             std::string& why)
{
    if (active()) {
        why = "a recording is already running";
        return false;
    }
    // The queue's memory once, at the first recording: frames a recording
    // cannot hold fail it here rather than later.
    if (slots_.empty()) {
        slots_.resize(static_cast<std::size_t>(options_.queueFrames));
        for (Slot& slot : slots_) {
            slot.frame.reset(new (std::nothrow) uint8_t[kFrameBytes]);
            if (!slot.frame) {
                slots_.clear();
                why = "there is no memory for the recording's queue";
                return false;
            }
        }
    }
    if (writer_.open(path, side, grey, why) != LosslessWriter::kOk)
        return false;
    path_ = path;
    report_ = {};
    frames_.store(0, std::memory_order_relaxed);
    skipped_.store(0, std::memory_order_relaxed);
    {
        std::lock_guard lock(mutex_);
        head_ = count_ = 0;
        haveFirst_ = false;
        accepting_ = true;
    }
    running_.store(true, std::memory_order_release);
    thread_ = std::jthread([this, ended = std::move(ended)](std::stop_token stop) mutable {
        run(stop, std::move(ended));
    });
    return true;
}

LosslessReport LosslessRecorder::stop()
{
    {
        std::lock_guard lock(mutex_);
        accepting_ = false;
    }
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
    return report_;
}

void LosslessRecorder::offer(const uint8_t* frame, const QDX_FRAME_INFO* info)
{
    if (!frame || !info)
        return;
    std::lock_guard lock(mutex_);
    if (!accepting_)
        return;
    if (count_ == slots_.size()) {
        skipped_.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    if (!haveFirst_) {
        firstNs_ = info->monotonicNs;
        haveFirst_ = true;
    }
    Slot& slot = slots_[(head_ + count_) % slots_.size()];
    std::memcpy(slot.frame.get(), frame, kFrameBytes);
    // Rounded to the nearest millisecond, Matroska's unit.
    slot.timeMs = (info->monotonicNs - firstNs_ + 500000) / 1000000;
    ++count_;
    queued_.notify_one();
}

void LosslessRecorder::run(std::stop_token stop, std::function<void()> ended)
{
    using Ending = RecordingReport::Ending;
    pthread_setname_np(pthread_self(), "qdx-lossless");
    LosslessReport report;
    for (;;) {
        Slot* slot = nullptr;
        {
            std::unique_lock lock(mutex_);
            // A stop still writes what is queued: every frame taken is kept.
            queued_.wait(lock, stop, [&] { return count_ > 0; });
            if (count_ == 0)
                break;
            slot = &slots_[head_];
        }
        // The slot is the recording thread's until head_ passes it.
        const int written = writer_.writeFrame(slot->frame.get(), slot->timeMs, report.why);
        {
            std::lock_guard lock(mutex_);
            head_ = (head_ + 1) % slots_.size();
            --count_;
        }
        if (written != LosslessWriter::kOk) {
            report.ending = Ending::WriteFailed;
            break;
        }
        report.spanMs = slot->timeMs;
        frames_.fetch_add(1, std::memory_order_relaxed);
        if (freeBytesBeside(path_) < options_.diskReserve) {
            report.ending = Ending::DiskFull;
            break;
        }
    }
    {
        std::lock_guard lock(mutex_);
        accepting_ = false;
    }
    report.frames = writer_.frames();
    report.skipped = skipped_.load(std::memory_order_relaxed);
    std::string why;
    report.fileOk = writer_.close(why) == LosslessWriter::kOk;
    if (!report.fileOk && report.why.empty())
        report.why = why;
    report_ = report;
    running_.store(false, std::memory_order_release);
    if (report.ending != Ending::Stopped && ended)
        ended();
}

}  // namespace qdx::viewer
