// A thread that writes files for the display thread, as the recording thread
// writes recordings: the display thread hands over a copy of what it shows
// and goes on at once, so the live view never waits for a disk or an fsync.
// Jobs run one after another in the order given. Qt-free.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace qdx::viewer {

class FileWriter {
public:
    // name: the thread's name as the system shows it (at most 15 characters).
    explicit FileWriter(const char* name);
    // Runs the jobs still waiting, then ends the thread: nothing handed over is lost.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Any thread: job runs on the writer thread after those given before.
    // It must not wait for the thread that gave it.
    void post(std::function<void()> job);
    // Any thread but the writer's: returns once every job given before has run.
    void flush();

private:
    void run(std::stop_token stop);

    std::mutex mutex_;  // Protects jobs_ and done_ (any thread posts, the writer takes)
    std::condition_variable_any changed_;
    std::deque<std::function<void()>> jobs_;
    unsigned long long posted_ = 0;  // jobs given so far
    unsigned long long done_ = 0;    // jobs run so far
    std::jthread thread_;            // the owner's; started in the constructor, after the members above
};

// A copy of a whole camera frame for a writer job; null when there is no
// memory for it.
std::shared_ptr<const std::vector<uint8_t>> copyFrame(const uint8_t* frame);

}  // namespace qdx::viewer
