// The simulated cameras' EEPROM images in QDX_SIM_STATE_DIR as a program
// starting on them finds them. The bus is made once per process, so each
// start state runs the probe program (StateProbe.cpp) in a process of its own.
#include <gtest/gtest.h>

#include <linux/securebits.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "SimulatedProcess.h"

namespace qdx::sim {
namespace {

namespace fs = std::filesystem;

int occurrences(const std::string& text, const std::string& word)
{
    int n = 0;
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

// The probe's exit status when, run as root, it cannot give up root's powers.
constexpr int kRootStaysRoot = 125;

// Root would write into a read-only folder all the same: the probe runs
// without root's powers.
void dropRootPowers()
{
    if (::geteuid() == 0 && ::prctl(PR_SET_SECUREBITS, SECBIT_NOROOT | SECBIT_NOROOT_LOCKED) != 0)
        ::_exit(kRootStaysRoot);
}

// Runs the probe's steps on the state folder.
qdx::test::ProcessRun runProbe(const fs::path& work, const std::string& stateDir, const std::vector<std::string>& steps)
{
    std::vector<std::string> args{QDX_STATE_PROBE};
    args.insert(args.end(), steps.begin(), steps.end());
    return qdx::test::runOnSimulatedCamera(args, stateDir, work.string(), dropRootPowers);
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
     [](const fs::path& work) { return qdx::test::fileText(work / "state") == kNotAFolder; }, false},
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
             copies += qdx::test::fileText(entry.path()) == imageBytes() ? 1 : 0;
         return copies == 1;
     },
     true},
    // A read-only FIFO is opened for reading only, which would wait for a writer.
    {"FifoImage",
     [](const fs::path& work) {
         fs::create_directory(work / "state");
         ::mkfifo((work / "state" / "camera0-fx2.eeprom").c_str(), 0444);
         return (work / "state").string();
     },
     [](const fs::path& work) { return fs::is_fifo(work / "state" / "camera0-fx2.eeprom"); }, false},
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
    const auto first = runProbe(work_, stateDir, {"save", "load"});
    if (first.exitCode() == kRootStaysRoot)
        GTEST_SKIP() << "root without CAP_SETPCAP would write into a read-only folder";
    ASSERT_EQ(first.exitCode(), 0) << "status " << first.status << "\n" << first.err;
    EXPECT_EQ(first.out, "save 0\nload 0 222\n");
    EXPECT_EQ(occurrences(first.err, "QDX:"), 1) << first.err;
    EXPECT_NE(first.err.find(stateDir), std::string::npos) << first.err;
    EXPECT_TRUE(GetParam().kept(work_));

    const auto second = runProbe(work_, stateDir, {"load"});
    ASSERT_EQ(second.exitCode(), 0) << "status " << second.status << "\n" << second.err;
    EXPECT_EQ(second.out, GetParam().persists ? "load 0 222\n" : "load 2 0\n");
}

INSTANTIATE_TEST_SUITE_P(StartStates, StateDirTest, ::testing::ValuesIn(kStartStates),
                         [](const auto& instance) { return std::string(instance.param.name); });

}  // namespace
}  // namespace qdx::sim
