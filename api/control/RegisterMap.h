// Every camera setting as data: which register each index maps to, how its
// value is encoded on the wire, and whether it enters the register shadow.
// The typed QDX_Set_*/QDX_Get_* exports are thin calls over this table.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/Registers.h"

namespace qdx {

enum class Encoding {
    U16,  // unsigned 16-bit, high byte first
    SM8,  // sign byte (bit 0), then the magnitude: -255..255
    S9,   // 9-bit two's complement, bit 8 in the first byte: -256..255
};

struct Setting {
    std::array<int, 9> registers{};  // by index
    int count = 1;
    Encoding encoding = Encoding::U16;
    bool shadowed = true;

    // The register of an index, or -1 when the index is out of range.
    constexpr int registerOf(int index) const
    {
        return index >= 0 && index < count ? registers[static_cast<std::size_t>(index)] : -1;
    }
};

std::array<uint8_t, 2> encodeValue(Encoding encoding, int value);
int decodeValue(Encoding encoding, const uint8_t* bytes);

namespace setting {
inline constexpr Setting kControlMode{{reg::kControlMode, reg::kAlc}, 2};
inline constexpr Setting kBlackLevel{{reg::kBlackLevel}};
inline constexpr Setting kExposureTime{{reg::kExposureTime}};
inline constexpr Setting kRawGain{{reg::kRawGain}};
inline constexpr Setting kControlTarget{{reg::kControlTarget}};
inline constexpr Setting kHysteresis{{6, 7, 8, 9}, 4};
inline constexpr Setting kControlSpeed{{reg::kControlSpeed}};
inline constexpr Setting kControlMonitor{{reg::kControlArea1, reg::kControlArea2}, 2};
inline constexpr Setting kAwb{{reg::kOnePushAwb}, 1, Encoding::U16, false};
inline constexpr Setting kGainRB{{reg::kRedGain, reg::kBlueGain}, 2, Encoding::SM8};
inline constexpr Setting kColorMatrix{{19, 20, 21, 22, 23, 24, 25, 26, 27}, 9, Encoding::S9};
inline constexpr Setting kGainYC{{28, 29, 30}, 3, Encoding::SM8};
inline constexpr Setting kGamma{{reg::kGamma}};
inline constexpr Setting kImageFlip{{reg::kImageFlip}};
inline constexpr Setting kImageRotation{{reg::kImageRotation}};
inline constexpr Setting kDviImageSize{{reg::kDviImageSize}};
inline constexpr Setting kDpCorr{{reg::kDpCorrection}, 1, Encoding::U16, false};
inline constexpr Setting kFpnCorr{{reg::kFpnCorrection}, 1, Encoding::U16, false};
inline constexpr Setting kNoiseReduction{{reg::kNoiseReduction}};
inline constexpr Setting kEdgeEnhancement{{reg::kEdgeEnhancement}};
inline constexpr Setting kVfpnCorr{{reg::kVfpnCorrection}};
inline constexpr Setting kCisConnect{{reg::kCisConnected}, 1, Encoding::U16, false};
inline constexpr Setting kCisClockPhase{{reg::kCisClockPhase}};
inline constexpr Setting kFpgaVersion{{reg::kFpgaVersion}, 1, Encoding::U16, false};
}  // namespace setting

// One register write or read through the library, keeping the shadow.
// Results: 0, 1 (no camera or failed), -1 (bad index or null pointer).
int setSetting(const Setting& s, int index, int value);
int getSetting(const Setting& s, int index, int* value);

}  // namespace qdx
