// When each recorded frame arrived, as the library stamped it, and the
// sidecar file that keeps those times beside an AVI recording (whose own
// header holds only an average rate): "FILE.avi.csv", a header line and one
// line a frame, written as the recording goes under a temporary name and
// renamed over FILE.avi.csv when the recording ends.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "QDX_API.h"
#include "core/files/AtomicFile.h"

namespace qdx::viewer {

// A frame's arrival; index 0: not known (a frame handed in without its info).
struct FrameStamp {
    uint64_t index = 0;       // QDX_FRAME_INFO.index
    int64_t monotonicNs = 0;  // CLOCK_MONOTONIC
    int64_t wallNs = 0;       // CLOCK_REALTIME
};
FrameStamp frameStamp(const QDX_FRAME_INFO* info);

// "2026-12-09T01:02:03.123456789Z"
std::string isoUtc(int64_t wallNs);

inline constexpr const char* kFrameTimesHeader = "frame,index,monotonic_ns,wall_clock_utc";

// One thread uses an instance; a file neither committed nor abandoned goes
// with it.
class FrameTimesFile {
public:
    // The sidecar of recording: recording + ".csv". False with why.
    bool open(const std::string& recording, std::string& why);
    // The line of the file's frame number frame (from 0). False with why
    // once a write failed.
    bool add(uint32_t frame, const FrameStamp& stamp, std::string& why);
    // Renames it over the sidecar's name. False with why.
    bool commit(std::string& why);
    // Drops the file: nothing is left under the name.
    void abandon() { file_.reset(); }

private:
    std::unique_ptr<AtomicFile> file_;
};

}  // namespace qdx::viewer
