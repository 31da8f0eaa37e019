// The simulated cameras' EEPROM images in QDX_SIM_STATE_DIR as a program
// starting on them finds them. The bus is made once per process, so each
// start state runs the probe program (StateProbe.cpp) in a process of its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/securebits.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace qdx::sim {
namespace {

namespace fs = std::filesystem;

std::string fileText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

int occurrences(const std::string& text, const std::string& word)
{
    int n = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

// The probe's exit status when, run as root, it cannot give up root's powers.
constexpr int kRootStaysRoot = 125;

struct ProbeRun {
    int status = -1;  // as waitpid gives it
    std::string out;
    std::string err;
};

// Runs the probe's steps on the state folder; the probe's output goes to
// files in work.
ProbeRun runProbe(const fs::path& work, const std::string& stateDir, const std::vector<std::string>& steps)
{
    const std::string outPath = (work / "probe.out").string();
    const std::string errPath = (work / "probe.err").string();
    std::vector<std::string> args{QDX_STATE_PROBE};
    args.insert(args.end(), steps.begin(), steps.end());
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
        // Root would write into a read-only folder all the same: the probe
        // runs without root's powers.
        if (::geteuid() == 0 && ::prctl(PR_SET_SECUREBITS, SECBIT_NOROOT | SECBIT_NOROOT_LOCKED) != 0)
            ::_exit(kRootStaysRoot);
        ::alarm(60);  // a hung probe ends as a failure, not as a hung test
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ProbeRun run;
    if (pid < 0 || ::waitpid(pid, &run.status, 0) != pid)
        return run;
    run.out = fileText(outPath);
    run.err = fileText(errPath);
    return run;
}

bool exitedCleanly(const ProbeRun& run)
{
    return WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0;
}

struct StartState {
    const char* name;
    // Makes the start state in work and returns QDX_SIM_STATE_DIR.
    std::string (*prepare)(const fs::path& work);
    // Whether what the start state held is all still there.
    bool (*kept)(const fs::path& work);
    bool persists;  // whether a saved block is there for the next start
};

void PrintTo(const StartState& state, std::ostream* os)
{
    *os << state.name;
}

const std::string kNotAFolder = "a file, not a folder\n";

std::string imageBytes()
{
    std::string bytes(100, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 3 + 1);
    return bytes;
}

const StartState kStartStates[] = {
    {"File",
     [](const fs::path& work) {
         std::ofstream(work / "state") << kNotAFolder;
         return (work / "state").string();
     },
     [](const fs::path& work) { return fileText(work / "state") == kNotAFolder; }, false},
    {"MissingParent", [](const fs::path& work) { return (work / "missing" / "state").string(); },
     [](const fs::path& work) { return !fs::exists(work / "missing"); }, false},
    {"ReadOnlyFolder",
     [](const fs::path& work) {
         fs::create_directory(work / "state");
         fs::permissions(work / "state", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
         return (work / "state").string();
     },
     [](const fs::path& work) { return fs::is_empty(work / "state"); }, false},
    {"WrongSizedImage",
     [](const fs::path& work) {
         fs::create_directory(work / "state");
         std::ofstream(work / "state" / "camera0-fx2.eeprom", std::ios::binary) << imageBytes();
         return (work / "state").string();
     },
     [](const fs::path& work) {
         int copies = 0;
         for (const auto& entry : fs::directory_iterator(work / "state"))
             copies += fileText(entry.path()) == imageBytes() ? 1 : 0;
         return copies == 1;
     },
     true},
};

class StateDirTest : public ::testing::TestWithParam<StartState> {
protected:
    void SetUp() override
    {
        work_ = fs::temp_directory_path() / ("qdx-state-" + std::to_string(::getpid()) + "-" + GetParam().name);
        fs::remove_all(work_);
        fs::create_directories(work_);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(work_ / "state", fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(work_, ignored);
    }

    fs::path work_;
};

// Guards images that cannot persist going unsaid, and start states that cost
// data: the program says so once on stderr, leaves what it found as it was
// (a wrong-sized image kept whole) and runs all the same.
TEST_P(StateDirTest, SaysSoOnceAndKeepsWhatItFound)
{
    const std::string stateDir = GetParam().prepare(work_);
    const ProbeRun first = runProbe(work_, stateDir, {"save", "load"});
    if (WIFEXITED(first.status) && WEXITSTATUS(first.status) == kRootStaysRoot)
        GTEST_SKIP() << "root without CAP_SETPCAP would write into a read-only folder";
    ASSERT_TRUE(exitedCleanly(first)) << "status " << first.status << "\n" << first.err;
    EXPECT_EQ(first.out, "save 0\nload 0 222\n");
    EXPECT_EQ(occurrences(first.err, "QDX:"), 1) << first.err;
    EXPECT_NE(first.err.find(stateDir), std::string::npos) << first.err;
    EXPECT_TRUE(GetParam().kept(work_));

    const ProbeRun second = runProbe(work_, stateDir, {"load"});
    ASSERT_TRUE(exitedCleanly(second)) << "status " << second.status << "\n" << second.err;
    EXPECT_EQ(second.out, GetParam().persists ? "load 0 222\n" : "load 2 0\n");
}

INSTANTIATE_TEST_SUITE_P(StartStates, StateDirTest, ::testing::ValuesIn(kStartStates),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace qdx::sim
