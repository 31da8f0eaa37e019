// The GUI side of the live view: the display and monitor threads leave their
// updates in this mailbox and post one queued call; the GUI thread then
// applies the newest of each to the pages. Nothing here waits for the GUI
// thread, and repeated updates before a delivery collapse into one.
#pragma once

#include <QObject>

#include <array>
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "live/LiveViewSink.h"

namespace qdx::viewer {

class Page;

class LiveViewBridge final : public QObject, public LiveViewSink {
    Q_OBJECT

public:
    explicit LiveViewBridge(QObject* parent = nullptr);

    // GUI thread: the page that stands for a display target.
    void setPage(int target, Page* page);

    // GUI thread: what runs, on the GUI thread, when a CSV export has ended.
    void onCsvExportEnded(std::function<void(const QString& failure)> handler) { csvEnded_ = std::move(handler); }

    // Any thread.
    void pictureReady(int target) override;
    void ratesChanged(int target, const std::string& text) override;
    void csvExportEnded(const std::string& failure) override;

private:
    void deliver();
    void post();

    static constexpr int kTargets = 2;
    std::array<Page*, kTargets> pages_{};                 // GUI thread only
    std::array<std::atomic<bool>, kTargets> pictureDirty_{};
    std::atomic<bool> posted_{false};                      // a delivery is queued
    std::mutex ratesMutex_;                                // Protects rates_ and ratesDirty_
    std::array<std::string, kTargets> rates_;
    std::array<bool, kTargets> ratesDirty_{};
    std::mutex csvMutex_;                                  // Protects csvEnds_
    std::vector<std::string> csvEnds_;                     // failures of ended exports, oldest first
    std::function<void(const QString&)> csvEnded_;         // GUI thread only
};

}  // namespace qdx::viewer
