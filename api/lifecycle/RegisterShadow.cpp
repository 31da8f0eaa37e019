#include "RegisterShadow.h"

#include <algorithm>

namespace qdx {

void RegisterShadow::reset()
{
    std::lock_guard lock(mutex_);
    bytes_.fill(0xFF);
    std::copy(std::begin(kBlockMagic), std::end(kBlockMagic), bytes_.begin());
    bytes_[4] = kBlockFormatVersion;
    std::fill(bytes_.begin() + 5, bytes_.begin() + 9, uint8_t{0});
}

void RegisterShadow::store(int r, const uint8_t* bytes)
{
    if (r < 0 || static_cast<std::size_t>(r) >= kShadowRegisters)
        return;
    std::lock_guard lock(mutex_);
    const std::size_t at = kShadowRegisterOffset + 2 * static_cast<std::size_t>(r);
    bytes_[at] = bytes[0];
    bytes_[at + 1] = bytes[1];
}

std::array<uint8_t, 2> RegisterShadow::registerBytes(int r) const
{
    std::lock_guard lock(mutex_);
    const std::size_t at = kShadowRegisterOffset + 2 * static_cast<std::size_t>(r);
    return {bytes_[at], bytes_[at + 1]};
}

ParameterBlock RegisterShadow::parameterBlock() const
{
    std::lock_guard lock(mutex_);
    ParameterBlock block;
    std::copy_n(bytes_.begin(), block.size(), block.begin());
    return block;
}

void RegisterShadow::loadParameterBlock(const ParameterBlock& block)
{
    std::lock_guard lock(mutex_);
    std::copy(block.begin(), block.end(), bytes_.begin());
}

}  // namespace qdx
