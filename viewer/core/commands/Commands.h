// The main window's menu bar as data, its command identifiers and the one
// dispatch point every command goes through. Qt-free.
#pragma once

#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

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
    kCmdAnalysis = 40018,  // the Analysis window, below the Option menu's own items
    kCmdQuickStill = 40019,  // the next frame saved without a dialog, below the Capture menu's own items
    kCmdFullScreen = 40020,  // the picture alone on the whole screen, below Analysis
    kCmdKeyboardShortcuts = 40021,  // Help > Keyboard Shortcuts, below the Help menu's own item
};

// One menu bar entry: a menu title starts a menu; command 0 is a separator.
struct MenuEntry {
    const char* menu;  // non-null: the title of a new menu (text is then null)
    const char* text;
    int command;
};

// The menu bar in order, every item, text and separator.
std::span<const MenuEntry> menuEntries();

// The keyboard shortcut of a menu item ("Ctrl+O", Qt's portable text), or
// null. The EEPROM items have none: they overwrite the camera or its stored
// settings without a question.
const char* menuShortcut(int command);

// Every entry of the shortcut table, in its order: the keys (Qt's portable
// text), the command's menu text without its mnemonic "&", and whether the
// command exists only in expert mode.
struct ShortcutListEntry {
    const char* keys;
    std::string text;
    bool expertOnly;
};
std::vector<ShortcutListEntry> shortcutList();

// "Debug", "Save Parameter as Default" and "Clear Default Parameter" exist
// only in expert mode.
bool isExpertCommand(int command);

// Commands by identifier, whether they come from the menu or a page button.
// GUI thread.
class CommandDispatcher {
public:
    enum class Outcome { Done, NoCamera, Unknown };

    // needsCamera: the command is refused while no camera is connected.
    void add(int command, std::function<void()> action, bool needsCamera = false);
    bool has(int command) const { return commands_.count(command) != 0; }

    // Runs the command's action. NoCamera (nothing run) when it needs a camera
    // and the library reports none; Unknown for a command without an action.
    Outcome dispatch(int command) const;

private:
    struct Entry {
        std::function<void()> action;
        bool needsCamera;
    };
    std::map<int, Entry> commands_;
};

// The camera counts as connected when bit 0 of the library's status is set.
bool cameraConnected();

}  // namespace qdx::viewer
