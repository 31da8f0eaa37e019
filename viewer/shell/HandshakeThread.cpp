#include "HandshakeThread.h"

#include <pthread.h>

#include <chrono>
#include <system_error>

namespace qdx::viewer {

HandshakeThread::HandshakeThread(ThreadControl& control, const char* name) : control_(control), name_(name) {}

HandshakeThread::~HandshakeThread()
{
    stop();
}

bool HandshakeThread::start(std::function<void()> body)
{
    if (control_.state.load(std::memory_order_acquire) == 1)
        return true;
    if (thread_.joinable())
        thread_.join();  // ended on its own
    control_.state.store(0, std::memory_order_release);
    control_.run.store(1, std::memory_order_release);
    try {
        thread_ = std::thread([this, body = std::move(body)] {
            pthread_setname_np(pthread_self(), name_);
            control_.state.store(1, std::memory_order_release);
            body();
            control_.state.store(2, std::memory_order_release);
        });
    } catch (const std::system_error&) {
        control_.run.store(0, std::memory_order_release);
        return false;
    }
    while (control_.state.load(std::memory_order_acquire) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void HandshakeThread::stop()
{
    control_.run.store(0, std::memory_order_release);
    while (control_.state.load(std::memory_order_acquire) == 1)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (thread_.joinable())
        thread_.join();
}

}  // namespace qdx::viewer
