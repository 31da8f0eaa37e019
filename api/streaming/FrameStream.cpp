#include "streaming/FrameStream.h"

#include <algorithm>
#include <cstring>
#include <pthread.h>

#include <system_error>

#include "QDX_API.h"

namespace qdx {

namespace {

// Frames received by the process: the frame index never starts again, also
// not for a new stream after QDX_Term and QDX_Init.
std::atomic<uint64_t> processFrames{0};

int64_t nowNs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

int32_t checkFrame(const uint8_t* frame, uint32_t length)
{
    if (length < kFrameBytes)
        return QDX_FRAME_SHORT;
    const auto word = [&](std::size_t i) { return static_cast<uint16_t>(frame[2 * i] | frame[2 * i + 1] << 8); };
    const bool whole = length == kFrameBytes && word(0) == kStartMarker0 && word(1) == kStartMarker1 &&
                       word(kFrameWords - 2) == kEndMarker0 && word(kFrameWords - 1) == kEndMarker1;
    return whole ? QDX_FRAME_WHOLE : QDX_FRAME_DAMAGED;
}

}  // namespace

FrameStream::FrameStream(Link& link, std::chrono::milliseconds readLimit, std::function<void(bool)> onChange)
    : link_(link), readLimit_(readLimit), onChange_(std::move(onChange)),
      lastReturnedIndex_(processFrames.load(std::memory_order_relaxed))
{
    for (auto& slot : slots_)
        slot = std::make_unique<uint8_t[]>(kSlotSize);
    sem_init(&semaphore_, 0, 0);
}

FrameStream::~FrameStream()
{
    stop();
    sem_destroy(&semaphore_);
}

void FrameStream::start()
{
    if (connectionThread_.joinable())
        return;
    connectionState_.store(kThreadStarting, std::memory_order_release);
    connectionRun_.store(true, std::memory_order_release);
    connectionThread_ = std::thread(&FrameStream::connectionLoop, this);
    awaitRunning(connectionState_);
}

void FrameStream::announceRunning(std::atomic<int>& state)
{
    {
        std::lock_guard lock(startMutex_);
        state.store(kThreadRunning, std::memory_order_release);
    }
    started_.notify_all();
}

void FrameStream::awaitRunning(const std::atomic<int>& state)
{
    std::unique_lock lock(startMutex_);
    started_.wait(lock, [&] { return state.load(std::memory_order_acquire) != kThreadStarting; });
}

void FrameStream::stop()
{
    {
        std::lock_guard lock(pauseMutex_);
        connectionRun_.store(false, std::memory_order_release);
    }
    pauseCv_.notify_all();
    link_.wakeBusWait();
    if (connectionThread_.joinable())
        connectionThread_.join();
}

void FrameStream::pause(std::chrono::milliseconds d)
{
    std::unique_lock lock(pauseMutex_);
    pauseCv_.wait_for(lock, d, [&] {
        return !connectionRun_.load(std::memory_order_acquire) || !readerRun_.load(std::memory_order_acquire);
    });
}

void FrameStream::connectionLoop()
{
    pthread_setname_np(pthread_self(), "qdx-connection");
    connected_.store(false, std::memory_order_release);
    announceRunning(connectionState_);

    int quickRetries = kQuickRetries;
    while (connectionRun_.load(std::memory_order_acquire)) {
        passes_.fetch_add(1, std::memory_order_relaxed);
        bool retrySoon = false;
        if (!connected_.load(std::memory_order_acquire)) {
            const bool opened = openCamera();
            if (!opened)
                retrySoon = link_.retryOpenSoon();
            setConnected(opened);
        } else if (!link_.isOpenDevicePresent()) {
            // The opened camera itself has gone (another camera of the same
            // kind may still be there); the next pass, at once, opens whatever remains.
            stopReader();
            link_.close();
            setConnected(false);
            continue;
        }
        std::chrono::milliseconds limit = kSafetyPoll;
        if (retrySoon && quickRetries > 0) {
            --quickRetries;
            limit = kRetryPeriod;
        }
        if (link_.waitForBusChange(limit) || connected_.load(std::memory_order_acquire))
            quickRetries = kQuickRetries;
    }

    stopReader();
    link_.close();
    setConnected(false);
    connectionState_.store(kThreadEnded, std::memory_order_release);
}

void FrameStream::setConnected(bool connected)
{
    const bool changed = connected_.exchange(connected, std::memory_order_acq_rel) != connected;
    DeviceProblem problem = link_.problem();
    const bool problemChanged = problem != toldProblem_;
    toldProblem_ = std::move(problem);
    if ((changed || problemChanged) && onChange_)
        onChange_(connected);
}

bool FrameStream::openCamera()
{
    // Nothing may leave this thread: a camera that cannot be opened for want
    // of memory, or without a reader thread, stays closed until the next pass.
    try {
        if (link_.open() != OpenResult::Opened)
            return false;
    } catch (...) {
        link_.close();
        return false;
    }
    if (startReader())
        return true;
    link_.close();
    return false;
}

bool FrameStream::startReader()
{
    if (readerState_.load(std::memory_order_acquire) == kThreadRunning)
        return true;
    if (readerThread_.joinable())
        readerThread_.join();
    readerState_.store(kThreadStarting, std::memory_order_release);
    readerRun_.store(true, std::memory_order_release);
    try {
        readerThread_ = std::thread(&FrameStream::readerLoop, this);
    } catch (const std::system_error&) {
        readerRun_.store(false, std::memory_order_release);
        return false;
    }
    awaitRunning(readerState_);
    return true;
}

void FrameStream::stopReader()
{
    if (readerState_.load(std::memory_order_acquire) == kThreadRunning) {
        {
            std::lock_guard lock(pauseMutex_);
            readerRun_.store(false, std::memory_order_release);
        }
        pauseCv_.notify_all();
        {
            // Under the ring lock, so that a reader about to wait for a pin sees the stop.
            std::lock_guard lock(ringMutex_);
        }
        unpinned_.notify_all();
        link_.interruptRead();
    }
    if (readerThread_.joinable())
        readerThread_.join();
    readerState_.store(kThreadStarting, std::memory_order_release);
}

void FrameStream::readerLoop()
{
    pthread_setname_np(pthread_self(), "qdx-reader");
    {
        std::lock_guard lock(ringMutex_);
        counter_.store(0, std::memory_order_release);
        lastReturned_ = -1;
        frameAvailable_ = false;
    }
    announceRunning(readerState_);

    while (readerRun_.load(std::memory_order_acquire)) {
        const uint32_t slot = counter_.load(std::memory_order_acquire) % kSlotCount;
        {
            // Waits for a copy of this slot that started before the reader
            // lapped the ring; copies that start later take the newest slot.
            std::unique_lock lock(ringMutex_);
            unpinned_.wait(lock, [&] { return pins_[slot] == 0 || !readerRun_.load(std::memory_order_acquire); });
        }
        if (!readerRun_.load(std::memory_order_acquire))
            break;
        std::size_t received = 0;
        const ReadResult result = link_.bulkRead(slots_[slot].get(), kSlotSize, received, readLimit_, readerRun_);
        if (result != ReadResult::Received || received == 0) {
            pause(std::chrono::milliseconds(1));
            continue;
        }
        const Arrival arrival{processFrames.fetch_add(1, std::memory_order_relaxed) + 1, nowNs(CLOCK_MONOTONIC),
                              nowNs(CLOCK_REALTIME)};
        {
            std::lock_guard lock(ringMutex_);
            lengths_[slot] = static_cast<uint32_t>(received);
            arrivals_[slot] = arrival;
            counter_.fetch_add(1, std::memory_order_acq_rel);
            frameAvailable_ = true;
        }
        releaseSemaphore();
    }
    readerState_.store(kThreadEnded, std::memory_order_release);
}

void FrameStream::releaseSemaphore()
{
    // Only this thread posts, so the count cannot pass the maximum between
    // the look and the post; releases beyond it are lost on purpose.
    int value = 0;
    sem_getvalue(&semaphore_, &value);
    if (value < kSemaphoreMax)
        sem_post(&semaphore_);
}

FrameStream::Pin FrameStream::pinNewest()
{
    std::lock_guard lock(ringMutex_);
    if (!frameAvailable_)
        return {};
    const uint32_t n = counter_.load(std::memory_order_acquire);
    Pin pin;
    pin.slot = (n - 1) % kSlotCount;
    pin.length = lengths_[pin.slot];
    pin.data = slots_[pin.slot].get();
    pin.result = lastReturned_ == static_cast<int64_t>(n) ? QDX_FRAME_REPEATED : QDX_OK;
    const Arrival& arrival = arrivals_[pin.slot];
    pin.index = arrival.index;
    pin.monotonicNs = arrival.monotonicNs;
    pin.wallNs = arrival.wallNs;
    if (pin.result == QDX_OK && arrival.index > lastReturnedIndex_) {
        pin.skipped = arrival.index - lastReturnedIndex_ - 1;
        lastReturnedIndex_ = arrival.index;
    }
    ++pins_[pin.slot];
    lastReturned_ = n;
    return pin;
}

void FrameStream::unpin(const Pin& pin)
{
    if (!pin.data)
        return;
    {
        std::lock_guard lock(ringMutex_);
        --pins_[pin.slot];
    }
    unpinned_.notify_all();
}

int FrameStream::copyNewestFrame(uint8_t* buffer, uint32_t bufferLength, uint32_t* frameLength)
{
    const Pin pin = pinNewest();
    if (!pin.data)
        return pin.result;
    // Without the lock: the reader never writes a pinned slot.
    std::memcpy(buffer, pin.data, std::min(bufferLength, pin.length));
    unpin(pin);
    if (frameLength)
        *frameLength = pin.length;
    return pin.result;
}

int FrameStream::copyNewestFrame(uint8_t* buffer, uint32_t bufferLength, QDX_FRAME_INFO& info)
{
    const Pin pin = pinNewest();
    if (!pin.data)
        return pin.result;
    std::memcpy(buffer, pin.data, std::min(bufferLength, pin.length));
    // The check reads the slot too, so before the unpin.
    const int32_t check = checkFrame(pin.data, pin.length);
    unpin(pin);
    QDX_FRAME_INFO out{};
    out.size = info.size;
    out.length = pin.length;
    out.index = pin.index;
    out.monotonicNs = pin.monotonicNs;
    out.wallNs = pin.wallNs;
    out.skipped = pin.skipped;
    out.check = check;
    std::memcpy(&info, &out, std::min<std::size_t>(info.size, sizeof out));
    return pin.result;
}

}  // namespace qdx
