#include "SimCamera.h"

#include <algorithm>
#include <cstring>
#include <pthread.h>

#include "RequestLog.h"
#include "TestPattern.h"
#include "protocol/FrameFormat.h"

namespace qdx::sim {

SimCamera::SimCamera(int index, const std::string& stateFilePrefix, std::function<void()> onPlugChange)
    : index_(index), onPlugChange_(std::move(onPlugChange)), model_(stateFilePrefix),
      frameInterval_(kDefaultFrameInterval)
{
}

SimCamera::~SimCamera()
{
    detach();
}

void SimCamera::reset(bool plugged)
{
    resetLocked(plugged);
    if (onPlugChange_)
        onPlugChange_();
}

void SimCamera::resetLocked(bool plugged)
{
    std::lock_guard lock(mutex_);
    model_.blankMemories();
    model_.setCisPresent(true);
    model_.powerOn();
    model_.setScene(SceneKind::Chart);
    model_.setEepromWriteCycle(eepromWriteCycle_);
    if (plugged && !plugged_)
        ++generation_;
    plugged_ = plugged;
    access_ = Access::Granted;
    frameInterval_ = kDefaultFrameInterval;
    intervalChanged_ = true;
    stalled_ = false;
    fault_ = FrameFault::None;
    faultCount_ = 0;
    failRequest_ = 0;
    failCount_ = 0;
    failSkip_ = 0;
    requestCounts_.fill(0);
    lastSetup_ = {};
    requestLog_.clear();
    requestLogNext_ = 0;
    stats_ = {};
    cv_.notify_all();
}

void SimCamera::setPlugged(bool plugged)
{
    {
        std::lock_guard lock(mutex_);
        if (plugged == plugged_)
            return;
        plugged_ = plugged;
        if (plugged) {
            ++generation_;
            // A camera powers up when it is plugged in.
            model_.powerOn();
        }
        cv_.notify_all();
    }
    if (onPlugChange_)
        onPlugChange_();
}

bool SimCamera::plugged() const
{
    std::lock_guard lock(mutex_);
    return plugged_;
}

uint64_t SimCamera::generation() const
{
    std::lock_guard lock(mutex_);
    return generation_;
}

bool SimCamera::isPresent(uint64_t generation) const
{
    std::lock_guard lock(mutex_);
    return plugged_ && generation == generation_;
}

void SimCamera::setAccess(Access access)
{
    {
        std::lock_guard lock(mutex_);
        access_ = access;
    }
    if (onPlugChange_)
        onPlugChange_();
}

Access SimCamera::access() const
{
    std::lock_guard lock(mutex_);
    return access_;
}

bool SimCamera::attach(uint64_t generation)
{
    std::lock_guard lock(mutex_);
    if (!plugged_ || generation != generation_)
        return false;
    if (!streamRun_) {
        streamRun_ = true;
        streamThread_ = std::thread(&SimCamera::streamLoop, this);
    }
    return true;
}

void SimCamera::detach()
{
    {
        std::lock_guard lock(mutex_);
        streamRun_ = false;
        cv_.notify_all();
    }
    if (streamThread_.joinable())
        streamThread_.join();
}

ControlOutcome SimCamera::control(uint64_t generation, const SetupPacket& setup, uint8_t* data)
{
    // A control transfer takes the bus a few microframes; without this a
    // host polling the status record would spin thousands of times per
    // EEPROM page, which no real camera allows.
    std::chrono::microseconds latency;
    {
        std::lock_guard lock(mutex_);
        latency = controlLatency_;
    }
    if (latency.count() > 0)
        std::this_thread::sleep_for(latency);

    std::lock_guard lock(mutex_);
    if (!plugged_ || generation != generation_)
        return ControlOutcome::NoDevice;
    ++requestCounts_[setup.bRequest];
    lastSetup_ = setup;
    if (requestLog_.size() < kRequestLogSize)
        requestLog_.push_back(setup);
    else
        requestLog_[requestLogNext_] = setup;
    requestLogNext_ = (requestLogNext_ + 1) % kRequestLogSize;
    if (index_ == 0)
        logRequest(setup, data);
    if (failCount_ > 0 && (failRequest_ == -1 || failRequest_ == setup.bRequest)) {
        if (failSkip_ > 0) {
            --failSkip_;
        } else {
            --failCount_;
            return ControlOutcome::Stalled;
        }
    }
    return model_.handleControl(setup, data, SimClock::now()) ? ControlOutcome::Ok : ControlOutcome::Stalled;
}

ReadResult SimCamera::read(uint64_t generation, uint8_t* buffer, std::size_t size, std::size_t& received,
                           std::chrono::milliseconds limit, const std::atomic<bool>& keepReading)
{
    received = 0;
    std::unique_lock lock(mutex_);
    const auto gone = [&] { return !plugged_ || generation != generation_; };
    if (gone() || readState_ != ReadState::Idle)
        return ReadResult::Failed;

    readBuffer_ = buffer;
    readSize_ = size;
    readReceived_ = 0;
    readState_ = ReadState::Waiting;
    cv_.notify_all();

    const auto deadline = SimClock::now() + limit;
    cv_.wait_until(lock, deadline, [&] {
        return readState_ == ReadState::Done || !keepReading.load(std::memory_order_acquire) || gone();
    });
    const bool done = readState_ == ReadState::Done;
    readState_ = ReadState::Idle;
    readBuffer_ = nullptr;
    if (gone())
        return ReadResult::Failed;
    if (done) {
        received = readReceived_;
        return ReadResult::Received;
    }
    ++stats_.abandoned;
    return ReadResult::Abandoned;
}

void SimCamera::interruptRead()
{
    // Taking the lock orders the caller's keepReading store before the
    // reader's next look at it, so the wake-up cannot be lost.
    std::lock_guard lock(mutex_);
    cv_.notify_all();
}

void SimCamera::setFrameInterval(std::chrono::microseconds interval)
{
    std::lock_guard lock(mutex_);
    frameInterval_ = interval;
    intervalChanged_ = true;
    cv_.notify_all();
}

void SimCamera::setControlLatency(std::chrono::microseconds latency)
{
    std::lock_guard lock(mutex_);
    controlLatency_ = latency;
}

void SimCamera::setDefaultEepromWriteCycle(std::chrono::microseconds cycle)
{
    std::lock_guard lock(mutex_);
    eepromWriteCycle_ = cycle;
    model_.setEepromWriteCycle(cycle);
}

void SimCamera::setStalled(bool stalled)
{
    std::lock_guard lock(mutex_);
    stalled_ = stalled;
    cv_.notify_all();
}

void SimCamera::injectFrames(FrameFault fault, int count)
{
    std::lock_guard lock(mutex_);
    fault_ = fault;
    faultCount_ = count;
}

void SimCamera::failRequests(int bRequest, int count, int skip)
{
    std::lock_guard lock(mutex_);
    failRequest_ = bRequest;
    failCount_ = count;
    failSkip_ = skip;
}

uint64_t SimCamera::requestCount(int bRequest) const
{
    std::lock_guard lock(mutex_);
    if (bRequest >= 0)
        return requestCounts_[static_cast<std::size_t>(bRequest & 0xFF)];
    uint64_t total = 0;
    for (auto n : requestCounts_)
        total += n;
    return total;
}

SetupPacket SimCamera::lastSetup() const
{
    std::lock_guard lock(mutex_);
    return lastSetup_;
}

std::vector<SetupPacket> SimCamera::requestLog() const
{
    std::lock_guard lock(mutex_);
    if (requestLog_.size() < kRequestLogSize)
        return requestLog_;
    std::vector<SetupPacket> ordered(requestLog_.begin() + static_cast<std::ptrdiff_t>(requestLogNext_),
                                     requestLog_.end());
    ordered.insert(ordered.end(), requestLog_.begin(),
                   requestLog_.begin() + static_cast<std::ptrdiff_t>(requestLogNext_));
    return ordered;
}

BulkStats SimCamera::bulkStats() const
{
    std::lock_guard lock(mutex_);
    return stats_;
}

SimCamera::Outside SimCamera::outside() const
{
    std::lock_guard lock(mutex_);
    return {plugged_, streamRun_, stalled_, stats_};
}

// The camera's frame clock: a picture is due every frame interval. The camera
// takes and processes it whether or not the host reads (its automatic
// controls see every frame); it goes out when the host has a bulk read
// pending and is lost otherwise, as on the real camera whose FIFO cannot hold
// a whole picture. With interval 0 the camera takes a picture whenever the
// host reads.
void SimCamera::streamLoop()
{
    const std::string name = "qdx-sim-cam" + std::to_string(index_);
    pthread_setname_np(pthread_self(), name.c_str());

    std::unique_lock lock(mutex_);
    auto due = SimClock::now() + frameInterval_;
    while (streamRun_) {
        // Paced: wait for the frame time. Unpaced: wait for a read that a
        // picture can answer; an unplugged or stalled camera sends none, so
        // it must not count as woken (the loop would spin holding the lock).
        const auto woken = [&] {
            return !streamRun_ || intervalChanged_ ||
                   (frameInterval_.count() == 0 && readState_ == ReadState::Waiting && !stalled_ && plugged_);
        };
        if (frameInterval_.count() > 0)
            cv_.wait_until(lock, due, woken);
        else
            cv_.wait(lock, woken);
        if (!streamRun_)
            break;
        if (intervalChanged_) {
            intervalChanged_ = false;
            due = SimClock::now() + frameInterval_;
            continue;
        }
        if (frameInterval_.count() > 0 && SimClock::now() < due)
            continue;

        if (!stalled_ && plugged_)
            produceFrame(lock);
        ++frameNumber_;

        // Keep the cadence; after a long hold-up start afresh instead of bursting.
        due += frameInterval_;
        const auto now = SimClock::now();
        if (due + frameInterval_ < now)
            due = now + frameInterval_;
    }
}

void SimCamera::produceFrame(std::unique_lock<std::mutex>& lock)
{
    model_.takeFrameSettings(settings_);
    const uint64_t number = frameNumber_;

    // Render outside the lock: control requests go on meanwhile, as on the
    // camera where the FPGA streams while the FX2 answers the control pipe.
    lock.unlock();
    frame_.resize(kFrameBytes);
    const FrameStatistics stats = renderer_.render(settings_, number, frame_.data());
    lock.lock();

    model_.applyStatistics(stats);
    // A camera stalled or unplugged while the picture was taken sends nothing
    // more: once QDXSim_SetStalled returns, no frame is on its way.
    if (readState_ != ReadState::Waiting || stalled_ || !plugged_) {
        ++stats_.dropped;
        return;
    }
    FrameFault fault = FrameFault::None;
    if (faultCount_ > 0) {
        fault = fault_;
        --faultCount_;
    }
    std::size_t length = std::min(readSize_, kFrameBytes);
    std::memcpy(readBuffer_, frame_.data(), length);
    if (fault == FrameFault::BadEndMarker && length == kFrameBytes)
        readBuffer_[kFrameBytes - 2] = static_cast<uint8_t>(kEndMarker1 + 1);
    if (fault == FrameFault::Short)
        length = std::min(length, kFrameBytes / 2);
    readReceived_ = length;
    readState_ = ReadState::Done;
    ++stats_.delivered;
    cv_.notify_all();
}

}  // namespace qdx::sim
