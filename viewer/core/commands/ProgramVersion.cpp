#include "ProgramVersion.h"

#include <cstdio>

namespace qdx::viewer {

ProgramVersion programVersion()
{
    return {QDX_VIEWER_VERSION_MAJOR, QDX_VIEWER_VERSION_MINOR, QDX_VIEWER_VERSION_BUILD,
            QDX_VIEWER_VERSION_REVISION};
}

std::string versionLine(std::string_view program)
{
    const ProgramVersion version = programVersion();
    return std::string(program) + " " + std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
           std::to_string(version.build);
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
