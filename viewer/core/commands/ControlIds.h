// The identifiers of the main window's own controls (the pages number theirs
// in their row tables). Qt-free.
#pragma once

namespace qdx::viewer {

inline constexpr int kTabControlId = 1001;
inline constexpr int kPictureAreaId = 1002;
inline constexpr int kRatesTextId = 1003;
// Both pages' "Quick Still" button, beside "Still Capture" (3005).
inline constexpr int kQuickStillButtonId = 3050;

}  // namespace qdx::viewer
