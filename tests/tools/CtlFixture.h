// qdxctl runs in-process against a fresh simulated camera, each run starting
// and stopping the library as the program does.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "api/SimCameraFixture.h"
#include "qdxctl/Ctl.h"

namespace qdx::ctl::test {

struct CtlRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline CtlRun runCtl(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = runQdxctl(args, out, err);
    return {status, out.str(), err.str()};
}

// A folder of the test's own, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "qdxctl-test-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempDir()
    {
        std::error_code error;
        if (!path_.empty())
            std::filesystem::remove_all(path_, error);
    }
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    // The names in the folder, hidden ones included.
    std::vector<std::string> names() const
    {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            found.push_back(entry.path().filename().string());
        return found;
    }

private:
    std::filesystem::path path_;
};

using CtlTest = qdx::test::SimCameraTest;

}  // namespace qdx::ctl::test
