// "QDX_Viewer.ini": read at every start and written back in place.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/files/StateFolder.h"
#include "core/files/ViewerConfig.h"

namespace qdx::viewer::test {
namespace {

namespace fs = std::filesystem;

class ConfigFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        dir_ = fs::temp_directory_path() / ("qdx-ini-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / kConfigFileName).string();
    }
    void TearDown() override
    {
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(dir_);
    }

    void write(const std::string& contents)
    {
        std::ofstream(path_, std::ios::binary) << contents;
        // Readable by the unprivileged start of WriteFailureKeepsTheValuesRead, whatever the umask.
        fs::permissions(path_, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                   fs::perms::others_read);
    }
    static std::string contents(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::string read() const { return contents(path_); }
    long entries() const { return std::distance(fs::directory_iterator(dir_), fs::directory_iterator()); }

    fs::path dir_;
    std::string path_;
};

struct StartCase {
    const char* name;
    const char* before;  // nullptr: no file yet
    int windowMode, expertMode;
    const char* after;
};

void PrintTo(const StartCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConfigStartTest : public ConfigFileTest, public ::testing::WithParamInterface<StartCase> {};

// Guards what a start reads and the exact bytes it writes back: values kept as
// written, bad values as 0, names matched without case and replaced in place,
// and every byte the viewer does not own (comments, other sections and keys,
// blank lines, CR LF, CR alone: once read as one line, or ending in CR CR LF)
// left where it was.
TEST_P(ConfigStartTest, ReadsAndWritesBack)
{
    const StartCase& c = GetParam();
    if (c.before)
        write(c.before);
    const ViewerConfig config = loadAndWriteBackConfig(path_);
    EXPECT_EQ(config.windowMode, c.windowMode);
    EXPECT_EQ(config.expertMode, c.expertMode);
    EXPECT_EQ(read(), c.after);
    EXPECT_EQ(entries(), 1) << "a temporary file was left behind";
}

const StartCase kStarts[] = {
    {"NonZeroKeptAsWritten", "[QDX_Viewer]\nWindowMode=2\nExpertMode=-1\n", 2, -1,
     "[QDX_Viewer]\nWindowMode=2\nExpertMode=-1\n"},
    {"BadValueWritesZero", "[QDX_Viewer]\nWindowMode=wide\nExpertMode= 7x \n", 0, 7,
     "[QDX_Viewer]\nWindowMode=0\nExpertMode= 7 \n"},
    {"NamesIgnoreCase", "[qdx_viewer]\nwindowmode = 1\nEXPERTMODE=\n", 1, 0,
     "[qdx_viewer]\nwindowmode = 1\nEXPERTMODE=0\n"},
    {"OthersKeptAndFirstWins",
     "; top\r\n[Other]\r\nWindowMode=9\r\n\r\n[QDX_Viewer]\r\n# note\r\nWindowMode=5\r\nExtra = x\r\n"
     "ExpertMode=junk\r\nWindowMode=6\r\n; tail\r\n\r\n[QDX_Viewer]\r\nExpertMode=8\r\n",
     5, 0,
     "; top\r\n[Other]\r\nWindowMode=9\r\n\r\n[QDX_Viewer]\r\n# note\r\nWindowMode=5\r\nExtra = x\r\n"
     "ExpertMode=0\r\nWindowMode=6\r\n; tail\r\n\r\n[QDX_Viewer]\r\nExpertMode=8\r\n"},
    {"LaterSectionIgnored", "[QDX_Viewer]\nWindowMode=1\n[qdx_viewer]\nExpertMode=4\n", 1, 0,
     "[QDX_Viewer]\nWindowMode=1\nExpertMode=0\n[qdx_viewer]\nExpertMode=4\n"},
    {"NoFileCreated", nullptr, 0, 0, "[QDX_Viewer]\nWindowMode=0\nExpertMode=0\n"},
    {"SectionAppended", "[Other]\r\nk=v", 0, 0,
     "[Other]\r\nk=v\r\n\r\n[QDX_Viewer]\r\nWindowMode=0\r\nExpertMode=0\r\n"},
    {"SectionAppendedAfterBlankLine", "k=v\n\n", 0, 0, "k=v\n\n[QDX_Viewer]\nWindowMode=0\nExpertMode=0\n"},
    {"KeyAfterLastKeyLine", "[QDX_Viewer]\nExpertMode=1\n; tail\n\n[Other]\n", 0, 1,
     "[QDX_Viewer]\nExpertMode=1\nWindowMode=0\n; tail\n\n[Other]\n"},
    {"KeysOutsideTheSectionIgnored", "WindowMode=1\n[Other]\nExpertMode=1\n[QDX_Viewer]\n;WindowMode=1", 0, 0,
     "WindowMode=1\n[Other]\nExpertMode=1\n[QDX_Viewer]\nWindowMode=0\nExpertMode=0\n;WindowMode=1"},
    {"ByteOrderMarkSkipped", "\xEF\xBB\xBF[QDX_Viewer]\nWindowMode=3", 3, 0,
     "\xEF\xBB\xBF[QDX_Viewer]\nWindowMode=3\nExpertMode=0\n"},
    {"CrOnlyLines", "[QDX_Viewer]\rWindowMode=1\r", 1, 0, "[QDX_Viewer]\rWindowMode=1\rExpertMode=0\r"},
    {"BareCrAtTheEnd", "[QDX_Viewer]\r\nExpertMode=2\r", 0, 2,
     "[QDX_Viewer]\r\nExpertMode=2\rWindowMode=0\r\n"},
};
INSTANTIATE_TEST_SUITE_P(Files, ConfigStartTest, ::testing::ValuesIn(kStarts),
                         [](const auto& p) { return std::string(p.param.name); });

struct GuardCase {
    const char* name;
    std::size_t size;
    bool withNul;
    bool skipped;
};

void PrintTo(const GuardCase& c, std::ostream* os)
{
    *os << c.name;
}

class ConfigGuardTest : public ConfigFileTest, public ::testing::WithParamInterface<GuardCase> {};

// Guards against a huge or binary file slowing the start and being rewritten
// (destroyed): it gives the defaults, stays byte for byte and earns one
// warning line; a file of exactly the cap is still read.
TEST_P(ConfigGuardTest, OversizeOrBinaryFileIsLeftAlone)
{
    const GuardCase& c = GetParam();
    std::string contents = "[QDX_Viewer]\nWindowMode=1\nExpertMode=1\n";
    if (c.withNul)
        contents += '\0';
    contents.resize(c.size, ';');
    write(contents);
    ::testing::internal::CaptureStderr();
    const ViewerConfig config = loadAndWriteBackConfig(path_);
    const std::string warning = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(config.windowMode, c.skipped ? 0 : 1);
    EXPECT_EQ(config.expertMode, c.skipped ? 0 : 1);
    EXPECT_EQ(read(), contents);
    if (c.skipped)
        EXPECT_TRUE(warning.find(path_) != std::string::npos && warning.find('\n') == warning.size() - 1) << warning;
    else
        EXPECT_EQ(warning, "");
}

const GuardCase kGuards[] = {
    {"AtTheCap", kMaxConfigBytes, false, false},
    {"OverTheCap", kMaxConfigBytes + 1, false, true},
    {"NulByte", 200, true, true},
};
INSTANTIATE_TEST_SUITE_P(Files, ConfigGuardTest, ::testing::ValuesIn(kGuards),
                         [](const auto& p) { return std::string(p.param.name); });

// Guards against rewriting a file that already says what would be written:
// the same file (its hard link still shared) with its old time.
TEST_F(ConfigFileTest, UnchangedFileIsNotRewritten)
{
    write("; mine\n[QDX_Viewer]\nWindowMode=1\nExpertMode=0\n");
    const fs::file_time_type old = fs::last_write_time(path_) - std::chrono::hours(24 * 365);
    fs::last_write_time(path_, old);
    fs::create_hard_link(path_, dir_ / "link");
    EXPECT_EQ(loadAndWriteBackConfig(path_).windowMode, 1);
    EXPECT_EQ(fs::hard_link_count(path_), 2u);
    EXPECT_EQ(fs::last_write_time(path_), old);
}

// Guards against a write-back that follows a link at the name and replaces
// the file it names: the link is read through, then replaced by the file, as
// every writer of the viewer replaces one.
TEST_F(ConfigFileTest, ALinkIsReadThroughAndReplaced)
{
    const std::string victim = (dir_ / "elsewhere.ini").string();
    std::ofstream(victim) << "[QDX_Viewer]\nWindowMode=4\n";
    fs::create_symlink(victim, path_);
    EXPECT_EQ(loadAndWriteBackConfig(path_).windowMode, 4);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path_)));
    EXPECT_EQ(read(), "[QDX_Viewer]\nWindowMode=4\nExpertMode=0\n");
    EXPECT_EQ(contents(victim), "[QDX_Viewer]\nWindowMode=4\n");
}

// Guards a failed write-back losing the values read, damaging the file or
// leaving a temporary file behind.
TEST_F(ConfigFileTest, WriteFailureKeepsTheValuesRead)
{
    write("[QDX_Viewer]\nWindowMode=3\n");  // ExpertMode missing, so a write is due
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                              fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    // Root writes into a read-only folder regardless, so the start runs as nobody.
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && ::setuid(65534) != 0)
                std::_Exit(2);
            const ViewerConfig config = loadAndWriteBackConfig(path_);
            std::fprintf(stderr, "read %d %d\n", config.windowMode, config.expertMode);
            std::_Exit(0);
        },
        ::testing::ExitedWithCode(0), "read 3 0");
    EXPECT_EQ(read(), "[QDX_Viewer]\nWindowMode=3\n");
    EXPECT_EQ(entries(), 1);
}

// Guards against a relative XDG_STATE_HOME being followed and the state folder made open to others.
TEST_F(ConfigFileTest, StateFolderFollowsXdgAndIsPrivate)
{
    const fs::path started = fs::current_path();
    const auto saved = [](const char* name) {
        const char* value = std::getenv(name);
        return value ? std::string(value) : std::string();
    };
    const std::string home = saved("HOME"), state = saved("XDG_STATE_HOME");
    ::setenv("HOME", (dir_ / "home").c_str(), 1);
    const std::pair<std::string, fs::path> cases[] = {
        {(dir_ / "state").string(), dir_ / "state" / "qdx"},
        {"relative/state", dir_ / "home" / ".local" / "state" / "qdx"},
    };
    for (const auto& [xdg, expected] : cases) {
        ::setenv("XDG_STATE_HOME", xdg.c_str(), 1);
        std::string why;
        EXPECT_TRUE(enterStateFolder(why)) << why;
        EXPECT_EQ(fs::current_path(), expected);
        EXPECT_EQ(fs::status(expected).permissions() & fs::perms::all, fs::perms::owner_all) << xdg;
    }
    fs::current_path(started);
    ::setenv("HOME", home.c_str(), 1);
    if (state.empty())
        ::unsetenv("XDG_STATE_HOME");
    else
        ::setenv("XDG_STATE_HOME", state.c_str(), 1);
}

}  // namespace
}  // namespace qdx::viewer::test
