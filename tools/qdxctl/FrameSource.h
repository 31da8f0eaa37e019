// The library's frames as qdxctl's commands take them, through the viewer's
// frame reader (live/FrameReader.h).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "live/FrameReader.h"

namespace qdx::ctl {

// Whether the library has a camera open now.
bool cameraConnected();

// Consecutive whole frames for the commands that take several: the frames
// signalled before it was made are passed over, then `skip` more (they show
// the camera as it was before a change), and short or damaged ones.
class WholeFrames {
public:
    explicit WholeFrames(long long skip);

    enum class Next {
        Frame,         // the next whole frame is in frame
        Failed,        // none came for the time-out (no frame at all, or only short and damaged ones)
        Disconnected,  // the camera is gone, or was gone and is back: the frames are consecutive no more
        Stopped,       // a stop signal came (StopSignals.h)
    };

    // Whether the library handed out its frame signal.
    bool valid() const { return reader_.valid(); }
    // The next whole frame into frame; why says what else happened. Waits
    // no longer than the time-out, and not at all once the camera is seen
    // gone or a stop signal came.
    Next next(std::vector<uint8_t>& frame, std::string& why);

private:
    static constexpr std::chrono::milliseconds kTimeout{3000};
    static constexpr std::chrono::milliseconds kLook{100};  // the connection and stop signals are looked at this often

    viewer::FrameReader reader_;
    long long skip_;
    int damaged_ = 0;
    std::chrono::steady_clock::time_point wholeDeadline_;
};

// The camera's luma data (data format 1) while it lives, and the camera's own
// format again afterwards, as the Calibration page has it while shown.
class LumaData {
public:
    LumaData();
    ~LumaData();
    LumaData(const LumaData&) = delete;
    LumaData& operator=(const LumaData&) = delete;

    // The camera sends luma now.
    bool ok() const { return ok_; }
    // It sent another format before: a frame on its way may still be in it.
    bool switched() const { return previous_ != 1; }

private:
    int previous_ = -1;  // -1: not known, left as it is afterwards
    bool ok_ = false;
};

}  // namespace qdx::ctl
