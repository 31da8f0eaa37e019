#include "CsvExportJob.h"

namespace qdx::viewer {

bool CsvExportJob::start(std::string chosenPath, int frames)
{
    std::lock_guard lock(mutex_);
    if (active_.load(std::memory_order_relaxed) || frames < 1 || chosenPath.empty())
        return false;
    path_ = std::move(chosenPath);
    number_ = 1;
    claimed_ = 1;
    total_ = frames;
    ++id_;
    remaining_.store(frames, std::memory_order_release);
    active_.store(true, std::memory_order_release);
    return true;
}

bool CsvExportJob::abort()
{
    std::lock_guard lock(mutex_);
    if (!active_.load(std::memory_order_relaxed))
        return false;
    ++id_;  // a step handed out before is stale from now on
    remaining_.store(0, std::memory_order_release);
    active_.store(false, std::memory_order_release);
    return true;
}

std::optional<CsvExportJob::Cut> CsvExportJob::cut()
{
    std::lock_guard lock(mutex_);
    if (!active_.load(std::memory_order_relaxed))
        return std::nullopt;
    ++id_;
    remaining_.store(0, std::memory_order_release);
    active_.store(false, std::memory_order_release);
    return Cut{path_, number_ - 1, total_};
}

std::optional<CsvExportJob::Step> CsvExportJob::next()
{
    if (!active())  // the common case, without the lock
        return std::nullopt;
    std::lock_guard lock(mutex_);
    if (!active_.load(std::memory_order_relaxed) || claimed_ > total_)
        return std::nullopt;
    return Step{path_, claimed_++, total_, id_};
}

bool CsvExportJob::wanted(const Step& step) const
{
    std::lock_guard lock(mutex_);
    return active_.load(std::memory_order_relaxed) && step.exportId == id_ && step.number == number_;
}

CsvExportJob::Outcome CsvExportJob::finish(const Step& step, bool written)
{
    std::lock_guard lock(mutex_);
    if (!active_.load(std::memory_order_relaxed) || step.exportId != id_ || step.number != number_)
        return Outcome::Stale;
    ++number_;
    const int left = remaining_.load(std::memory_order_relaxed) - 1;
    remaining_.store(written ? left : 0, std::memory_order_release);
    if (written && left > 0)
        return Outcome::Continue;
    active_.store(false, std::memory_order_release);
    return written ? Outcome::Done : Outcome::Failed;
}

}  // namespace qdx::viewer
