// What the Calibration tools compute from one camera frame: the defect-pixel
// list and the fixed-pattern-noise table, and the texts the page shows for
// both tables. Frames are the camera's 652,864 bytes, already checked whole.
// Qt-free and thread-safe (no shared state).
#pragma once

#include <cstdint>
#include <string>

#include "core/model/DpTable.h"
#include "core/model/FpnTable.h"

namespace qdx::viewer {

enum class DefectKind { Dark = 0, Bright = 1 };

// "Dark" or "Bright", the Defect Pixel Type's entry texts.
const char* defectKindName(DefectKind kind);

// Scans the picture inside its 2-pixel border row by row for pixels whose
// 8-bit luma is at or below (Dark) or at or above (Bright) threshold. The
// table is emptied first, then holds the first 64 found in scan order.
// Returns how many the table holds.
int detectDefectPixels(const uint8_t* frame, int threshold, DefectKind kind, DpTable& table);

// The correction stored for a deviation from the mean: clamped to -256..255,
// then 32 counts a step, rounded down (-8..7).
int quantiseFpn(int deviation);

// Fills the whole table from the frame's 12-bit luma, border included: the
// mean of all pixels, and each pixel's deviation from it, quantised.
void detectFixedPattern(const uint8_t* frame, FpnTable& table);

// "<kind> (<n>)", twenty hyphens, then "x,y" for each of the table's leading
// valid entries; every line ends with CR LF.
std::string dpText(const DpTable& table, DefectKind kind);

// "Avarage <mean>", twenty hyphens, then one line per table row of its 408
// corrections, each right-aligned in three characters, comma-separated;
// every line ends with CR LF.
std::string fpnText(const FpnTable& table);

}  // namespace qdx::viewer
