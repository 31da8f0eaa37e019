#include "WhiteBalance.h"

#include "QDX_API.h"

namespace qdx::viewer {

bool OnePushWhiteBalance::start(Clock::time_point now)
{
    red_.reset();
    blue_.reset();
    running_ = QDX_Set_AWB(1) == QDX_OK;
    started_ = now;
    return running_;
}

OnePushWhiteBalance::Progress OnePushWhiteBalance::poll(Clock::time_point now)
{
    if (!running_)
        return Progress::Failed;
    int status = 1;
    if (QDX_Get_AWB(&status) != QDX_OK) {
        running_ = false;
        return Progress::Failed;
    }
    if (status == 0) {
        running_ = false;
        if (int gain = 0; QDX_Get_GainRB(0, &gain) == QDX_OK)
            red_ = gain;
        if (int gain = 0; QDX_Get_GainRB(1, &gain) == QDX_OK)
            blue_ = gain;
        return Progress::Finished;
    }
    if (now - started_ > kLimit) {
        running_ = false;
        return Progress::TimedOut;
    }
    return Progress::Running;
}

}  // namespace qdx::viewer
