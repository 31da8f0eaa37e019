// A program run in a process of its own on the simulated camera. The camera
// is made once per process and starts from power-on values, so whatever must
// outlive a process (its EEPROMs in QDX_SIM_STATE_DIR) is tested this way.
#pragma once

#include <fcntl.h>
#include <signal.h>
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

// args[0] with the other args, started in workDir on the simulated camera
// whose EEPROMs live in stateDir (none: in memory), its output going through
// files in workDir; environment adds "NAME=VALUE" entries. inChild, if given, runs
// in the child just before the program (it may _exit). A program that hangs
// is ended after a minute.
class SimulatedProcess {
public:
    SimulatedProcess(std::vector<std::string> args, const std::string& stateDir, const std::string& workDir,
                     std::vector<std::string> environment = {}, void (*inChild)() = nullptr)
        : outPath_(workDir + "/process.out"), errPath_(workDir + "/process.err")
    {
        std::vector<char*> argv;
        for (auto& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        pid_ = ::fork();
        if (pid_ != 0)
            return;
        const int out = ::open(outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || ::dup2(out, 1) < 0 || ::dup2(err, 2) < 0 || ::chdir(workDir.c_str()) != 0)
            ::_exit(126);
        ::setenv("QDX_CAMERA", "sim", 1);
        if (!stateDir.empty())
            ::setenv("QDX_SIM_STATE_DIR", stateDir.c_str(), 1);
        for (std::string& entry : environment)
            ::putenv(entry.data());
        if (inChild)
            inChild();
        ::alarm(60);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    // A test that gave up early leaves no process behind.
    ~SimulatedProcess()
    {
        signal(SIGKILL);
        finish();
    }

    pid_t pid() const { return pid_; }
    // Sends the process a signal while it runs.
    void signal(int number) const
    {
        if (pid_ > 0 && !finished_)
            ::kill(pid_, number);
    }
    // Waits for the process to end: its status and output.
    const ProcessRun& finish()
    {
        if (finished_)
            return run_;
        finished_ = true;
        if (pid_ < 0 || ::waitpid(pid_, &run_.status, 0) != pid_)
            run_.status = -1;
        run_.out = fileText(outPath_);
        run_.err = fileText(errPath_);
        return run_;
    }

private:
    std::string outPath_, errPath_;
    pid_t pid_ = -1;
    bool finished_ = false;
    ProcessRun run_;
};

// SimulatedProcess run to its end.
inline ProcessRun runOnSimulatedCamera(std::vector<std::string> args, const std::string& stateDir,
                                       const std::string& workDir, void (*inChild)() = nullptr)
{
    return SimulatedProcess(std::move(args), stateDir, workDir, {}, inChild).finish();
}

}  // namespace qdx::test
