// The register shadow: the library's copy of every shadowed register written
// or read since QDX_Init, with a header, so that its first 256 bytes can be
// stored in the camera as a parameter block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>

namespace qdx {

inline constexpr std::size_t kShadowSize = 576;
inline constexpr std::size_t kParameterBlockSize = 256;
inline constexpr std::size_t kShadowRegisters = 256;
inline constexpr std::size_t kShadowRegisterOffset = 64;
inline constexpr uint8_t kBlockMagic[4] = {'Q', 'D', 'X', '\0'};
inline constexpr uint8_t kBlockFormatVersion = 1;

using ParameterBlock = std::array<uint8_t, kParameterBlockSize>;

// Thread-safe: setters on any thread may race a parameter save; each sees
// a register either before or after, never half-written.
class RegisterShadow {
public:
    RegisterShadow() { reset(); }

    // Header "QDX\0", version 1, zeros, then 0xFF; every register 0xFFFF.
    void reset();

    // Keeps the two wire bytes of register r (r < 256).
    void store(int r, const uint8_t* bytes);
    std::array<uint8_t, 2> registerBytes(int r) const;

    ParameterBlock parameterBlock() const;
    void loadParameterBlock(const ParameterBlock& block);

private:
    mutable std::mutex mutex_;  // protects bytes_
    std::array<uint8_t, kShadowSize> bytes_{};
};

}  // namespace qdx
