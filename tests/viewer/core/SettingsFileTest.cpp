// The ".qdx" settings file against the simulated camera: what is written,
// what a load sends, and that neither a bad file nor a failing camera does
// any damage.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "TempDir.h"
#include "api/SimCameraFixture.h"
#include "core/files/SettingsFile.h"

namespace qdx::viewer::test {
namespace {

// Every row a value of its own, the signed ones at their extremes.
constexpr SettingsFileValues kChosen = {0,  0,   17, 123, 40, 900, 11,   12, 13, 14, 5, 3, 1, 0, -3, 200, -256, 255, -1,
                                        7, 128, -100, 0, 3,  64,  -255, 0, 17, 2, 1, 0, 1, 1, 0, 9, 2,    3,   1};

std::string lineOf(std::size_t line)
{
    return line == 1 ? std::string(kSettingsFileHeader) : std::to_string(kChosen[line - 2]);
}

// The first `lines` lines of the file, line `replaced` (1-based) as `text`.
std::string fileOf(std::size_t lines, std::size_t replaced = 0, const std::string& text = {})
{
    std::string file;
    for (std::size_t line = 1; line <= lines; ++line)
        file += (line == replaced ? text : lineOf(line)) + "\n";
    return file;
}

class SettingsFileTest : public qdx::test::SimCameraTest {
protected:
    void SetUp() override
    {
        SimCameraTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(qdx::test::startConnected());
    }
    void sendAll(const SettingsFileValues& values)
    {
        for (std::size_t i = 0; i < values.size(); ++i)
            ASSERT_EQ(setting(settingsFileRows()[i].setting).send(values[i]), QDX_OK) << "row " << i;
    }
    std::string contents() const
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void write(const std::string& text) const { std::ofstream(path, std::ios::binary) << text; }

    qdx::test::TempDir dir;
    const std::string path = dir.file("camera.qdx");
};

// Guards the format and the round trip: the header and the library's values
// one a line, LF only, negative SM8/S9 values included; loading the file
// after every setting changed brings each one back.
TEST_F(SettingsFileTest, RoundTripKeepsEveryValueByteExact)
{
    ASSERT_NO_FATAL_FAILURE(sendAll(kChosen));
    ASSERT_EQ(saveSettingsFile(path).result, 0);
    EXPECT_EQ(contents(), fileOf(kSettingsFileLines));

    SettingsFileValues other{};
    for (std::size_t i = 0; i < other.size(); ++i)
        other[i] = kChosen[i] == 1 ? 2 : 1;
    ASSERT_NO_FATAL_FAILURE(sendAll(other));
    const int before = qdx::test::registerWrites();
    const SettingsFileOutcome loaded = loadSettingsFile(path);
    EXPECT_EQ(loaded.result, 0) << loaded.why;
    EXPECT_EQ(qdx::test::registerWrites() - before, kSettingsFileValues);
    for (std::size_t i = 0; i < kChosen.size(); ++i) {
        int value = -1000;
        setting(settingsFileRows()[i].setting).read(&value);
        EXPECT_EQ(value, kChosen[i]) << "line " << i + 2;
    }
}

// Guards the whole-file check: a file that is not a settings file, is cut
// short or holds a value the library cannot encode or the settings table does
// not offer (exposure 65535 and mode 7 used to load) is refused with its line
// and sends nothing (a truncated file used to write its last value into every
// remaining register). A file edited elsewhere (CR LF, blanks, a '+' sign,
// blank lines at the end) still loads.
TEST_F(SettingsFileTest, ARefusedFileSendsNothing)
{
    const std::size_t all = kSettingsFileLines;
    const struct {
        const char* name;
        std::string text;
        int line;
    } cases[] = {
        {"empty", "", 1},
        {"another header", fileOf(all, 1, "#QDX_Setting_Data_"), 1},
        {"cut after line 20", fileOf(20), 21},
        {"not a number", fileOf(all, 12, "abc"), 12},
        {"blank value line", fileOf(all, 9, " "), 9},
        {"two numbers", fileOf(all, 7, "1 2"), 7},
        {"beyond int", fileOf(all, 5, "99999999999999999999"), 5},
        {"U16 negative", fileOf(all, 4, "-1"), 4},
        {"SM8 too large", fileOf(all, 16, "256"), 16},
        {"S9 too small", fileOf(all, 18, "-257"), 18},
        {"exposure beyond its slider", fileOf(all, 5, "65535"), 5},
        {"mode 7", fileOf(all, 2, "7"), 2},
        {"mode 2 is no entry", fileOf(all, 2, "2"), 2},
        {"fine adjust 16", fileOf(all, 36, "16"), 36},
        {"two signs", fileOf(all, 4, "+-1"), 4},
        {"a 40th value", fileOf(all) + "0\n", 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        write(c.text);
        const int before = qdx::test::registerWrites();
        const SettingsFileOutcome outcome = loadSettingsFile(path);
        EXPECT_EQ(outcome.result, -1);
        EXPECT_FALSE(outcome.cameraChanged);
        EXPECT_EQ(outcome.refusedLine, c.line);
        EXPECT_NE(outcome.why.find(path + ": line " + std::to_string(c.line) + ": "), std::string::npos) << outcome.why;
        EXPECT_EQ(qdx::test::registerWrites(), before);
    }

    std::string edited;
    for (std::size_t line = 1; line <= all; ++line)
        edited += (line > 1 && kChosen[line - 2] > 0 ? " +" : " ") + lineOf(line) + " \r\n";
    write(edited + "\r\n\n");
    const int before = qdx::test::registerWrites();
    EXPECT_EQ(loadSettingsFile(path).result, 0);
    EXPECT_EQ(qdx::test::registerWrites() - before, kSettingsFileValues);
}

// Guards a save the camera fails part-way (unplugged, a transfer lost): the
// lines of the missing values would repeat others and load as "Complete.",
// so nothing is written and a file already under the name stays as it was.
TEST_F(SettingsFileTest, AFailedSaveLeavesAnEarlierFileIntact)
{
    ASSERT_EQ(saveSettingsFile(path).result, 0);
    const std::string earlier = contents();
    EXPECT_EQ(saveSettingsFile(dir.file("no-such-folder/a.qdx")).result, -1);
    QDXSim_FailRequestsAfter(QDX_REQUEST_REGISTER_READ, 20, 1000);
    const SettingsFileOutcome failed = saveSettingsFile(path);
    EXPECT_EQ(failed.result, -1);
    EXPECT_NE(failed.why.find("could not be read"), std::string::npos) << failed.why;
    EXPECT_EQ(contents(), earlier);

    QDXSim_FailRequests(QDX_REQUEST_REGISTER_READ, 0);
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(qdx::test::waitUntil([] { return qdx::test::status() == 0; }));
    EXPECT_EQ(saveSettingsFile(dir.file("unplugged.qdx")).result, -1);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"camera.qdx"}) << "no file and no temporary file left";
}

}  // namespace
}  // namespace qdx::viewer::test
