#include "ViewerState.h"

namespace qdx::viewer {

void ReadyGate::set(Part part)
{
    {
        std::lock_guard lock(mutex_);
        parts_.fetch_or(part, std::memory_order_acq_rel);
    }
    changed_.notify_all();
}

void ReadyGate::clear()
{
    std::lock_guard lock(mutex_);
    parts_.store(0, std::memory_order_release);
}

bool ReadyGate::wait(std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    return changed_.wait(lock, stop, [this] { return all(); });
}

}  // namespace qdx::viewer
