#include "Worker.h"

#include <pthread.h>

#include <system_error>

namespace qdx::viewer {

bool Worker::start(std::function<void(std::stop_token)> body)
{
    if (state() == Running)
        return true;
    if (thread_.joinable())
        thread_.join();  // ended on its own
    state_.store(Starting, std::memory_order_release);
    try {
        thread_ = std::jthread([this, body = std::move(body)](std::stop_token stop) {
            pthread_setname_np(pthread_self(), name_);
            {
                std::lock_guard lock(mutex_);
                state_.store(Running, std::memory_order_release);
            }
            started_.notify_all();
            body(stop);
            state_.store(Ended, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock lock(mutex_);
    started_.wait(lock, [this] { return state() != Starting; });
    return true;
}

void Worker::stop()
{
    requestStop();
    join();
}

void Worker::join()
{
    if (thread_.joinable())
        thread_.join();
}

bool sleepFor(std::stop_token stop, std::chrono::milliseconds duration)
{
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    wake.wait_for(lock, stop, duration, [] { return false; });
    return !stop.stop_requested();
}

}  // namespace qdx::viewer
