// qdxctl runs in-process against a fresh simulated camera, each run starting
// and stopping the library as the program does.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "api/SimCameraFixture.h"
#include "qdxctl/Ctl.h"

namespace qdx::ctl::test {

struct CtlRun {
    int status = -1;
    std::string out;
    std::string err;
};

// input: what the command finds on standard input.
inline CtlRun runCtl(const std::vector<std::string>& args, const std::string& input = "")
{
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = runQdxctl(args, in, out, err);
    return {status, out.str(), err.str()};
}

inline std::string fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using qdx::test::TempDir;

using CtlTest = qdx::test::SimCameraTest;

}  // namespace qdx::ctl::test
