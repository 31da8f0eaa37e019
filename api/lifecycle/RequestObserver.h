// The observer that QDX_SetRequestObserver sets: told of every vendor request
// the library sends, on the thread that sent it.
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

}  // namespace qdx
