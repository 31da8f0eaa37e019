// The program's own version and the text of its version box. Qt-free.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qdx::viewer {

// The program's own version: major, minor, build, revision.
struct ProgramVersion {
    uint16_t major = 0, minor = 0, build = 0, revision = 0;
};

// The version compiled into the program (1.1.0.0 for this release).
ProgramVersion programVersion();

// "qdxctl 1.1.0": a program's --version line, major.minor.build.
std::string versionLine(std::string_view program);

// The version box: "App Version a.b.c.d\nAPI Version e.f.g.h\n", the low 8
// bits of each program version number, the library's version by bytes from
// the most significant.
std::string versionText(const ProgramVersion& app, unsigned apiVersion);

}  // namespace qdx::viewer
