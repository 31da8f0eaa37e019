#include "StopSignals.h"

#include <signal.h>

#include <atomic>

namespace qdx::ctl {
namespace {

// Written by the handler on whichever thread the signal lands, read by the
// command's loop: a lock-free atomic is safe in a signal handler.
std::atomic<int> caught{0};
static_assert(std::atomic<int>::is_always_lock_free);

void note(int signal)
{
    int none = 0;
    caught.compare_exchange_strong(none, signal, std::memory_order_acq_rel);
}

}  // namespace

void catchStopSignals()
{
    struct sigaction action {};
    action.sa_handler = note;
    sigemptyset(&action.sa_mask);
    // Writes to a pipe or a terminal go on; the loops look at the note at
    // least every 100 ms whatever their waits do.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

int stopSignal()
{
    return caught.load(std::memory_order_acquire);
}

}  // namespace qdx::ctl
