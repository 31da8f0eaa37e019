// The qdxctl program itself: its exit statuses and output streams, and the
// parameter store across two runs, each a process with a freshly powered
// simulated camera whose EEPROMs persist in QDX_SIM_STATE_DIR.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "CtlFixture.h"

namespace qdx::ctl::test {
namespace {

struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ProgramRun runProgram(const TempDir& work, const std::string& stateDir, std::vector<std::string> args)
{
    const std::string outPath = work.file("run.out");
    const std::string errPath = work.file("run.err");
    args.insert(args.begin(), QDXCTL_PROGRAM);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(126);
        ::setenv("QDX_CAMERA", "sim", 1);
        ::setenv("QDX_SIM_STATE_DIR", stateDir.c_str(), 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ProgramRun run;
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    run.out = fileText(outPath);
    run.err = fileText(errPath);
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

    const ProgramRun save = runProgram(work, state, {"--set", "exposure=123", "params", "save"});
    EXPECT_EQ(save.status, kExitOk) << save.err;
    EXPECT_EQ(save.out, "Save Parameter : Complete.\n");

    const ProgramRun load = runProgram(work, state, {"params", "load"});
    EXPECT_EQ(load.status, kExitOk) << load.err;
    EXPECT_EQ(load.out, "Load Parameter : Complete.\n");

    const ProgramRun nothing = runProgram(work, empty, {"params", "load"});
    EXPECT_EQ(nothing.status, kExitFailure);
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.err, "No Saved Parameter Found in EEPROM.\n");

    // Each process starts from the power-on values.
    const ProgramRun get = runProgram(work, state, {"get", "exposure"});
    EXPECT_EQ(get.status, kExitOk) << get.err;
    EXPECT_EQ(get.out, "exposure 400 (28.8ms)\n");

    const ProgramRun usage = runProgram(work, state, {"grab", work.file("x.gif")});
    EXPECT_EQ(usage.status, kExitUsage);
    EXPECT_EQ(usage.out, "");
    EXPECT_NE(usage.err.find("unknown file type"), std::string::npos) << usage.err;
}

}  // namespace
}  // namespace qdx::ctl::test
