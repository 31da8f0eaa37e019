#include "Commands.h"


#include "QDX_API.h"

namespace qdx::viewer {
namespace {

constexpr MenuEntry kMenuBar[] = {
    {"&File", nullptr, 0},
    {nullptr, "Open File and Play [AVI, BMP]", kCmdOpenAndPlay},
    {nullptr, "Pause / Play", kCmdPausePlay},
    {nullptr, "Play Stop", kCmdPlayStop},
    {nullptr, nullptr, 0},
    {nullptr, "Load Parameter", kCmdLoadParameterFile},
    {nullptr, "Save Parameter", kCmdSaveParameterFile},
    {nullptr, nullptr, 0},
    {nullptr, "E&xit", kCmdExit},
    {"Capture", nullptr, 0},
    {nullptr, "Start Video Capture", kCmdVideoCapture},
    {nullptr, "Still Capture", kCmdStillCapture},
    {nullptr, nullptr, 0},
    {nullptr, "Save as CSV", kCmdSaveCsv},
    {nullptr, "Quick Still", kCmdQuickStill},
    {"&Option", nullptr, 0},
    {nullptr, "Debug", kCmdDebug},
    {nullptr, "Display Boundary Pixels", kCmdBoundaryPixels},
    {nullptr, "Analysis", kCmdAnalysis},
    {nullptr, "Full Screen", kCmdFullScreen},
    {"EEPROM", nullptr, 0},
    {nullptr, "Load Parameter  [Data Read]", kCmdEepromLoad},
    {nullptr, "Save Parameter  [Data Write]", kCmdEepromSave},
    {nullptr, nullptr, 0},
    {nullptr, "Load Default Parameter  [Default]", kCmdLoadDefault},
    {nullptr, "Save Parameter as Default", kCmdSaveDefault},
    {nullptr, "Clear Default Parameter", kCmdClearDefault},
    {"Help", nullptr, 0},
    {nullptr, "&Version", kCmdVersion},
    {nullptr, "Keyboard Shortcuts", kCmdKeyboardShortcuts},
};

struct Shortcut {
    int command;
    const char* keys;
};

constexpr Shortcut kShortcuts[] = {
    {kCmdOpenAndPlay, "Ctrl+O"},
    {kCmdPausePlay, "Ctrl+P"},
    {kCmdPlayStop, "Ctrl+Shift+P"},
    {kCmdLoadParameterFile, "Ctrl+L"},
    {kCmdSaveParameterFile, "Ctrl+S"},
    {kCmdExit, "Ctrl+Q"},
    {kCmdVideoCapture, "F9"},
    {kCmdStillCapture, "F5"},
    {kCmdSaveCsv, "Ctrl+E"},
    {kCmdDebug, "Ctrl+D"},
    {kCmdBoundaryPixels, "Ctrl+B"},
    {kCmdVersion, "F1"},
    {kCmdAnalysis, "Ctrl+Shift+A"},
    {kCmdQuickStill, "Shift+F5"},
    {kCmdFullScreen, "F11"},
};

}  // namespace

const char* menuShortcut(int command)
{
    for (const Shortcut& shortcut : kShortcuts)
        if (shortcut.command == command)
            return shortcut.keys;
    return nullptr;
}

std::vector<ShortcutListEntry> shortcutList()
{
    std::vector<ShortcutListEntry> list;
    for (const Shortcut& shortcut : kShortcuts) {
        std::string text;
        for (const MenuEntry& entry : kMenuBar)
            if (entry.command == shortcut.command)
                text = entry.text;
        std::erase(text, '&');
        list.push_back({shortcut.keys, std::move(text), isExpertCommand(shortcut.command)});
    }
    return list;
}

std::span<const MenuEntry> menuEntries()
{
    return kMenuBar;
}

bool isExpertCommand(int command)
{
    return command == kCmdDebug || command == kCmdSaveDefault || command == kCmdClearDefault;
}

bool cameraConnected()
{
    int status = 0;
    return QDX_GetStatus(&status) == QDX_OK && (status & QDX_STATUS_CONNECTED) != 0;
}

void CommandDispatcher::add(int command, std::function<void()> action, bool needsCamera)
{
    commands_[command] = {std::move(action), needsCamera};
}

CommandDispatcher::Outcome CommandDispatcher::dispatch(int command) const
{
    const auto found = commands_.find(command);
    if (found == commands_.end())
        return Outcome::Unknown;
    if (found->second.needsCamera && !cameraConnected())
        return Outcome::NoCamera;
    found->second.action();
    return Outcome::Done;
}

}  // namespace qdx::viewer
