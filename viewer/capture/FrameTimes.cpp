#include "FrameTimes.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

namespace qdx::viewer {

FrameStamp frameStamp(const QDX_FRAME_INFO* info)
{
    if (!info)
        return {};
    return {info->index, info->monotonicNs, info->wallNs};
}

std::string isoUtc(int64_t wallNs)
{
    // Floor division: a time before 1970 still gets a fraction in 0..1 s.
    int64_t seconds = wallNs / 1000000000;
    int64_t fraction = wallNs % 1000000000;
    if (fraction < 0) {
        fraction += 1000000000;
        --seconds;
    }
    const auto whole = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (!::gmtime_r(&whole, &utc))
        return {};
    char text[64];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%09" PRId64 "Z", fraction);
    return text;
}

bool FrameTimesFile::open(const std::string& recording, std::string& why)
{
    file_ = std::make_unique<AtomicFile>();
    if (file_->open(recording + ".csv", why) && file_->write(std::string(kFrameTimesHeader) + "\n", why))
        return true;
    file_.reset();
    return false;
}

bool FrameTimesFile::add(uint32_t frame, const FrameStamp& stamp, std::string& why)
{
    if (!file_)
        return false;
    char line[128];
    if (stamp.index == 0)
        std::snprintf(line, sizeof line, "%" PRIu32 ",,,\n", frame);
    else
        std::snprintf(line, sizeof line, "%" PRIu32 ",%" PRIu64 ",%" PRId64 ",%s\n", frame, stamp.index,
                      stamp.monotonicNs, isoUtc(stamp.wallNs).c_str());
    if (file_->write(std::string_view(line), why))
        return true;
    file_.reset();  // a line lost: the times would no longer match the frames
    return false;
}

bool FrameTimesFile::commit(std::string& why)
{
    if (!file_)
        return false;
    const bool ok = file_->commit(why);
    file_.reset();
    return ok;
}

}  // namespace qdx::viewer
