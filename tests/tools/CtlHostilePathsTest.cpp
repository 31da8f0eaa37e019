// Every qdxctl command that reads or writes a file, run as the shipped
// program against what may stand under the name instead of a file: a device
// node, a FIFO, a folder, a link to another file, a read-only or missing
// folder, a full disk. Each run is a process of its own (a FIFO would hang
// it, a full disk is a limit of the process) whose requests to the simulated
// camera come back through QDX_SIM_REQUEST_LOG.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TempDir.h"

namespace qdx::ctl::test {
namespace {

namespace fs = std::filesystem;

enum class Target { Device, Fifo, Folder, Link, ReadOnlyFolder, MissingFolder, FullDisk };
constexpr Target kTargets[] = {Target::Device,         Target::Fifo,          Target::Folder,  Target::Link,
                               Target::ReadOnlyFolder, Target::MissingFolder, Target::FullDisk};

struct FileCommand {
    const char* name;
    std::vector<std::string> args;  // the file's name goes last
    const char* file;               // as given to the command
    const char* written;            // the file the command makes of it, if another (csv)
    bool reads;
    const char* refusedLink;        // a reader's word for the file a link names
};

void PrintTo(const FileCommand& c, std::ostream* os)
{
    *os << c.name;
}

std::string contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What the folder holds, recursively: each name with its type, and a
// regular file's bytes.
std::map<std::string, std::string> snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> seen;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const fs::file_status status = entry.symlink_status();
        std::string& what = seen[fs::relative(entry.path(), folder).string()];
        what = std::to_string(static_cast<int>(status.type()));
        if (status.type() == fs::file_type::regular)
            what += ":" + contents(entry.path().string());
    }
    return seen;
}

struct HeldRun {
    int exitCode = -1;  // -1: it did not end by itself (the minute's alarm ended it)
    std::string output;  // stdout and stderr
    std::string log;     // the camera's requests
};

enum class Hold { None, NoFileSpace, Unprivileged };

// Runs args[0] on the simulated camera. NoFileSpace: a file size limit of 0
// bytes, as a full disk; Unprivileged: as nobody when run as root, for whom
// a read-only folder is no obstacle.
HeldRun runHeld(std::vector<std::string> args, Hold hold, const std::string& logFifo)
{
    // The log's reader exists before the child opens it for writing.
    const int log = ::open(logFifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ::fcntl(log, F_SETPIPE_SZ, 1 << 20);
    int output[2];
    if (log < 0 || ::pipe2(output, O_CLOEXEC) != 0)
        return {};
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::dup2(output[1], 1) < 0 || ::dup2(output[1], 2) < 0)
            ::_exit(126);
        ::setenv("QDX_CAMERA", "sim", 1);
        ::setenv("QDX_SIM_CONTROL_US", "0", 1);
        ::setenv("QDX_SIM_REQUEST_LOG", logFifo.c_str(), 1);
        ::unsetenv("QDX_SIM_STATE_DIR");
        if (hold == Hold::NoFileSpace) {
            const rlimit none{0, 0};
            ::signal(SIGXFSZ, SIG_IGN);  // a write fails with EFBIG instead
            if (::setrlimit(RLIMIT_FSIZE, &none) != 0)
                ::_exit(125);
        }
        if (hold == Hold::Unprivileged && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(125);
        ::alarm(60);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    HeldRun run;
    char buffer[65536];
    for (ssize_t got; (got = ::read(output[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR);)
        run.output.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
    ::close(output[0]);
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    for (ssize_t got; (got = ::read(log, buffer, sizeof buffer)) > 0;)
        run.log.append(buffer, static_cast<std::size_t>(got));
    ::close(log);
    return run;
}

// The host-to-device transfers in a request log: any of them changes the camera.
int writesIn(const std::string& log)
{
    std::istringstream lines(log);
    int writes = 0;
    for (std::string line; std::getline(lines, line);)
        writes += line.rfind("40 ", 0) == 0;
    return writes;
}

class CtlHostilePathsTest : public ::testing::TestWithParam<FileCommand> {};

// Guards against a command that replaces a device node (settings save over
// /dev/null did, as root), blocks on a FIFO, reads a device without end,
// follows a link into the file it names, or changes the camera (the data
// format, a table) before finding that its file cannot be used: every
// refusal is a clear message and a non-zero exit with nothing sent to the
// camera and nothing in the folder changed; a link is replaced by the file.
TEST_P(CtlHostilePathsTest, RefusesWhatIsNoFileAndTouchesNothing)
{
    const FileCommand& command = GetParam();
    qdx::test::TempDir dir;
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec | fs::perms::group_read |
                                    fs::perms::group_exec, fs::perm_options::add);  // for nobody
    const std::string logFifo = dir.file("requests");
    ASSERT_EQ(::mkfifo(logFifo.c_str(), 0666), 0);
    ::chmod(logFifo.c_str(), 0666);
    // Whether nobody (or we, when not root) may write into a read-only folder.
    const fs::path probe = dir.path() / "probe";
    fs::create_directory(probe);
    fs::permissions(probe, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                               fs::perms::others_exec);
    const bool readOnlyHolds =
        runHeld({"/usr/bin/touch", (probe / "x").string()}, Hold::Unprivileged, logFifo).exitCode != 0;

    for (const Target target : kTargets) {
        const bool writerOnly = target == Target::ReadOnlyFolder || target == Target::FullDisk;
        if ((command.reads && writerOnly) || (target == Target::ReadOnlyFolder && !readOnlyHolds))
            continue;
        SCOPED_TRACE("target " + std::to_string(static_cast<int>(target)));
        const fs::path cell = dir.path() / std::to_string(static_cast<int>(target));
        fs::create_directory(cell);
        const fs::path folder = target == Target::ReadOnlyFolder  ? cell / "ro"
                                : target == Target::MissingFolder ? cell / "missing"
                                                                  : cell;
        const std::string given = (folder / command.file).string();
        const std::string planted = (folder / (command.written ? command.written : command.file)).string();
        const std::string victim = (cell / "victim").string();
        std::ofstream(victim) << "victim\n";
        const char* expected = "";
        switch (target) {
        case Target::Device:
            // /dev/zero to read from, /dev/null to write to; only root makes them.
            if (::mknod(planted.c_str(), S_IFCHR | 0666, command.reads ? makedev(1, 5) : makedev(1, 3)) != 0)
                continue;
            expected = "not a regular file";
            break;
        case Target::Fifo:
            ASSERT_EQ(::mkfifo(planted.c_str(), 0666), 0);
            expected = "not a regular file";
            break;
        case Target::Folder:
            fs::create_directory(planted);
            expected = "is a folder";
            break;
        case Target::Link:
            fs::create_symlink(victim, planted);
            expected = command.refusedLink;
            break;
        case Target::ReadOnlyFolder:
            fs::create_directory(folder);
            fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                        fs::perms::others_exec);
            expected = "Permission denied";
            break;
        case Target::MissingFolder:
            expected = "No such file or directory";
            break;
        case Target::FullDisk:
            std::ofstream(planted) << "before\n";
            expected = "File too large";
            break;
        }
        const auto before = snapshot(cell);
        std::vector<std::string> args = command.args;
        args.insert(args.begin(), QDXCTL_PROGRAM);
        args.push_back(given);
        const Hold hold = target == Target::FullDisk        ? Hold::NoFileSpace
                          : target == Target::ReadOnlyFolder ? Hold::Unprivileged
                                                             : Hold::None;
        const HeldRun run = runHeld(args, hold, logFifo);
        EXPECT_EQ(contents(victim), "victim\n");
        if (target == Target::Link && !command.reads) {
            // The link is replaced by the new file, never followed.
            EXPECT_EQ(run.exitCode, 0) << run.output;
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(planted))) << planted;
            continue;
        }
        EXPECT_GT(run.exitCode, 0) << run.output;
        EXPECT_NE(run.output.find(expected), std::string::npos) << run.output;
        EXPECT_EQ(writesIn(run.log), 0) << run.log;
        EXPECT_EQ(snapshot(cell), before) << "something in the folder changed";
    }
}

const FileCommand kFileCommands[] = {
    {"settings_save", {"settings", "save"}, "a.qdx", nullptr, false, nullptr},
    {"still", {"still"}, "a.bmp", nullptr, false, nullptr},
    {"grab_png", {"grab"}, "a.png", nullptr, false, nullptr},
    {"grab_ppm", {"grab"}, "a.ppm", nullptr, false, nullptr},
    {"grab_pgm", {"grab"}, "a.pgm", nullptr, false, nullptr},
    {"grab_bmp", {"grab"}, "a.bmp", nullptr, false, nullptr},
    {"grab_raw", {"grab"}, "a.raw", nullptr, false, nullptr},
    {"table_get_gamma", {"table", "get", "gamma"}, "g.txt", nullptr, false, nullptr},
    {"table_get_dp", {"table", "get", "dp"}, "dp.bin", nullptr, false, nullptr},
    {"table_get_fpn", {"table", "get", "fpn"}, "fpn.bin", nullptr, false, nullptr},
    {"dp_detect", {"dp", "detect"}, "dp.bin", nullptr, false, nullptr},
    {"fpn_detect", {"fpn", "detect"}, "fpn.bin", nullptr, false, nullptr},
    {"csv", {"csv", "--frames", "2"}, "scan.csv", "scan_002.csv", false, nullptr},
    {"settings_load", {"settings", "load"}, "a.qdx", nullptr, true, "not a QDX settings file"},
    {"table_set_gamma", {"table", "set", "gamma"}, "g.txt", nullptr, true, "no gamma file"},
    {"table_set_dp", {"table", "set", "dp"}, "dp.bin", nullptr, true, "a table file holds 256"},
    {"table_set_fpn", {"table", "set", "fpn"}, "fpn.bin", nullptr, true, "a table file holds 82416"},
    // record (the AVI writer) is left to its own tests.
};
INSTANTIATE_TEST_SUITE_P(Commands, CtlHostilePathsTest, ::testing::ValuesIn(kFileCommands),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace qdx::ctl::test
