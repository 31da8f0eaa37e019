// How a setting's value travels in its FPGA register: one encoder and one
// decoder for the library's setters and getters and for the simulated camera,
// which reads the same words as the real FPGA does.
#pragma once

#include <array>
#include <cstdint>

namespace qdx {

enum class Encoding {
    U16,  // unsigned 16-bit: the value's low 16 bits
    SM8,  // sign and magnitude: bit 8 the sign, bits 0..7 the magnitude, -255..255
    S9,   // 9-bit two's complement: -256..255
};

// The register word for value. Out of range, a value keeps its low 16 bits
// (U16), its magnitude modulo 256 (SM8) or its low 9 bits (S9).
constexpr uint16_t encodeRegister(Encoding encoding, int value)
{
    switch (encoding) {
    case Encoding::SM8: {
        // In unsigned arithmetic, so that INT_MIN has a magnitude too.
        const unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
        return static_cast<uint16_t>((value < 0 ? 0x100u : 0u) | (magnitude & 0xFFu));
    }
    case Encoding::S9:
        return static_cast<uint16_t>(static_cast<unsigned>(value) & 0x1FFu);
    case Encoding::U16:
        break;
    }
    return static_cast<uint16_t>(static_cast<unsigned>(value) & 0xFFFFu);
}

// The value of a register word; bits an encoding does not use are ignored,
// and a negative zero in SM8 reads 0.
constexpr int decodeRegister(Encoding encoding, uint16_t word)
{
    switch (encoding) {
    case Encoding::SM8:
        return (word & 0x100) ? -(word & 0xFF) : (word & 0xFF);
    case Encoding::S9:
        return (word & 0xFF) - ((word & 0x100) ? 256 : 0);
    case Encoding::U16:
        break;
    }
    return word;
}

// A register word as it is sent, high byte first, and back.
constexpr std::array<uint8_t, 2> toWire(uint16_t word)
{
    return {static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word & 0xFF)};
}

constexpr uint16_t fromWire(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
}

}  // namespace qdx
