// What every file the viewer saves rests on: the proposed name and the
// all-or-nothing write.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "TempDir.h"
#include "core/files/AtomicFile.h"
#include "core/files/RegularFile.h"
#include "core/files/TimestampName.h"

namespace qdx::viewer::test {
namespace {

using namespace std::chrono;

std::string contentsOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(TimestampNameTest, LocalTimeToTheMillisecondRoundedDown)
{
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    // 2024-03-05 14:07:09 UTC
    const system_clock::time_point second{seconds(1709647629)};
    EXPECT_EQ(makeTimestampName(second + milliseconds(42)), "2024-03-05_14-07-09_042");
    EXPECT_EQ(makeTimestampName(second), "2024-03-05_14-07-09_000");
    EXPECT_EQ(makeTimestampName(second + microseconds(999'999)), "2024-03-05_14-07-09_999");
    // Before 1970 the second still counts down, not towards zero.
    EXPECT_EQ(makeTimestampName(system_clock::time_point{milliseconds(-1)}), "1969-12-31_23-59-59_999");
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    EXPECT_EQ(makeTimestampName(second + milliseconds(42)), "2024-03-05_23-07-09_042");
    ::unsetenv("TZ");
    ::tzset();
}

TEST(AtomicFileTest, ReplacesTheFileOnlyOnCommit)
{
    qdx::test::TempDir dir;
    const std::string path = dir.file("a.txt");
    std::ofstream(path) << "old";
    std::string why;
    {
        AtomicFile file;
        ASSERT_TRUE(file.open(path, why)) << why;
        ASSERT_TRUE(file.write("new", why));
        EXPECT_EQ(contentsOf(path), "old");  // abandoned: the old file stays
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.txt"});
    AtomicFile file;
    ASSERT_TRUE(file.open(path, why));
    ASSERT_TRUE(file.write("new", why));
    ASSERT_TRUE(file.commit(why)) << why;
    EXPECT_EQ(contentsOf(path), "new");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.txt"});
}

TEST(AtomicFileTest, AFullDiskFailsAtCommitAndLeavesNothing)
{
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    qdx::test::TempDir dir;
    // A name in a folder that cannot be written fails at open, with the path.
    std::string why;
    AtomicFile refused;
    EXPECT_FALSE(refused.open(dir.file("missing/a.txt"), why));
    EXPECT_NE(why.find("missing/a.txt"), std::string::npos) << why;
    // Write errors surface no later than commit: stdio buffers them.
    AtomicFile file;
    ASSERT_TRUE(file.open(dir.file("b.txt"), why));
    ASSERT_NE(std::freopen("/dev/full", "wb", file.stream()), nullptr);
    const std::string block(1 << 16, 'x');
    const bool written = file.write(block, why);
    EXPECT_FALSE(written && file.commit(why));
    EXPECT_FALSE(std::filesystem::exists(dir.file("b.txt")));
}

// A folder holding one of each thing a user may name instead of a file.
struct HostilePaths {
    qdx::test::TempDir dir;
    std::string fifo = dir.file("fifo");
    std::string device = dir.file("zero");  // a character device, as /dev/zero
    std::string folder = dir.file("folder");
    std::string link = dir.file("link");    // names victim
    std::string victim = dir.file("victim");
    HostilePaths()
    {
        ::mkfifo(fifo.c_str(), 0600);
        ::mkdir(folder.c_str(), 0700);
        std::ofstream(victim) << "victim";
        ::symlink(victim.c_str(), link.c_str());
        // Only root may make a device node; the FIFO stands in otherwise.
        if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 5)) != 0)
            device = fifo;
    }
    static bool isKind(const std::string& path, mode_t kind)
    {
        struct stat status {};
        return ::lstat(path.c_str(), &status) == 0 && (status.st_mode & S_IFMT) == kind;
    }
};

// Guards against a writer that renames over, truncates or writes into a
// device node or FIFO named as its target, or writes through a planted link.
TEST(RegularFileTest, WritersRefuseAllButRegularFilesAndReplaceLinks)
{
    HostilePaths paths;
    std::string why;
    for (const std::string& path : {paths.fifo, paths.device, paths.folder}) {
        AtomicFile atomic;
        EXPECT_FALSE(atomic.open(path, why)) << path;
        EXPECT_NE(why.find(path == paths.folder ? "is a folder" : kNotRegularFile), std::string::npos) << why;
    }
    EXPECT_TRUE(HostilePaths::isKind(paths.fifo, S_IFIFO));
    EXPECT_TRUE(HostilePaths::isKind(paths.device, paths.device == paths.fifo ? S_IFIFO : S_IFCHR));

    AtomicFile atomic;
    ASSERT_TRUE(atomic.open(paths.link, why)) << why;
    ASSERT_TRUE(atomic.write("new", why) && atomic.commit(why)) << why;
    EXPECT_TRUE(HostilePaths::isKind(paths.link, S_IFREG));
    EXPECT_EQ(contentsOf(paths.victim), "victim");
    EXPECT_EQ(contentsOf(paths.link), "new");
}

// Guards against a reader that blocks on a FIFO, reads a device until memory
// runs out, or reads a huge file whole when only its start is wanted.
TEST(RegularFileTest, ReadersTakeRegularFilesOnlyAndStopAtTheirBound)
{
    HostilePaths paths;
    std::string why;
    std::string text;
    for (const std::string& path : {paths.fifo, paths.device, paths.folder}) {
        EXPECT_FALSE(openRegularFile(path, why)) << path;
        EXPECT_FALSE(readRegularFile(path, 100, text, why)) << path;
        EXPECT_EQ(readRegularChunks(path, 100, [](std::string_view) { return true; }, why), ChunkRead::Failed);
    }
    EXPECT_NE(why.find("is a folder"), std::string::npos) << why;
    ASSERT_TRUE(readRegularFile(paths.link, 6, text, why)) << why;  // a read follows a link
    EXPECT_EQ(text, "victim");
    EXPECT_FALSE(readRegularFile(paths.link, 5, text, why));
    EXPECT_NE(why.find("larger than 5 bytes"), std::string::npos) << why;

    // A stop leaves the rest of a large file unread; nothing past the bound is handed on.
    const std::string chunks = paths.dir.file("chunks");
    std::ofstream(chunks, std::ios::binary) << std::string(40000, 'x');
    std::size_t handed = 0;
    const auto count = [&](std::string_view chunk) { handed += chunk.size(); return true; };
    EXPECT_EQ(readRegularChunks(chunks, 40000, count, why), ChunkRead::Ended);
    EXPECT_EQ(handed, 40000u);
    handed = 0;
    EXPECT_EQ(readRegularChunks(chunks, 39999, count, why), ChunkRead::TooLarge);
    EXPECT_EQ(handed, 39999u);
    handed = 0;
    EXPECT_EQ(readRegularChunks(chunks, 40000, [&](std::string_view c) { handed += c.size(); return false; }, why),
              ChunkRead::Stopped);
    EXPECT_LT(handed, 40000u);
}

}  // namespace
}  // namespace qdx::viewer::test
