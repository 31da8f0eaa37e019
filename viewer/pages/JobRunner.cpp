#include "JobRunner.h"

namespace qdx::viewer {

JobRunner::JobRunner(const char* name, QObject* parent) : QObject(parent), thread_(name) {}

JobRunner::~JobRunner()
{
    // A finish() still queued is dropped with this object.
    thread_.stop();
}

void JobRunner::stop()
{
    thread_.requestStop();
}

void JobRunner::enqueue(Job job)
{
    if (busy_)
        queue_.push_back(std::move(job));
    else
        start(std::move(job));
}

void JobRunner::start(Job job)
{
    busy_ = true;
    const bool threaded = thread_.start([this, job](std::stop_token stop) {
        ending_ = job(stop);
        postToGui(this, &JobRunner::finish);
    });
    if (!threaded) {
        ending_ = job(std::stop_token());
        postToGui(this, &JobRunner::finish);
    }
}

void JobRunner::finish()
{
    thread_.join();  // everything the job wrote is visible from here on
    busy_ = false;
    const auto ending = std::exchange(ending_, nullptr);
    if (ending)
        ending();
    if (!busy_ && !queue_.empty()) {
        Job next = std::move(queue_.front());
        queue_.pop_front();
        start(std::move(next));
    }
}

}  // namespace qdx::viewer
