// Widget tests run on an offscreen Qt application, without a display.
#include <gtest/gtest.h>

#include <QApplication>

#include <sys/prctl.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "PrivateHome.h"
#include "viewer/GuiFixture.h"

#if defined(__SANITIZE_THREAD__)
// Qt is not built with the thread sanitizer: its own internals (event
// queues, allocations) are outside what it can judge, our code is not.
extern "C" const char* __tsan_default_options()
{
    return "ignore_noninstrumented_modules=1";
}
#endif

#if defined(__SANITIZE_ADDRESS__)
// Qt Multimedia connects to PulseAudio once, for playback, and PulseAudio
// keeps that context until the process ends.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libpulse.so\n";
}
#endif

namespace {

// A widget test that hangs, most likely inside the media engine's threads,
// would be ended by ctest's timeout with nothing said of where it stood.
// Shortly before that timeout this prints the stacks of all the process's
// threads (through gdb, when it is installed) and aborts.
class HangReport : public ::testing::EmptyTestEventListener {
public:
    explicit HangReport(std::chrono::seconds limit) : limit_(limit), watcher_([this] { watch(); }) {}

    ~HangReport() override
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        changed_.notify_all();
        watcher_.join();
    }

    void OnTestStart(const ::testing::TestInfo& test) override
    {
        std::lock_guard lock(mutex_);
        name_ = std::string(test.test_suite_name()) + "." + test.name();
        deadline_ = std::chrono::steady_clock::now() + limit_;
        running_ = true;
        changed_.notify_all();
    }

    void OnTestEnd(const ::testing::TestInfo&) override
    {
        std::lock_guard lock(mutex_);
        running_ = false;
        changed_.notify_all();
    }

private:
    void watch()
    {
        std::unique_lock lock(mutex_);
        while (!done_) {
            if (!running_) {
                changed_.wait(lock);
                continue;
            }
            if (changed_.wait_until(lock, deadline_) == std::cv_status::no_timeout || !running_)
                continue;
            std::fprintf(stderr, "%s has run for %lld s; the stacks of its threads:\n", name_.c_str(),
                         static_cast<long long>(limit_.count()));
            prctl(PR_SET_PTRACER, PR_SET_PTRACER_ANY, 0, 0, 0);
            const std::string command = "gdb -p " + std::to_string(getpid()) +
                                        " -batch -nx -ex 'thread apply all bt' 1>&2 </dev/null";
            if (std::system(command.c_str()) != 0)
                std::fprintf(stderr, "(gdb could not be run: scripts/common.sh installs it)\n");
            std::abort();
        }
    }

    const std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string name_;
    std::chrono::steady_clock::time_point deadline_;
    bool running_ = false;
    bool done_ = false;
    std::thread watcher_;  // last: starts once the members it reads exist
};

}  // namespace

int main(int argc, char** argv)
{
    // Before QApplication: Qt reads the XDG folders as it starts.
    const qdx::test::PrivateHome home;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("QDX_CAMERA", "sim", 1);
    // The media engine with the plugins the project installs for playback,
    // whatever else the machine has: GStreamer's FFmpeg plugins (installed for
    // the lossless recordings) would take over decoding, and under the leak
    // checker their threads crash it at the process's end.
    setenv("GST_PLUGIN_LOADING_WHITELIST", "gstreamer:gst-plugins-base:gst-plugins-good", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // The offscreen platform's own 800 x 600 would have every window fit its picture.
    qdx::viewer::test::setScreenSize(qdx::viewer::test::kTestScreen);
    // ctest ends a widget test after 120 s.
    ::testing::UnitTest::GetInstance()->listeners().Append(new HangReport(std::chrono::seconds(100)));
    return RUN_ALL_TESTS();
}
