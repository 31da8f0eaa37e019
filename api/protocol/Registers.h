// The camera's FPGA register map: register numbers and table regions, shared
// by the library's control calls and the simulated camera.
#pragma once

#include <cstdint>

namespace qdx::reg {

inline constexpr int kControlMode = 0;  // 0 manual, 1 automatic exposure, 3 automatic gain and exposure
inline constexpr int kAlc = 1;
inline constexpr int kBlackLevel = 2;
inline constexpr int kExposureTime = 3;  // 0.072 ms a step
inline constexpr int kRawGain = 4;       // 1/16 a step
inline constexpr int kControlTarget = 5;
inline constexpr int kHysteresisA1 = 6;  // 6..9: A1, A2, B1, B2
inline constexpr int kControlSpeed = 10;
inline constexpr int kControlArea1 = 11;
inline constexpr int kControlArea2 = 12;
inline constexpr int kOnePushAwb = 16;
inline constexpr int kRedGain = 17;  // SM8, 0.0352 dB a step
inline constexpr int kBlueGain = 18;
inline constexpr int kColorMatrix = 19;  // 19..27: Rr Rg Rb Gr Gg Gb Br Bg Bb, S9, 1.0 = 128
inline constexpr int kYGain = 28;        // 28..30: Y, Cb, Cr, SM8
inline constexpr int kGamma = 33;
inline constexpr int kImageFlip = 34;
inline constexpr int kImageRotation = 35;
inline constexpr int kDviImageSize = 36;
inline constexpr int kDpCorrection = 37;
inline constexpr int kFpnCorrection = 38;
inline constexpr int kNoiseReduction = 39;
inline constexpr int kEdgeEnhancement = 40;
inline constexpr int kVfpnCorrection = 41;
inline constexpr int kCisConnected = 48;
inline constexpr int kCisClockPhase = 50;
inline constexpr int kFpgaVersion = 255;

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
