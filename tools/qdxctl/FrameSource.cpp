#include "FrameSource.h"

#include <time.h>

#include "QDX_API.h"
#include "StopSignals.h"
#include "live/FrameCheck.h"

namespace qdx::ctl {

FrameSource::FrameSource()
{
    QDX_HANDLE handle = nullptr;
    if (QDX_GetDataSemaphoHandle(&handle) == QDX_OK)
        semaphore_ = static_cast<sem_t*>(handle);
    QDX_GetIndex(&lastIndex_);
}

void FrameSource::drain()
{
    while (semaphore_ && sem_trywait(semaphore_) == 0) {
    }
}

bool FrameSource::waitForFrame(std::chrono::milliseconds timeout)
{
    if (!semaphore_)
        return false;
    // The monotonic clock, so that a change of the wall clock neither cuts
    // the wait short nor stretches it.
    timespec deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    const long long ns = deadline.tv_nsec + std::chrono::nanoseconds(timeout).count();
    deadline.tv_sec += static_cast<time_t>(ns / 1'000'000'000);
    deadline.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    if (sem_clockwait(semaphore_, CLOCK_MONOTONIC, &deadline) != 0)
        return false;
    drain();
    return true;
}

int FrameSource::take(std::vector<uint8_t>& buffer, unsigned& length)
{
    buffer.resize(QDX_FRAME_BYTES);
    length = 0;
    return QDX_GetFrame(buffer.data(), QDX_FRAME_BYTES, &length);
}

long long FrameSource::delivered()
{
    const int now = index();
    // The index counts from 0 again after a reconnection.
    if (now < lastIndex_)
        ++restarts_;
    delivered_ += now >= lastIndex_ ? now - lastIndex_ : now;
    lastIndex_ = now;
    return delivered_;
}

int FrameSource::index()
{
    int index = 0;
    QDX_GetIndex(&index);
    return index;
}

bool cameraConnected()
{
    int status = 0;
    return QDX_GetStatus(&status) == QDX_OK && (status & QDX_STATUS_CONNECTED);
}

WholeFrames::WholeFrames(long long skip) : skip_(skip), wholeDeadline_(std::chrono::steady_clock::now() + kTimeout)
{
    source_.drain();
    base_ = source_.delivered();
    restarts_ = source_.restarts();
}

WholeFrames::Next WholeFrames::next(std::vector<uint8_t>& frame, std::string& why)
{
    using Clock = std::chrono::steady_clock;
    const std::string seconds = std::to_string(kTimeout.count() / 1000);
    const auto gone = [&] {
        why = "the camera was disconnected";
        return Next::Disconnected;
    };
    for (;;) {
        const auto frameDeadline = Clock::now() + kTimeout;
        while (!source_.waitForFrame(kLook)) {
            if (stopRequested())
                return Next::Stopped;
            if (!cameraConnected())
                return gone();
            if (Clock::now() > frameDeadline) {
                why = "no frame from the camera for " + seconds + " s";
                return Next::Failed;
            }
        }
        if (stopRequested())
            return Next::Stopped;
        unsigned length = 0;
        const long long delivered = source_.delivered() - base_;
        if (source_.restarts() != restarts_)
            return gone();
        if (delivered <= skip_ || source_.take(frame, length) != QDX_OK)
            continue;  // the frame handed out before
        if (viewer::checkFrame(frame.data(), length) == viewer::kFrameWhole) {
            wholeDeadline_ = Clock::now() + kTimeout;
            return Next::Frame;
        }
        if (++damaged_, Clock::now() > wholeDeadline_) {
            why = "no whole frame for " + seconds + " s (" + std::to_string(damaged_) + " short or damaged)";
            return Next::Failed;
        }
    }
}

LumaData::LumaData()
{
    int format = 0;
    if (QDX_Get_DataFormat(&format) == QDX_OK)
        previous_ = format;
    ok_ = previous_ == 1 || QDX_Set_DataFormat(1) == QDX_OK;
}

LumaData::~LumaData()
{
    if (ok_ && previous_ >= 0 && previous_ != 1)
        QDX_Set_DataFormat(previous_);
}

}  // namespace qdx::ctl
