// Every camera setting as data: which register each index maps to, how its
// value is encoded on the wire, and whether it enters the register shadow.
// The typed QDX_Set_*/QDX_Get_* exports are thin calls over this table.
#pragma once

#include <array>
#include <cstdint>

#include "QDX_API.h"
#include "protocol/RegisterEncoding.h"

namespace qdx {

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

namespace setting {
inline constexpr Setting kControlMode{{QDX_REG_CONTROL_MODE, QDX_REG_ALC}, 2};
inline constexpr Setting kBlackLevel{{QDX_REG_BLACK_LEVEL}};
inline constexpr Setting kExposureTime{{QDX_REG_EXPOSURE_TIME}};
inline constexpr Setting kRawGain{{QDX_REG_RAW_GAIN}};
inline constexpr Setting kControlTarget{{QDX_REG_CONTROL_TARGET}};
inline constexpr Setting kHysteresis{
    {QDX_REG_HYSTERESIS_A1, QDX_REG_HYSTERESIS_A2, QDX_REG_HYSTERESIS_B1, QDX_REG_HYSTERESIS_B2}, 4};
inline constexpr Setting kControlSpeed{{QDX_REG_CONTROL_SPEED}};
inline constexpr Setting kControlMonitor{{QDX_REG_CONTROL_AREA1, QDX_REG_CONTROL_AREA2}, 2};
inline constexpr Setting kAwb{{QDX_REG_AWB}, 1, Encoding::U16, false};
inline constexpr Setting kGainRB{{QDX_REG_RED_GAIN, QDX_REG_BLUE_GAIN}, 2, Encoding::SM8};
inline constexpr Setting kColorMatrix{{QDX_REG_COLOR_MATRIX_RR, QDX_REG_COLOR_MATRIX_RG, QDX_REG_COLOR_MATRIX_RB,
                                        QDX_REG_COLOR_MATRIX_GR, QDX_REG_COLOR_MATRIX_GG, QDX_REG_COLOR_MATRIX_GB,
                                        QDX_REG_COLOR_MATRIX_BR, QDX_REG_COLOR_MATRIX_BG, QDX_REG_COLOR_MATRIX_BB},
                                       9, Encoding::S9};
inline constexpr Setting kGainYC{{QDX_REG_Y_GAIN, QDX_REG_CB_GAIN, QDX_REG_CR_GAIN}, 3, Encoding::SM8};
inline constexpr Setting kGamma{{QDX_REG_GAMMA}};
inline constexpr Setting kImageFlip{{QDX_REG_IMAGE_FLIP}};
inline constexpr Setting kImageRotation{{QDX_REG_IMAGE_ROTATION}};
inline constexpr Setting kDviImageSize{{QDX_REG_DVI_IMAGE_SIZE}};
inline constexpr Setting kDpCorr{{QDX_REG_DP_CORR}, 1, Encoding::U16, false};
inline constexpr Setting kFpnCorr{{QDX_REG_FPN_CORR}, 1, Encoding::U16, false};
inline constexpr Setting kNoiseReduction{{QDX_REG_NOISE_REDUCTION}};
inline constexpr Setting kEdgeEnhancement{{QDX_REG_EDGE_ENHANCEMENT}};
inline constexpr Setting kVfpnCorr{{QDX_REG_VFPN_CORR}};
inline constexpr Setting kCisConnect{{QDX_REG_CIS_CONNECT}, 1, Encoding::U16, false};
inline constexpr Setting kCisClockPhase{{QDX_REG_CIS_CLOCK_PHASE}};
inline constexpr Setting kFpgaVersion{{QDX_REG_FPGA_VER}, 1, Encoding::U16, false};
}  // namespace setting

// One register write or read through the library, keeping the shadow.
// Results: 0, 1 (no camera or failed), -1 (bad index or null pointer).
int setSetting(const Setting& s, int index, int value);
int getSetting(const Setting& s, int index, int* value);

}  // namespace qdx
