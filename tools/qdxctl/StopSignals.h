// SIGINT, SIGTERM and SIGHUP end a qdxctl command through its normal stop
// path: the handler only notes the signal, the command's loop sees the note,
// finishes its file and prints its summary, and the program exits with
// 128 + the signal's number as a shell expects. A command without a loop
// runs to its end first (a transfer is never cut off half-way).
#pragma once

namespace qdx::ctl {

// The program's main, once: from now on the three signals are noted instead
// of ending the process. In-process runs (tests) leave them as they are.
void catchStopSignals();

// The signal noted first, 0 while none came. Any thread.
int stopSignal();
inline bool stopRequested()
{
    return stopSignal() != 0;
}

}  // namespace qdx::ctl
