// The number of frames a CSV export takes, as the Calibration page's
// frame-count box and its arrows set it: 1..20. Qt-free.
#pragma once

#include <string_view>

namespace qdx::viewer {

inline constexpr int kCsvFramesMax = 20;

// The box's text as an unsigned decimal number (surrounding blanks allowed);
// anything else counts as 0.
int boxNumber(std::string_view text);
// The frame count the box's text stands for: its number within 1..20.
int csvCountFromText(std::string_view text);
// The count after an arrow; stays within 1..20 from any starting text (the
// box may hold a number beyond the range).
int csvCountStepped(std::string_view text, bool up);

}  // namespace qdx::viewer
