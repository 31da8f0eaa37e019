// Where the live view's results go: the display target's picture and rates
// line. The display, monitor and file-writer threads call it; an implementation only
// records or posts the update and never waits for the GUI thread, so that a
// stop-wait on the GUI thread cannot deadlock.
#pragma once

#include <mutex>
#include <string>

namespace qdx::viewer {

class LiveViewSink {
public:
    // A new picture is in the display image; show it on page target.
    virtual void pictureReady(int target) = 0;
    // The rates line of page target.
    virtual void ratesChanged(int target, const std::string& text) = 0;
    // A CSV export ended: failure is empty when every file was written, else
    // why the last one was not.
    virtual void csvExportEnded(const std::string& failure) { (void)failure; }

protected:
    ~LiveViewSink() = default;
};

// Forwards to a sink that the main window attaches while it exists. Thread-safe.
class LiveOutput final : public LiveViewSink {
public:
    // Attach (or detach with nullptr). Returns once no call into the previous
    // sink is in progress, so a detached sink can be destroyed at once.
    void attach(LiveViewSink* sink)
    {
        std::lock_guard lock(mutex_);
        sink_ = sink;
    }

    void pictureReady(int target) override
    {
        std::lock_guard lock(mutex_);
        if (sink_)
            sink_->pictureReady(target);
    }

    void ratesChanged(int target, const std::string& text) override
    {
        std::lock_guard lock(mutex_);
        if (sink_)
            sink_->ratesChanged(target, text);
    }

    void csvExportEnded(const std::string& failure) override
    {
        std::lock_guard lock(mutex_);
        if (sink_)
            sink_->csvExportEnded(failure);
    }

private:
    std::mutex mutex_;  // Protects sink_, and keeps it alive during a call
    LiveViewSink* sink_ = nullptr;
};

}  // namespace qdx::viewer
