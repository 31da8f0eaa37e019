#include "streaming/FrameStream.h"

#include <algorithm>
#include <cstring>
#include <pthread.h>

#include "QDX_API.h"

namespace qdx {

FrameStream::FrameStream(Link& link, std::chrono::milliseconds readLimit) : link_(link), readLimit_(readLimit)
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
    // The starter returns only once the thread runs.
    while (connectionState_.load(std::memory_order_acquire) == kThreadStarting)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void FrameStream::stop()
{
    {
        std::lock_guard lock(pauseMutex_);
        connectionRun_.store(false, std::memory_order_release);
    }
    pauseCv_.notify_all();
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
    connectionState_.store(kThreadRunning, std::memory_order_release);

    while (connectionRun_.load(std::memory_order_acquire)) {
        if (!connected_.load(std::memory_order_acquire)) {
            if (link_.open() == OpenResult::Opened) {
                startReader();
                connected_.store(true, std::memory_order_release);
            }
        } else if (!link_.isOpenDevicePresent()) {
            // The opened camera itself has gone (another camera of the same
            // kind may still be there); the next pass opens whatever remains.
            stopReader();
            link_.close();
            connected_.store(false, std::memory_order_release);
        }
        std::unique_lock lock(pauseMutex_);
        pauseCv_.wait_for(lock, kConnectionPeriod, [&] { return !connectionRun_.load(std::memory_order_acquire); });
    }

    stopReader();
    link_.close();
    connected_.store(false, std::memory_order_release);
    connectionState_.store(kThreadEnded, std::memory_order_release);
}

void FrameStream::startReader()
{
    if (readerState_.load(std::memory_order_acquire) == kThreadRunning)
        return;
    if (readerThread_.joinable())
        readerThread_.join();
    readerState_.store(kThreadStarting, std::memory_order_release);
    readerRun_.store(true, std::memory_order_release);
    readerThread_ = std::thread(&FrameStream::readerLoop, this);
    while (readerState_.load(std::memory_order_acquire) == kThreadStarting)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
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
    readerState_.store(kThreadRunning, std::memory_order_release);

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
        {
            std::lock_guard lock(ringMutex_);
            lengths_[slot] = static_cast<uint32_t>(received);
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

int FrameStream::copyNewestFrame(uint8_t* buffer, uint32_t bufferLength, uint32_t* frameLength)
{
    uint32_t slot = 0, length = 0;
    bool same = false;
    {
        std::lock_guard lock(ringMutex_);
        if (!frameAvailable_)
            return QDX_ERR_NO_FRAME;
        const uint32_t n = counter_.load(std::memory_order_acquire);
        slot = (n - 1) % kSlotCount;
        length = lengths_[slot];
        ++pins_[slot];
        same = lastReturned_ == static_cast<int64_t>(n);
        lastReturned_ = n;
    }
    std::memcpy(buffer, slots_[slot].get(), std::min(bufferLength, length));
    {
        std::lock_guard lock(ringMutex_);
        --pins_[slot];
    }
    unpinned_.notify_all();
    if (frameLength)
        *frameLength = length;
    return same ? QDX_FRAME_REPEATED : QDX_OK;
}

}  // namespace qdx
