#include "StatusWatch.h"

#include "QDX_API.h"

namespace qdx::viewer {

StatusWatch::StatusWatch()
{
    QDX_SetStatusObserver(&StatusWatch::told, this);
}

StatusWatch::~StatusWatch()
{
    // Once this returns the library no longer calls told() with this object.
    QDX_SetStatusObserver(nullptr, nullptr);
}

void StatusWatch::told(int, void* self)
{
    auto* watch = static_cast<StatusWatch*>(self);
    {
        std::lock_guard lock(watch->mutex_);
        ++watch->changes_;
    }
    watch->changed_.notify_all();
}

uint64_t StatusWatch::changes() const
{
    std::lock_guard lock(mutex_);
    return changes_;
}

bool StatusWatch::waitForChange(uint64_t seen, std::stop_token stop, std::chrono::milliseconds limit)
{
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, stop, limit, [&] { return changes_ != seen; });
    return !stop.stop_requested();
}

}  // namespace qdx::viewer
