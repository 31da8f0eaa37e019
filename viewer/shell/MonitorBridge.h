// The GUI side of the device monitor: the monitor thread leaves each panel
// update here and posts one queued call; the GUI thread then applies the
// updates, in order, to the pages' model. Nothing here waits for the GUI thread.
#pragma once

#include <QObject>

#include <mutex>
#include <vector>

#include "core/device/DeviceMonitor.h"
#include "core/model/PanelModel.h"

namespace qdx::viewer {

class MonitorBridge final : public QObject, public MonitorClient {
    Q_OBJECT

public:
    // panels must outlive the bridge.
    MonitorBridge(PanelModel& panels, QObject* parent);

    // Monitor thread.
    void panelsChanged(PanelUpdate&& update) override;

signals:
    // GUI thread: a refused camera's text changed ("" when none any more).
    void deviceProblemChanged(const QString& text);

private:
    void deliver();

    PanelModel& panels_;                     // GUI thread only
    std::mutex mutex_;                       // Protects pending_ and posted_
    std::vector<PanelUpdate> pending_;
    bool posted_ = false;                    // a delivery is queued
};

}  // namespace qdx::viewer
