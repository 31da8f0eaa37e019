// The qdxctl program itself: its exit statuses and output streams, and the
// parameter store across two runs, each a process with a freshly powered
// simulated camera whose EEPROMs persist in QDX_SIM_STATE_DIR.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CtlFixture.h"
#include "SimulatedProcess.h"

namespace qdx::ctl::test {
namespace {

qdx::test::ProcessRun runProgram(const TempDir& work, const std::string& stateDir, std::vector<std::string> args)
{
    args.insert(args.begin(), QDXCTL_PROGRAM);
    auto run = qdx::test::runOnSimulatedCamera(std::move(args), stateDir, work.file(""));
    run.status = run.exitCode();
    return run;
}

// Guards the program's wiring and the store across processes: a save made in
// one run is found by the load of the next, an empty store is "not found"
// with status 1; results on stdout, messages on stderr, usage errors 2.
TEST(CtlProgramTest, ParametersSavedInOneRunLoadInTheNext)
{
    TempDir work;
    const std::string state = work.file("state");
    const std::string empty = work.file("empty");

    const auto save = runProgram(work, state, {"--set", "exposure=123", "params", "save"});
    EXPECT_EQ(save.status, kExitOk) << save.err;
    EXPECT_EQ(save.out, "Save Parameter : Complete.\n");

    const auto load = runProgram(work, state, {"params", "load"});
    EXPECT_EQ(load.status, kExitOk) << load.err;
    EXPECT_EQ(load.out, "Load Parameter : Complete.\n");

    const auto nothing = runProgram(work, empty, {"params", "load"});
    EXPECT_EQ(nothing.status, kExitFailure);
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.err, "No Saved Parameter Found in EEPROM.\n");

    // Each process starts from the power-on values.
    const auto get = runProgram(work, state, {"get", "exposure"});
    EXPECT_EQ(get.status, kExitOk) << get.err;
    EXPECT_EQ(get.out, "exposure 400 (28.8ms)\n");

    const auto usage = runProgram(work, state, {"grab", work.file("x.gif")});
    EXPECT_EQ(usage.status, kExitUsage);
    EXPECT_EQ(usage.out, "");
    EXPECT_NE(usage.err.find("unknown file type"), std::string::npos) << usage.err;
}

}  // namespace
}  // namespace qdx::ctl::test
