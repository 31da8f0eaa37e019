// Three buffers between one writer and one reader, so that neither ever waits
// for the other's work: the writer fills its back buffer and publishes it as
// the newest; the reader takes the newest published one as its front buffer,
// which stays its own until it takes again. Only the swaps are locked.
#pragma once

#include <mutex>
#include <utility>

namespace qdx::viewer {

template <typename Buffer>
class TripleBuffer {
public:
    TripleBuffer(Buffer back, Buffer ready, Buffer front)
        : back_(std::move(back)), ready_(std::move(ready)), front_(std::move(front))
    {
    }

    // The writer's (one thread at a time).
    Buffer& back() { return back_; }
    void publish()
    {
        std::lock_guard lock(mutex_);
        std::swap(back_, ready_);
        fresh_ = true;
    }

    // The reader's (one thread): take() makes the newest published buffer the
    // front one and says whether there was one not yet taken.
    bool take()
    {
        std::lock_guard lock(mutex_);
        if (!fresh_)
            return false;
        std::swap(ready_, front_);
        fresh_ = false;
        return true;
    }
    Buffer& front() { return front_; }

private:
    Buffer back_;
    std::mutex mutex_;  // Protects ready_ and fresh_, and the swaps into and out of them
    Buffer ready_;
    bool fresh_ = false;  // ready_ holds a buffer the reader has not taken
    Buffer front_;
};

}  // namespace qdx::viewer
