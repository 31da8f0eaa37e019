#include "FrameReader.h"

#include <cerrno>
#include <ctime>

#include "FrameLayout.h"
#include "QDX_API.h"
#include "core/threads/Worker.h"

namespace qdx::viewer {
namespace {

// A semaphore wait cannot be woken by a stop request: it is cut into slices
// so that a stop is noticed soon even while no camera sends anything.
constexpr std::chrono::milliseconds kWaitSlice{50};

uint32_t libraryIndex()
{
    int index = 0;
    QDX_GetIndex(&index);
    return static_cast<uint32_t>(index);
}

sem_t* librarySemaphore()
{
    QDX_HANDLE handle = nullptr;
    return QDX_GetDataSemaphoHandle(&handle) == QDX_OK ? static_cast<sem_t*>(handle) : nullptr;
}

timespec monotonicIn(std::chrono::nanoseconds delay)
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const long long ns = ts.tv_nsec + delay.count();
    ts.tv_sec += static_cast<time_t>(ns / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return ts;
}

}  // namespace

IndexStep indexStep(uint32_t previous, uint32_t now)
{
    const uint32_t forward = now - previous;  // unsigned: a wrap of the counter is a small step
    if (forward < 0x80000000u)
        return {forward, false};
    return {now, true};
}

void FrameCount::look(uint32_t index)
{
    const IndexStep step = indexStep(last_, index);
    last_ = index;
    if (step.restarted)
        restarts_.fetch_add(1, std::memory_order_acq_rel);
    delivered_.fetch_add(step.frames, std::memory_order_acq_rel);
}

FrameReader::FrameReader() : semaphore_(librarySemaphore()), count_(libraryIndex())
{
    drain();
}

void FrameReader::drain()
{
    while (semaphore_ && sem_trywait(semaphore_) == 0) {
    }
}

bool FrameReader::wait(std::chrono::milliseconds timeout, std::stop_token stop)
{
    if (!semaphore_) {
        sleepFor(stop, timeout);
        return false;
    }
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!stop.stop_requested()) {
        const auto left = end - std::chrono::steady_clock::now();
        if (left <= std::chrono::nanoseconds::zero())
            return false;
        // Without a stop token to watch, one wait for the whole time.
        const auto slice = stop.stop_possible() ? std::min<std::chrono::nanoseconds>(left, kWaitSlice) : left;
        const timespec deadline = monotonicIn(slice);
        if (sem_clockwait(semaphore_, CLOCK_MONOTONIC, &deadline) == 0) {
            drain();  // however many frames came, only the newest is taken
            return true;
        }
        if (errno != ETIMEDOUT && errno != EINTR)
            return false;
    }
    return false;
}

uint32_t FrameReader::look()
{
    const uint32_t index = libraryIndex();
    count_.look(index);
    return index;
}

std::optional<TakenFrame> FrameReader::take(uint8_t* frame)
{
    const uint32_t index = look();
    if (index == taken_.load(std::memory_order_relaxed))
        return std::nullopt;
    taken_.store(index, std::memory_order_release);
    TakenFrame taken;
    taken.index = index;
    taken.info.size = sizeof taken.info;
    if (QDX_GetFrameEx(frame, static_cast<unsigned>(kFrameBytes), &taken.info) != QDX_OK)
        return std::nullopt;  // none since a reconnection, or handed out before
    taken.length = taken.info.length;
    taken.arrived = std::chrono::steady_clock::now();
    taken.check = checkFrame(frame, taken.length);
    return taken;
}

}  // namespace qdx::viewer
