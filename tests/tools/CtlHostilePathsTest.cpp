// Every qdxctl command that reads or writes a file, run as the shipped
// program against what may stand under the name instead of a file. Each run
// is a process of its own (a FIFO would hang it, a full disk is a limit of
// the process) whose requests to the camera come back through
// QDX_SIM_REQUEST_LOG.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
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

#include "CtlFixture.h"
#include "TempDir.h"

namespace qdx::ctl::test {
namespace {

namespace fs = std::filesystem;

enum Target { Device, Fifo, Folder, Link, ReadOnlyFolder, MissingFolder, FullDisk, kTargets };
// What a refusal says, by target; a link's is the reader's word for the file it names.
constexpr const char* kRefusal[kTargets] = {"not a regular file", "not a regular file", "is a folder", nullptr,
                                            "Permission denied", "No such file or directory", "File too large"};

struct FileCommand {
    const char* name;
    std::vector<std::string> args;  // the file's name goes last
    const char* file;               // as given to the command
    const char* written;            // the file the command makes of it, when another (csv)
    const char* linkRefusal;        // a reader's: what it says of the file a link names
};

void PrintTo(const FileCommand& c, std::ostream* os)
{
    *os << c.name;
}

// Each name in the folder, recursively, with its type and a regular file's bytes.
std::map<std::string, std::string> snapshot(const fs::path& folder)
{
    std::map<std::string, std::string> seen;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const fs::file_type type = entry.symlink_status().type();
        seen[entry.path().string()] =
            std::to_string(static_cast<int>(type)) + (type == fs::file_type::regular ? fileBytes(entry.path()) : "");
    }
    return seen;
}

// NoFileSpace: a file size limit of 0 bytes, as a full disk. Unprivileged:
// as nobody when run as root, for whom a read-only folder is no obstacle.
enum class Hold { None, NoFileSpace, Unprivileged };

struct HeldRun {
    int exitCode = -1;   // -1: it did not end by itself (the minute's alarm ended it)
    std::string output;  // stdout and stderr
    int cameraWrites = 0;  // host-to-device transfers in the camera's request log
};

HeldRun runHeld(std::vector<std::string> args, Hold hold, const std::string& logFifo)
{
    // The log's reader is there before the child opens it for writing.
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
        ::dup2(output[1], 1);
        ::dup2(output[1], 2);
        ::setenv("QDX_CAMERA", "sim", 1);
        ::setenv("QDX_SIM_CONTROL_US", "0", 1);
        ::setenv("QDX_SIM_REQUEST_LOG", logFifo.c_str(), 1);
        ::unsetenv("QDX_SIM_STATE_DIR");
        const rlimit none{0, 0};
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
        if ((hold == Hold::NoFileSpace && ::setrlimit(RLIMIT_FSIZE, &none) != 0) ||
            (hold == Hold::Unprivileged && ::geteuid() == 0 &&
             (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)))
            ::_exit(125);
        ::alarm(60);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(output[1]);
    HeldRun run;
    char buffer[65536];
    for (ssize_t got; (got = ::read(output[0], buffer, sizeof buffer)) > 0;)
        run.output.append(buffer, static_cast<std::size_t>(got));
    ::close(output[0]);
    if (int status = 0; pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    std::string lines;
    for (ssize_t got; (got = ::read(log, buffer, sizeof buffer)) > 0;)
        lines.append(buffer, static_cast<std::size_t>(got));
    ::close(log);
    std::istringstream requests(lines);
    for (std::string line; std::getline(requests, line);)
        run.cameraWrites += line.rfind("40 ", 0) == 0;
    return run;
}

class CtlHostilePathsTest : public ::testing::TestWithParam<FileCommand> {};

// Guards against a command that replaces a device node (settings save over
// /dev/null did, as root), blocks on a FIFO, reads a device without end,
// follows a link into the file it names, or changes the camera (csv, dp and
// fpn detect switched its data format) before finding that its file cannot
// be used: each refusal is a clear message and a non-zero exit with nothing
// sent to the camera and nothing in the folder changed; a link is replaced.
TEST_P(CtlHostilePathsTest, RefusesWhatIsNoFileAndTouchesNothing)
{
    const FileCommand& command = GetParam();
    const bool reads = command.linkRefusal != nullptr;
    qdx::test::TempDir dir;
    ::chmod(dir.path().c_str(), 0755);  // for nobody
    const std::string logFifo = dir.file("requests");
    ASSERT_EQ(::mkfifo(logFifo.c_str(), 0666), 0);
    ::chmod(logFifo.c_str(), 0666);
    const fs::path probe = dir.path() / "probe";
    fs::create_directory(probe);
    ::chmod(probe.c_str(), 0555);
    const bool readOnlyHolds =
        runHeld({"/usr/bin/touch", (probe / "x").string()}, Hold::Unprivileged, logFifo).exitCode != 0;

    for (int target = 0; target < kTargets; ++target) {
        const bool writersOnly = target == ReadOnlyFolder || target == FullDisk;
        if ((reads && writersOnly) || (target == ReadOnlyFolder && !readOnlyHolds))
            continue;
        SCOPED_TRACE("target " + std::to_string(target));
        const fs::path cell = dir.path() / std::to_string(target);
        const fs::path folder = cell / (target == ReadOnlyFolder ? "ro" : target == MissingFolder ? "missing" : "");
        const fs::path victim = cell / "victim";
        const std::string planted = (folder / (command.written ? command.written : command.file)).string();
        fs::create_directories(target == MissingFolder ? cell : folder);
        std::ofstream(victim) << "victim\n";
        // /dev/zero to read from, /dev/null to write to: only root makes them.
        if (target == Device && ::mknod(planted.c_str(), S_IFCHR | 0666, makedev(1, reads ? 5 : 3)) != 0)
            continue;
        if (target == Fifo && ::mkfifo(planted.c_str(), 0666) != 0)
            FAIL() << planted;
        if (target == Folder)
            fs::create_directory(planted);
        if (target == Link)
            fs::create_symlink(victim, planted);
        if (target == ReadOnlyFolder)
            ::chmod(folder.c_str(), 0555);
        if (target == FullDisk)
            std::ofstream(planted) << "before\n";
        const auto before = snapshot(cell);

        std::vector<std::string> args = command.args;
        args.insert(args.begin(), QDXCTL_PROGRAM);
        args.push_back((folder / command.file).string());
        const HeldRun run = runHeld(args,
                                    target == FullDisk         ? Hold::NoFileSpace
                                    : target == ReadOnlyFolder ? Hold::Unprivileged
                                                               : Hold::None,
                                    logFifo);
        EXPECT_EQ(fileBytes(victim), "victim\n");
        if (target == Link && !reads) {
            EXPECT_EQ(run.exitCode, 0) << run.output;
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(planted))) << "the link was not replaced";
            continue;
        }
        EXPECT_GT(run.exitCode, 0) << run.output;
        const char* refusal = target == Link ? command.linkRefusal : kRefusal[target];
        EXPECT_NE(run.output.find(refusal), std::string::npos) << run.output;
        EXPECT_EQ(run.cameraWrites, 0);
        EXPECT_EQ(snapshot(cell), before) << "something in the folder changed";
    }
}

const FileCommand kFileCommands[] = {
    {"settings_save", {"settings", "save"}, "a.qdx", nullptr, nullptr},
    {"still", {"still"}, "a.bmp", nullptr, nullptr},
    {"grab_png", {"grab"}, "a.png", nullptr, nullptr},
    {"grab_ppm", {"grab"}, "a.ppm", nullptr, nullptr},
    {"grab_pgm", {"grab"}, "a.pgm", nullptr, nullptr},
    {"grab_bmp", {"grab"}, "a.bmp", nullptr, nullptr},
    {"grab_raw", {"grab"}, "a.raw", nullptr, nullptr},
    {"grab_png16", {"grab", "--depth", "16"}, "a.png", nullptr, nullptr},
    {"grab_tif16", {"grab", "--depth", "16"}, "a.tif", nullptr, nullptr},
    {"table_get_gamma", {"table", "get", "gamma"}, "g.txt", nullptr, nullptr},
    {"table_get_dp", {"table", "get", "dp"}, "dp.bin", nullptr, nullptr},
    {"table_get_fpn", {"table", "get", "fpn"}, "fpn.bin", nullptr, nullptr},
    {"dp_detect", {"dp", "detect"}, "dp.bin", nullptr, nullptr},
    {"fpn_detect", {"fpn", "detect"}, "fpn.bin", nullptr, nullptr},
    {"csv", {"csv", "--frames", "2"}, "scan.csv", "scan_002.csv", nullptr},  // every name is checked
    {"settings_load", {"settings", "load"}, "a.qdx", nullptr, "not a QDX settings file"},
    {"table_set_gamma", {"table", "set", "gamma"}, "g.txt", nullptr, "no gamma file"},
    {"table_set_dp", {"table", "set", "dp"}, "dp.bin", nullptr, "a table file holds 256"},
    {"table_set_fpn", {"table", "set", "fpn"}, "fpn.bin", nullptr, "a table file holds 82416"},
    {"record", {"record", "--seconds", "0.3"}, "a.avi", nullptr, nullptr},
    {"record_times", {"record", "--seconds", "0.3"}, "a.avi", "a.avi.csv", nullptr},  // the AVI's sidecar
    {"record_mkv", {"record", "--seconds", "0.3"}, "a.mkv", nullptr, nullptr},
};
INSTANTIATE_TEST_SUITE_P(Commands, CtlHostilePathsTest, ::testing::ValuesIn(kFileCommands),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace qdx::ctl::test
