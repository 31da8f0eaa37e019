#include "QuitSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <cerrno>
#include <cstdio>

namespace qdx::viewer {
namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The pipe's write end for the handler; -1 while no object catches.
std::atomic<int> signalPipe{-1};
static_assert(std::atomic<int>::is_always_lock_free);

// Async-signal-safe: one write() to a non-blocking pipe (a full pipe loses
// nothing that matters, a signal is already waiting to be read).
void writeSignal(int signal)
{
    const int saved = errno;
    const int fd = signalPipe.load(std::memory_order_acquire);
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signal);
        [[maybe_unused]] const ssize_t n = ::write(fd, &number, 1);
    }
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent)
{
    if (::pipe2(pipe_, O_NONBLOCK | O_CLOEXEC) != 0) {
        std::perror("QDX_Viewer: signals end the viewer without finishing a recording: no pipe");
        return;
    }
    notifier_ = new QSocketNotifier(pipe_[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &QuitSignals::readSignals);
    signalPipe.store(pipe_[1], std::memory_order_release);
    struct sigaction action {};
    action.sa_handler = writeSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

QuitSignals::~QuitSignals()
{
    if (!notifier_)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
    signalPipe.store(-1, std::memory_order_release);
    delete notifier_;
    ::close(pipe_[0]);
    ::close(pipe_[1]);
}

void QuitSignals::closes(QWidget* window)
{
    window_ = window;
    // A signal that came before is waiting in the pipe: the notifier sees it.
}

void QuitSignals::readSignals()
{
    unsigned char number = 0;
    int last = 0;
    while (::read(pipe_[0], &number, 1) == 1)
        last = number;
    if (last == 0)
        return;
    if (caught_ == 0)
        caught_ = last;
    const bool inLoop = QThread::currentThread()->loopLevel() > 0;
    if (closing_ || !window_) {
        // Nothing to close, or its close is still waiting for an answer.
        if (inLoop)
            QCoreApplication::exit(128 + caught_);
        return;
    }
    closing_ = true;
    // As File > Exit. The window may refuse while an operation has to end
    // first; it closes by itself then. Closed, the loop ends even with a
    // dialog or another window still open.
    if (window_->close() && inLoop)
        QCoreApplication::exit(128 + caught_);
}

}  // namespace qdx::viewer
