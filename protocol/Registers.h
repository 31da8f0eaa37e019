// The camera's FPGA register map, shared by the library's control calls and
// the simulated camera: the settings' registers are the public QDX_REG_*
// names; here are the correction tables' regions.
#pragma once

#include <cstdint>

#include "QDX_API.h"

namespace qdx::reg {

// Table regions, 16-bit entries.
inline constexpr int kDpTable0 = 0x100;  // 128 registers each: 64 entries of two coordinates
inline constexpr int kDpTable1 = 0x180;
inline constexpr int kDpTableRegisters = 128;
inline constexpr int kFpnTable = 0x1000;
inline constexpr int kFpnTableRegisters = 41208;  // up to 0xB0F7
inline constexpr int kGammaTable0 = 0xC000;
inline constexpr int kGammaTable1 = 0xD000;
inline constexpr int kGammaTable2 = 0xE000;
inline constexpr int kGammaTableRegisters = 4096;

// An unused defect-pixel entry holds this in both coordinates.
inline constexpr uint16_t kDpEmpty = 0x01FF;

}  // namespace qdx::reg
