// The sticky change mask: which FPGA registers (0..47) the camera changed by
// itself, accumulated from every status record until a caller collects it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <mutex>

#include "protocol/VendorRequests.h"

namespace qdx {

class ChangeMask {
public:
    // ORs bytes 10..15 of a received status record into the mask.
    void merge(const uint8_t* statusRecord)
    {
        std::lock_guard lock(mutex_);
        for (std::size_t i = 0; i < kChangeMaskSize; ++i)
            mask_[i] |= statusRecord[status::kChangeMask + i];
    }

    // Copies the first length bytes and clears all six, in one step so that a
    // report arriving between the copy and the clearing is not lost.
    void take(uint8_t* out, std::size_t length)
    {
        std::lock_guard lock(mutex_);
        std::copy_n(mask_.begin(), std::min(length, kChangeMaskSize), out);
        mask_.fill(0);
    }

    void clear()
    {
        std::lock_guard lock(mutex_);
        mask_.fill(0);
    }

private:
    std::mutex mutex_;  // protects mask_
    std::array<uint8_t, kChangeMaskSize> mask_{};
};

}  // namespace qdx
