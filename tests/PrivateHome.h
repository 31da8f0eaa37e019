// HOME and the XDG folders of a test program pointed at a folder of its own,
// removed when the program ends. Without it Qt's file dialogs write
// QtProject.conf, GStreamer its registry and PulseAudio its cookie into the
// user's folders, and what a test finds there could change its verdict.
// Made first thing in main, before anything reads the environment; the
// programs a test starts inherit it.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "TempDir.h"

namespace qdx::test {

class PrivateHome {
public:
    PrivateHome()
    {
        if (home_.path().empty())
            fail("a temporary folder");
        point("HOME", "");
        point("XDG_CONFIG_HOME", ".config");
        point("XDG_DATA_HOME", ".local/share");
        point("XDG_CACHE_HOME", ".cache");
        point("XDG_STATE_HOME", ".local/state");
        // Qt refuses a runtime folder that others may enter.
        point("XDG_RUNTIME_DIR", "runtime");
    }

    PrivateHome(const PrivateHome&) = delete;
    PrivateHome& operator=(const PrivateHome&) = delete;

    const std::filesystem::path& path() const { return home_.path(); }

private:
    // A test that went on with the user's folders could damage them.
    [[noreturn]] static void fail(const std::string& what)
    {
        std::fprintf(stderr, "tests: cannot make %s for HOME and the XDG folders\n", what.c_str());
        std::abort();
    }

    // variable = HOME/folder, made with mode 0700 (parents too).
    void point(const char* variable, const std::string& folder)
    {
        std::filesystem::path path = home_.path();
        for (const auto& part : std::filesystem::path(folder)) {
            path /= part;
            if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
                fail(path.string());
        }
        if (::chmod(path.c_str(), 0700) != 0 || ::setenv(variable, path.c_str(), 1) != 0)
            fail(path.string());
    }

    TempDir home_;
};

}  // namespace qdx::test
