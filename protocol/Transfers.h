// The outcome of one bulk-IN transfer: what a link reports to the reader
// thread, and what the simulated camera answers a link with.
#pragma once

namespace qdx {

enum class ReadResult {
    Received = 0,   // a transfer completed; the byte count is set (it may be 0)
    Failed = 1,     // no link, the read could not be started, or the device is gone
    Abandoned = 2,  // the time limit passed or the reader asked to stop; byte count 0
};

}  // namespace qdx
