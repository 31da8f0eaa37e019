// A program run in a process of its own on the simulated camera. The camera
// is made once per process and starts from power-on values, so whatever must
// outlive a process (its EEPROMs in QDX_SIM_STATE_DIR) is tested this way.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qdx::test {

struct ProcessRun {
    int status = -1;  // as waitpid gives it; -1 when the process could not be run
    std::string out, err;

    // The exit status, or -1 when the process did not exit by itself.
    int exitCode() const { return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }
};

inline std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs args[0] with the other args on the simulated camera whose EEPROMs
// live in stateDir; its output goes through files in workDir. inChild, if
// given, runs in the child just before the program (it may _exit). A program
// that hangs is ended after a minute.
inline ProcessRun runOnSimulatedCamera(std::vector<std::string> args, const std::string& stateDir,
                                       const std::string& workDir, void (*inChild)() = nullptr)
{
    const std::string outPath = workDir + "/process.out", errPath = workDir + "/process.err";
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0)
            ::_exit(126);
        ::setenv("QDX_CAMERA", "sim", 1);
        ::setenv("QDX_SIM_STATE_DIR", stateDir.c_str(), 1);
        if (inChild)
            inChild();
        ::alarm(60);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ProcessRun run;
    if (pid < 0 || ::waitpid(pid, &run.status, 0) != pid) {
        run.status = -1;
        return run;
    }
    run.out = fileText(outPath);
    run.err = fileText(errPath);
    return run;
}

}  // namespace qdx::test
