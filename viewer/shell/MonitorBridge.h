// The GUI side of the device monitor: the monitor thread leaves each panel
// update here and posts one queued call; the GUI thread then applies the
// updates, in order, to the pages. Nothing here waits for the GUI thread.
#pragma once

#include <QObject>

#include <functional>
#include <mutex>
#include <vector>

#include "MonitorLoop.h"

namespace qdx::viewer {

class MonitorBridge final : public QObject, public MonitorClient {
    Q_OBJECT

public:
    // targets: asked on the GUI thread at each delivery, as pages may change.
    MonitorBridge(std::function<PanelTargets()> targets, QObject* parent);

    // Monitor thread.
    void panelsChanged(PanelUpdate&& update) override;

private:
    Q_INVOKABLE void deliver();

    std::function<PanelTargets()> targets_;  // GUI thread only
    std::mutex mutex_;                       // Protects pending_ and posted_
    std::vector<PanelUpdate> pending_;
    bool posted_ = false;                    // a delivery is queued
};

}  // namespace qdx::viewer
