#include "Commands.h"

#include <cstdio>

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
    {"&Option", nullptr, 0},
    {nullptr, "Debug", kCmdDebug},
    {nullptr, "Display Boundary Pixels", kCmdBoundaryPixels},
    {"EEPROM", nullptr, 0},
    {nullptr, "Load Parameter  [Data Read]", kCmdEepromLoad},
    {nullptr, "Save Parameter  [Data Write]", kCmdEepromSave},
    {nullptr, nullptr, 0},
    {nullptr, "Load Default Parameter  [Default]", kCmdLoadDefault},
    {nullptr, "Save Parameter as Default", kCmdSaveDefault},
    {nullptr, "Clear Default Parameter", kCmdClearDefault},
    {"Help", nullptr, 0},
    {nullptr, "&Version", kCmdVersion},
};

}  // namespace

std::span<const MenuEntry> menuEntries()
{
    return kMenuBar;
}

bool isExpertCommand(int command)
{
    return command == kCmdDebug || command == kCmdSaveDefault || command == kCmdClearDefault;
}

std::string versionText(const ProgramVersion& app, unsigned apiVersion)
{
    char text[512];
    std::snprintf(text, sizeof text, "App Version %d.%d.%d.%d\nAPI Version %d.%d.%d.%d\n", app.major & 0xFF,
                  app.minor & 0xFF, app.build & 0xFF, app.revision & 0xFF, static_cast<int>(apiVersion >> 24),
                  static_cast<int>((apiVersion >> 16) & 0xFF), static_cast<int>((apiVersion >> 8) & 0xFF),
                  static_cast<int>(apiVersion & 0xFF));
    return text;
}

}  // namespace qdx::viewer
