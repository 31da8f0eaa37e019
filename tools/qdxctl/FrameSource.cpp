#include "FrameSource.h"

#include "QDX_API.h"
#include "StopSignals.h"

namespace qdx::ctl {

bool cameraConnected()
{
    int status = 0;
    return QDX_GetStatus(&status) == QDX_OK && (status & QDX_STATUS_CONNECTED);
}

WholeFrames::WholeFrames(long long skip) : skip_(skip), wholeDeadline_(std::chrono::steady_clock::now() + kTimeout)
{
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
        while (!reader_.wait(kLook)) {
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
        reader_.look();
        if (reader_.restarts() != 0)
            return gone();
        if (reader_.delivered() <= skip_)
            continue;
        frame.resize(QDX_FRAME_BYTES);
        const auto taken = reader_.take(frame.data());
        if (!taken)
            continue;  // the frame handed out before
        if (taken->whole()) {
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
