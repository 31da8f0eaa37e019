// A viewer thread with the run/state hand-shake: start() returns once the
// thread runs, stop() once it has ended. The body gets a stop token and waits
// on it (sleepFor) instead of polling a flag.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

namespace qdx::viewer {

class Worker {
public:
    enum State { Starting = 0, Running = 1, Ended = 2 };

    // name: the thread's name as the system shows it (at most 15 characters).
    explicit Worker(const char* name) : name_(name) {}
    ~Worker() { stop(); }
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // Starts body on a new thread and returns once it runs; body returns when
    // its token asks it to stop. Does nothing while the thread runs. False
    // when the thread could not be created. Owner's thread only.
    bool start(std::function<void(std::stop_token)> body);

    // Asks the body to stop and returns once the thread has ended. Returns at
    // once for a thread never started or already ended. Owner's thread only.
    void stop();
    // The two halves of stop(), for a body that ends on its own. Owner's thread only.
    void requestStop() { thread_.request_stop(); }
    void join();

    // Starting before the first start, Running, then Ended. Any thread.
    State state() const { return state_.load(std::memory_order_acquire); }

private:
    const char* name_;
    std::atomic<State> state_{Starting};  // written by the thread (and start() before it exists)
    std::mutex mutex_;                    // Pairs with started_
    std::condition_variable started_;
    std::jthread thread_;                 // owner's thread only
};

// Sleeps for duration or until stop is requested; false when it was.
bool sleepFor(std::stop_token stop, std::chrono::milliseconds duration);

}  // namespace qdx::viewer
