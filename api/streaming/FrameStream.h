// Keeps the camera's frames flowing: the connection thread opens the camera
// when it appears and closes it when it leaves; while it is open the reader
// thread reads one bulk transfer after another into a ring of four slots and
// releases the data semaphore once per frame.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <semaphore.h>
#include <thread>

#include "QDX_API.h"
#include "link/Link.h"
#include "protocol/FrameFormat.h"

namespace qdx {

// Thread states of the start/stop hand-shakes.
enum ThreadState : int { kThreadStarting = 0, kThreadRunning = 1, kThreadEnded = 2 };

inline constexpr int kSemaphoreMax = 60;
// The connection thread sleeps until the link tells of a change on the bus;
// without one it looks again after kSafetyPoll, for changes whose events can
// be missed (libusb without hotplug support, an emulated bus).
inline constexpr std::chrono::milliseconds kSafetyPoll{1000};
// A device found but not yet openable is tried again after kRetryPeriod, up to
// kQuickRetries times after each change (about two seconds), then at the safety poll.
inline constexpr std::chrono::milliseconds kRetryPeriod{50};
inline constexpr int kQuickRetries = 40;

class FrameStream {
public:
    // Allocates the ring and the data semaphore. The link must outlive the
    // stream. onChange runs on the connection thread after connected() or the
    // link's problem() changed, with connected().
    FrameStream(Link& link, std::chrono::milliseconds readLimit, std::function<void(bool)> onChange = {});
    ~FrameStream();
    FrameStream(const FrameStream&) = delete;
    FrameStream& operator=(const FrameStream&) = delete;

    // Starts the connection thread; returns once it runs. Called once.
    // Throws std::system_error when the thread cannot be created.
    void start();
    // Stops both threads and closes the link; returns once they have ended.
    void stop();

    bool connected() const { return connected_.load(std::memory_order_acquire); }
    // How often the connection thread has looked at the bus; tests count its wake-ups by it.
    uint64_t connectionPasses() const { return passes_.load(std::memory_order_relaxed); }
    uint32_t frameCounter() const { return counter_.load(std::memory_order_acquire); }
    sem_t* semaphore() { return &semaphore_; }

    // The newest frame: QDX_ERR_NO_FRAME none since the reader started, QDX_OK new,
    // QDX_FRAME_REPEATED the same as last time.
    int copyNewestFrame(uint8_t* buffer, uint32_t bufferLength, uint32_t* frameLength);
    // The same copy, with what is known of the frame (info->size is the caller's).
    int copyNewestFrame(uint8_t* buffer, uint32_t bufferLength, QDX_FRAME_INFO& info);

    // A copy in two steps, as copyNewestFrame makes it: pinNewest() keeps the
    // reader off the newest slot until unpin(); result as copyNewestFrame's.
    struct Pin {
        int result = QDX_ERR_NO_FRAME;
        uint32_t slot = 0;
        uint32_t length = 0;
        const uint8_t* data = nullptr;
        uint64_t index = 0;    // the process-wide frame number
        uint64_t skipped = 0;  // received since the last returned frame and never returned
        int64_t monotonicNs = 0;
        int64_t wallNs = 0;
    };
    Pin pinNewest();
    void unpin(const Pin& pin);

private:
    void connectionLoop();
    void setConnected(bool connected);
    void readerLoop();
    bool openCamera();
    bool startReader();
    // Marks the calling thread running and wakes the thread that started it.
    void announceRunning(std::atomic<int>& state);
    void awaitRunning(const std::atomic<int>& state);
    void stopReader();
    void releaseSemaphore();
    // Sleeps up to d, or less when a stop is requested.
    void pause(std::chrono::milliseconds d);

    Link& link_;
    const std::chrono::milliseconds readLimit_;
    const std::function<void(bool)> onChange_;
    DeviceProblem toldProblem_;  // connection thread only: the problem onChange_ last followed

    // The ring. Slot data is written by the reader thread without a lock: it
    // only ever writes slot (counter mod 4), never the newest frame's slot.
    // A copy pins the newest slot under ringMutex_ and copies without it, so
    // the reader never waits for a copy of another slot; it waits only when
    // it has lapped the ring to a slot that is still pinned.
    std::array<std::unique_ptr<uint8_t[]>, kSlotCount> slots_;
    std::mutex ringMutex_;  // protects lengths_, pins_, lastReturned_, frameAvailable_ and counter_ updates
    std::condition_variable unpinned_;  // a pin was dropped, or the reader is to stop
    std::array<uint32_t, kSlotCount> lengths_{};
    struct Arrival {
        uint64_t index = 0;
        int64_t monotonicNs = 0;
        int64_t wallNs = 0;
    };
    std::array<Arrival, kSlotCount> arrivals_{};
    uint64_t lastReturnedIndex_;  // the index of the last returned frame, or the last before the stream started
    std::array<int, kSlotCount> pins_{};  // copies in progress, by slot
    int64_t lastReturned_ = -1;
    bool frameAvailable_ = false;
    std::atomic<uint32_t> counter_{0};  // written by the reader under ringMutex_, read anywhere

    sem_t semaphore_;

    std::atomic<bool> connected_{false};  // written by the connection thread
    std::atomic<uint64_t> passes_{0};     // written by the connection thread
    std::atomic<bool> connectionRun_{false};
    std::atomic<int> connectionState_{kThreadStarting};
    std::atomic<bool> readerRun_{false};  // also the reader's keep-reading flag
    std::atomic<int> readerState_{kThreadStarting};
    std::thread connectionThread_;  // started by start(), joined by stop()
    std::thread readerThread_;      // started and joined by the connection thread

    // Start hand-shake: a new thread leaves kThreadStarting under startMutex_
    // and notifies started_, on which its starter waits.
    std::mutex startMutex_;
    std::condition_variable started_;

    std::mutex pauseMutex_;  // pairs with pauseCv_ to cut the reader's pause short on stop
    std::condition_variable pauseCv_;
};

}  // namespace qdx
