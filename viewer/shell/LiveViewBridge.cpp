#include "LiveViewBridge.h"

#include "core/model/ViewerState.h"
#include "pages/JobRunner.h"
#include "pages/Page.h"

namespace qdx::viewer {
namespace {

bool validTarget(int target)
{
    return target == kPicturePage || target == kCalibrationPage;
}

}  // namespace

LiveViewBridge::LiveViewBridge(QObject* parent) : QObject(parent) {}

void LiveViewBridge::setPage(int target, Page* page)
{
    if (validTarget(target))
        pages_[static_cast<std::size_t>(target)] = page;
}

void LiveViewBridge::pictureReady(int target)
{
    if (!validTarget(target))
        return;
    pictureDirty_[static_cast<std::size_t>(target)].store(true, std::memory_order_release);
    post();
}

void LiveViewBridge::ratesChanged(int target, const std::string& text)
{
    if (!validTarget(target))
        return;
    {
        std::lock_guard lock(ratesMutex_);
        rates_[static_cast<std::size_t>(target)] = text;
        ratesDirty_[static_cast<std::size_t>(target)] = true;
    }
    post();
}

void LiveViewBridge::csvExportEnded(const std::string& failure)
{
    {
        std::lock_guard lock(csvMutex_);
        csvEnds_.push_back(failure);
    }
    post();
}

void LiveViewBridge::post()
{
    // The update is stored before the flag is tested, and deliver() clears the
    // flag before it reads: an update is either seen by the queued delivery or
    // queues a new one. Only the call travels inside Qt's event, no state of ours.
    if (!posted_.exchange(true, std::memory_order_acq_rel))
        postToGui(this, &LiveViewBridge::deliver);
}

void LiveViewBridge::deliver()
{
    posted_.store(false, std::memory_order_release);
    std::array<std::string, kTargets> rates;
    std::array<bool, kTargets> ratesDirty{};
    {
        std::lock_guard lock(ratesMutex_);
        for (std::size_t i = 0; i < kTargets; ++i) {
            if (ratesDirty_[i]) {
                rates[i] = std::move(rates_[i]);
                ratesDirty[i] = true;
                ratesDirty_[i] = false;
            }
        }
    }
    for (std::size_t i = 0; i < kTargets; ++i) {
        Page* page = pages_[i];
        const bool picture = pictureDirty_[i].exchange(false, std::memory_order_acq_rel);
        if (!page)
            continue;
        if (picture)
            page->showNewPicture();
        if (ratesDirty[i])
            page->setRatesText(QString::fromStdString(rates[i]));
    }
    std::vector<std::string> csvEnds;
    {
        std::lock_guard lock(csvMutex_);
        csvEnds.swap(csvEnds_);
    }
    for (const std::string& failure : csvEnds)
        if (csvEnded_)
            csvEnded_(QString::fromStdString(failure));
}

}  // namespace qdx::viewer
