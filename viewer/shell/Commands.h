// The main window's menu bar as data, its command identifiers, and the
// identifiers of the window's own controls.
#pragma once

#include <span>
#include <string>

#include "ViewerState.h"

namespace qdx::viewer {

enum Command : int {
    kCmdVersion = 40001,
    kCmdExit = 40002,
    kCmdDebug = 40003,
    kCmdBoundaryPixels = 40004,
    kCmdOpenAndPlay = 40005,
    kCmdPausePlay = 40006,
    kCmdPlayStop = 40007,
    kCmdVideoCapture = 40008,
    kCmdStillCapture = 40009,
    kCmdSaveCsv = 40010,
    kCmdLoadParameterFile = 40011,
    kCmdSaveParameterFile = 40012,
    kCmdEepromLoad = 40013,
    kCmdEepromSave = 40014,
    kCmdLoadDefault = 40015,
    kCmdSaveDefault = 40016,
    kCmdClearDefault = 40017,
};

inline constexpr int kTabControlId = 1001;
inline constexpr int kPictureAreaId = 1002;
inline constexpr int kRatesTextId = 1003;

// One menu bar entry: a menu title starts a menu; command 0 is a separator.
struct MenuEntry {
    const char* menu;  // non-null: the title of a new menu (text is then null)
    const char* text;
    int command;
};

// The menu bar in order, every item, text and separator.
std::span<const MenuEntry> menuEntries();

// "Debug", "Save Parameter as Default" and "Clear Default Parameter" exist
// only in expert mode.
bool isExpertCommand(int command);

// The version box: "App Version a.b.c.d\nAPI Version e.f.g.h\n", the low 8
// bits of each program version number, the library's version by bytes from
// the most significant.
std::string versionText(const ProgramVersion& app, unsigned apiVersion);

}  // namespace qdx::viewer
