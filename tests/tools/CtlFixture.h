// qdxctl runs in-process against a fresh simulated camera, each run starting
// and stopping the library as the program does.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
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

inline CtlRun runCtl(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    const int status = runQdxctl(args, out, err);
    return {status, out.str(), err.str()};
}

using qdx::test::TempDir;

using CtlTest = qdx::test::SimCameraTest;

}  // namespace qdx::ctl::test
