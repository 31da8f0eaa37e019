#include "FileWriter.h"

#include <pthread.h>

#include <new>
#include <system_error>
#include <utility>

#include "live/FrameLayout.h"

namespace qdx::viewer {

FileWriter::FileWriter(const char* name)
{
    try {
        thread_ = std::jthread([this, name](std::stop_token stop) {
            pthread_setname_np(pthread_self(), name);
            run(stop);
        });
    } catch (const std::system_error&) {
        // No thread to be had: post() writes on the caller's thread rather
        // than lose a file.
    }
}

FileWriter::~FileWriter()
{
    if (thread_.joinable()) {
        thread_.request_stop();
        thread_.join();
    }
}

void FileWriter::post(std::function<void()> job)
{
    if (!thread_.joinable()) {
        job();
        return;
    }
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
        ++posted_;
    }
    changed_.notify_all();
}

void FileWriter::flush()
{
    std::unique_lock lock(mutex_);
    const unsigned long long target = posted_;
    changed_.wait(lock, [&] { return done_ >= target; });
}

void FileWriter::run(std::stop_token stop)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        // A stop ends the thread only once the queue is empty: every file
        // handed over is written.
        changed_.wait(lock, stop, [this] { return !jobs_.empty(); });
        if (jobs_.empty())
            return;
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        lock.unlock();
        job();
        lock.lock();
        ++done_;
        changed_.notify_all();
    }
}

std::shared_ptr<const std::vector<uint8_t>> copyFrame(const uint8_t* frame)
{
    try {
        return std::make_shared<const std::vector<uint8_t>>(frame, frame + kFrameBytes);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace qdx::viewer
