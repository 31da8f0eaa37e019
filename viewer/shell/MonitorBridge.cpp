#include "MonitorBridge.h"

#include "pages/JobRunner.h"

namespace qdx::viewer {

MonitorBridge::MonitorBridge(PanelModel& panels, QObject* parent) : QObject(parent), panels_(panels)
{
}

void MonitorBridge::panelsChanged(PanelUpdate&& update)
{
    std::lock_guard lock(mutex_);
    pending_.push_back(std::move(update));
    if (posted_)
        return;
    posted_ = true;
    postToGui(this, &MonitorBridge::deliver);
}

void MonitorBridge::deliver()
{
    std::vector<PanelUpdate> updates;
    {
        std::lock_guard lock(mutex_);
        updates.swap(pending_);
        posted_ = false;
    }
    // Updates are changes, not states: every one counts, in order.
    for (const PanelUpdate& update : updates) {
        panels_.apply(update);
        if (update.deviceProblem)
            emit deviceProblemChanged(QString::fromStdString(*update.deviceProblem));
    }
}

}  // namespace qdx::viewer
