// Every C export, of the library and of the simulated camera alike, runs its
// body through guarded(): an exception leaving an extern "C" function would
// terminate the host program, so it becomes the export's own failure code.
#pragma once

namespace qdx {

// Returns body(), or failure when it throws (std::bad_alloc, std::system_error
// from a thread or a lock, anything else).
template <typename Body>
int guarded(int failure, Body&& body) noexcept
{
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

}  // namespace qdx
