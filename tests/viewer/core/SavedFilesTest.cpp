// What every file the viewer saves rests on: the proposed name and the
// all-or-nothing write.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "TempDir.h"
#include "core/AtomicFile.h"
#include "core/TimestampName.h"

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

}  // namespace
}  // namespace qdx::viewer::test
