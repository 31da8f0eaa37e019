// The observers that QDX_SetRequestObserver and QDX_SetStatusObserver set:
// told of every vendor request the library sends, on the thread that sent it,
// and of each change of the connection status, on the connection thread.
#pragma once

#include <shared_mutex>

#include "QDX_API.h"
#include "protocol/VendorRequests.h"

namespace qdx {

class RequestObserver {
public:
    // False (nothing changes) when called from inside the observer, whose
    // call holds the lock this waits for. Any thread.
    bool set(QDX_REQUEST_OBSERVER observer, void* context);

    // After a transfer: data holds what was sent, or what came back when ok.
    // Any thread.
    void report(const SetupPacket& setup, const uint8_t* data, bool ok);

private:
    // Shared by the calls under way, so that set() can wait for them and
    // then promise that the old observer is done with its context.
    std::shared_mutex mutex_;  // protects observer_ and context_
    QDX_REQUEST_OBSERVER observer_ = nullptr;
    void* context_ = nullptr;
};

class StatusObserver {
public:
    // As RequestObserver::set.
    bool set(QDX_STATUS_OBSERVER observer, void* context);
    // The connection thread, after the status or the device problem changed.
    void report(int status);

private:
    std::shared_mutex mutex_;  // protects observer_ and context_, as in RequestObserver
    QDX_STATUS_OBSERVER observer_ = nullptr;
    void* context_ = nullptr;
};

}  // namespace qdx
