// The simulated camera's EEPROM images: persistence and the write cycle.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Eeprom.h"

namespace qdx::sim {
namespace {

class EepromFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("qdx-eeprom-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "image.eeprom").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::filesystem::path dir_;
    std::string path_;
};

// Guards the camera keeping its memory across runs, as the real part does.
TEST_F(EepromFileTest, ContentsSurviveAReopen)
{
    const std::array<uint8_t, 3> data{1, 2, 3};
    {
        Eeprom eeprom(4096, path_);
        ASSERT_TRUE(eeprom.persistent());
        ASSERT_TRUE(eeprom.write(100, data.size(), data.data()));
    }
    Eeprom reopened(4096, path_);
    std::array<uint8_t, 4> read{};
    ASSERT_TRUE(reopened.read(99, read.size(), read.data()));
    EXPECT_EQ(read, (std::array<uint8_t, 4>{0xFF, 1, 2, 3}));
}

// Guards against trusting a file of another size (another part, a truncated
// file): it is replaced by a blank image instead of being read past its end.
TEST_F(EepromFileTest, WrongSizedFileStartsBlank)
{
    {
        std::ofstream junk(path_, std::ios::binary);
        junk << "not an eeprom image";
    }
    Eeprom eeprom(1024, path_);
    std::array<uint8_t, 1024> all{};
    ASSERT_TRUE(eeprom.read(0, all.size(), all.data()));
    for (uint8_t byte : all)
        ASSERT_EQ(byte, 0xFF);
    EXPECT_EQ(std::filesystem::file_size(path_), 1024u);
}

TEST_F(EepromFileTest, UnusableFolderFallsBackToMemory)
{
    Eeprom eeprom(64, (dir_ / "missing" / "image.eeprom").string());
    EXPECT_FALSE(eeprom.persistent());
    const uint8_t byte = 7;
    EXPECT_TRUE(eeprom.write(63, 1, &byte));
}

// Guards range checks on device-supplied addresses, including wrap-around.
TEST(Eeprom, RefusesRangesPastTheEnd)
{
    Eeprom eeprom(256, "");
    std::array<uint8_t, 8> buffer{};
    EXPECT_TRUE(eeprom.read(248, 8, buffer.data()));
    EXPECT_FALSE(eeprom.read(249, 8, buffer.data()));
    EXPECT_FALSE(eeprom.read(0xFFFFFFF8u, 16, buffer.data()));
    EXPECT_FALSE(eeprom.write(256, 1, buffer.data()));
}

// Guards the write cycle: a page write makes the part busy for its cycle,
// during which it refuses further writes.
TEST(Eeprom, BusyForOneWriteCycleAfterAPageWrite)
{
    Eeprom eeprom(256, "");
    eeprom.setWriteCycle(std::chrono::microseconds(500));
    const uint8_t byte = 1;
    const auto t0 = SimClock::now();
    ASSERT_TRUE(eeprom.programPage(0, 1, &byte, t0));
    EXPECT_TRUE(eeprom.busy(t0 + std::chrono::microseconds(499)));
    EXPECT_FALSE(eeprom.programPage(1, 1, &byte, t0 + std::chrono::microseconds(100)));
    EXPECT_FALSE(eeprom.busy(t0 + std::chrono::microseconds(500)));
    EXPECT_TRUE(eeprom.programPage(1, 1, &byte, t0 + std::chrono::microseconds(500)));
}

}  // namespace
}  // namespace qdx::sim
