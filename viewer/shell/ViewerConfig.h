// The rules of the viewer configuration file "QDX_Viewer.ini": section
// "QDX_Viewer", keys WindowMode and ExpertMode, integers, default 0, written
// back at every start.
#pragma once

#include <string>
#include <string_view>

namespace qdx::viewer {

inline constexpr const char* kConfigFileName = "QDX_Viewer.ini";
inline constexpr const char* kConfigSection = "QDX_Viewer";
inline constexpr const char* kWindowModeKey = "WindowMode";
inline constexpr const char* kExpertModeKey = "ExpertMode";

// A profile integer: optional blanks, an optional sign and the decimal digits
// that follow; anything else ends the number, and text without a leading
// number reads as 0. Values beyond the int range are clamped.
int parseProfileInt(std::string_view text);

struct ViewerConfig {
    int windowMode = 0;  // 0 compact window, any other value wide
    int expertMode = 0;  // 0 operator menus, any other value also the expert items

    bool wide() const { return windowMode != 0; }
    bool expert() const { return expertMode != 0; }
};

}  // namespace qdx::viewer
