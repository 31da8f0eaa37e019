// The simulated camera's EEPROM images: persistence and the write cycle.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

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

std::vector<char> fileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Guards a wrong-sized image being wiped for a blank one: what it held must
// still be in the folder, byte for byte, and a second one never replaces the
// first one kept.
TEST_F(EepromFileTest, WrongSizedFileIsKeptBeside)
{
    std::vector<std::vector<char>> held;
    for (const std::size_t length : {1500u, 700u}) {
        held.emplace_back(length);
        for (std::size_t i = 0; i < length; ++i)
            held.back()[i] = static_cast<char>(i * 7 + length);
        {
            std::ofstream out(path_, std::ios::binary);
            out.write(held.back().data(), static_cast<std::streamsize>(length));
        }
        Eeprom eeprom(1024, path_);
    }
    EXPECT_EQ(fileBytes(path_ + ".wrong-size"), held[0]);
    EXPECT_EQ(fileBytes(path_ + ".wrong-size.2"), held[1]);
    EXPECT_EQ(std::filesystem::file_size(path_), 1024u);
}

// Guards the image file shrinking under a running camera (SIGBUS while it was
// mapped): reads go on from the camera's memory and the next write puts the
// whole image back, so a restart loses nothing.
TEST_F(EepromFileTest, FileTruncatedWhileInUseLosesNothing)
{
    const std::array<uint8_t, 3> data{1, 2, 3};
    const uint8_t later = 4;
    {
        Eeprom eeprom(4096, path_);
        ASSERT_TRUE(eeprom.write(100, data.size(), data.data()));
        std::filesystem::resize_file(path_, 0);
        std::array<uint8_t, 4> read{};
        ASSERT_TRUE(eeprom.read(99, read.size(), read.data()));
        EXPECT_EQ(read, (std::array<uint8_t, 4>{0xFF, 1, 2, 3}));
        ASSERT_TRUE(eeprom.write(4095, 1, &later));
    }
    EXPECT_EQ(std::filesystem::file_size(path_), 4096u);
    Eeprom reopened(4096, path_);
    std::array<uint8_t, 3> first{};
    uint8_t last = 0;
    ASSERT_TRUE(reopened.read(100, first.size(), first.data()));
    ASSERT_TRUE(reopened.read(4095, 1, &last));
    EXPECT_EQ(first, data);
    EXPECT_EQ(last, later);
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
