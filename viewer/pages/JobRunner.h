// Work off the GUI thread and back onto it. postToGui() queues a call to an
// object's thread; JobRunner runs one job at a time on a thread of its own
// and then hands what it produced to the GUI thread, so the window never
// waits for the camera. Pages, dialogs and the main window use these two
// only, never a method named by a string.
#pragma once

#include <QMetaObject>
#include <QObject>

#include <deque>
#include <functional>
#include <stop_token>
#include <type_traits>
#include <utility>

#include "core/threads/Worker.h"

namespace qdx::viewer {

// Runs f (a pointer to a member of receiver without arguments, or a functor)
// on receiver's thread when it next returns to its event loop; dropped when
// receiver is gone by then. Any thread; never waits for receiver's thread.
template <typename Receiver, typename F>
void postToGui(Receiver* receiver, F&& f)
{
    QMetaObject::invokeMethod(receiver, std::forward<F>(f), Qt::QueuedConnection);
}

class JobRunner final : public QObject {
public:
    // name: the job thread's name (at most 15 characters).
    explicit JobRunner(const char* name, QObject* parent = nullptr);
    // Asks a running job to stop and waits for it; its ending is dropped.
    ~JobRunner() override;

    // Runs work(stop token) on the job thread once the jobs before it have
    // ended; once it has returned, done gets its result on the GUI thread
    // (and may run a further job, which goes before those still waiting).
    // Should no thread be had, the work runs here and done still comes later,
    // as always. work and done must not share state other than the result.
    // GUI thread only.
    template <typename Work, typename Done>
    void run(Work work, Done done)
    {
        enqueue([work = std::move(work), done = std::move(done)](std::stop_token stop) mutable {
            using Result = std::invoke_result_t<Work&, std::stop_token>;
            if constexpr (std::is_void_v<Result>) {
                work(stop);
                return std::function<void()>(std::move(done));
            } else {
                return std::function<void()>(
                    [done = std::move(done), result = work(stop)]() mutable { done(std::move(result)); });
            }
        });
    }

    // A job runs or waits, or an ending has not been handed over yet.
    bool busy() const { return busy_; }
    // Asks the running job to stop through its token; it still ends with
    // done. Jobs still waiting are not affected.
    void stop();

private:
    // A job: the work, returning what then runs on the GUI thread.
    using Job = std::function<std::function<void()>(std::stop_token)>;
    void enqueue(Job job);
    void start(Job job);
    void finish();

    Worker thread_;          // GUI thread
    bool busy_ = false;      // GUI thread
    std::deque<Job> queue_;  // GUI thread: jobs waiting, oldest first
    // Written by the job thread before it posts finish(); read by the GUI
    // thread only after it has joined that thread.
    std::function<void()> ending_;
};

}  // namespace qdx::viewer
