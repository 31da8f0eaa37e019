// The ".qdx" settings file against the simulated camera: what is written,
// what a load sends, and that neither a bad file nor a failing camera does
// any damage.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "TempDir.h"
#include "api/SimCameraFixture.h"
#include "core/SettingsFile.h"
#include "protocol/VendorRequests.h"

namespace qdx::viewer::test {
namespace {

using qdx::test::startConnected;

std::string contentsOf(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

int registerWrites()
{
    return QDXSim_GetRequestCount(request::kRegisterWrite);
}

// Every row a value of its own, the signed ones at their extremes.
constexpr SettingsFileValues kChosen = {
    0,   0,   17, 123, 40, 900, 11, 12, 13, 14, 5,  3,    1,    0, -3, 200, -256, 255, -1,
    7,   128, -100, 0, 3,  64,  -255, 0, 17, 2, 1,  0,    1,    1, 0,  9,   2,    3,   1,
};

class SettingsFileTest : public qdx::test::SimCameraTest {
protected:
    void sendAll(const SettingsFileValues& values)
    {
        for (std::size_t i = 0; i < values.size(); ++i)
            ASSERT_EQ(setting(settingsFileRows()[i].setting).send(values[i]), QDX_OK) << "row " << i;
    }

    qdx::test::TempDir dir;
    const std::string path = dir.file("camera.qdx");
};

// Guards the format and the round trip: the file holds the header and the
// library's values one a line with LF only, negative SM8/S9 values included,
// and loading it after every setting changed brings each one back.
TEST_F(SettingsFileTest, RoundTripKeepsEveryValueByteExact)
{
    ASSERT_NO_FATAL_FAILURE(startConnected());
    ASSERT_NO_FATAL_FAILURE(sendAll(kChosen));
    ASSERT_EQ(saveSettingsFile(path).result, 0);
    std::string expected = "#QDX_Setting_Data_(Do_not_edit_manually)\n";
    for (const int value : kChosen)
        expected += std::to_string(value) + "\n";
    EXPECT_EQ(contentsOf(path), expected);

    SettingsFileValues other{};
    for (std::size_t i = 0; i < other.size(); ++i)
        other[i] = kChosen[i] == 1 ? 2 : 1;
    ASSERT_NO_FATAL_FAILURE(sendAll(other));
    const int before = registerWrites();
    const SettingsFileOutcome loaded = loadSettingsFile(path);
    EXPECT_EQ(loaded.result, 0) << loaded.why;
    EXPECT_TRUE(loaded.cameraChanged);
    EXPECT_EQ(registerWrites() - before, kSettingsFileValues);
    for (std::size_t i = 0; i < kChosen.size(); ++i) {
        int value = -1000;
        setting(settingsFileRows()[i].setting).read(&value);
        EXPECT_EQ(value, kChosen[i]) << "line " << i + 2;
    }
}

// Guards the whole-file check: a file that is not a settings file, is cut
// short, or holds a value the library cannot encode is refused with its line
// and sends nothing at all (before, a truncated file wrote its last value
// into every remaining register). A file edited on another system (CR LF,
// blanks, blank lines at the end) still loads.
TEST_F(SettingsFileTest, ARefusedFileSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(startConnected());
    ASSERT_EQ(saveSettingsFile(path).result, 0);
    const std::string good = contentsOf(path);
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < good.size();) {
        const std::size_t end = good.find('\n', at);
        lines.push_back(good.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), 39u);
    const auto with = [&](std::size_t line, const std::string& text) {
        std::string file;
        for (std::size_t i = 0; i < lines.size(); ++i)
            file += (i + 1 == line ? text : lines[i]) + "\n";
        return file;
    };
    const auto firstLines = [&](std::size_t n) {
        std::string file;
        for (std::size_t i = 0; i < n; ++i)
            file += lines[i] + "\n";
        return file;
    };
    const struct {
        const char* name;
        std::string text;
        int line;
    } cases[] = {
        {"empty", "", 1},
        {"another header", with(1, "#QDX_Setting_Data_"), 1},
        {"cut after line 20", firstLines(20), 21},
        {"not a number", with(12, "abc"), 12},
        {"blank value line", with(9, " "), 9},
        {"two numbers", with(7, "1 2"), 7},
        {"beyond int", with(5, "99999999999999999999"), 5},
        {"U16 negative", with(4, "-1"), 4},
        {"SM8 too large", with(16, "256"), 16},
        {"S9 too small", with(18, "-257"), 18},
        {"a 40th value", good + "0\n", 40},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(path, c.text);
        const int before = registerWrites();
        const SettingsFileOutcome outcome = loadSettingsFile(path);
        EXPECT_EQ(outcome.result, -1);
        EXPECT_FALSE(outcome.cameraChanged);
        EXPECT_EQ(outcome.refusedLine, c.line) << outcome.why;
        EXPECT_NE(outcome.why.find("line " + std::to_string(c.line) + ": "), std::string::npos) << outcome.why;
        EXPECT_EQ(registerWrites(), before);
    }

    std::string edited;
    for (const std::string& line : lines)
        edited += " " + line + " \r\n";
    writeFile(path, edited + "\r\n\n");
    const int before = registerWrites();
    EXPECT_EQ(loadSettingsFile(path).result, 0);
    EXPECT_EQ(registerWrites() - before, kSettingsFileValues);
}

// Guards a save the camera fails part-way (unplugged, a transfer lost): the
// lines of the missing values would repeat others and load as "Complete.",
// so nothing is written and a file already under the name stays as it was.
TEST_F(SettingsFileTest, AFailedSaveLeavesAnEarlierFileIntact)
{
    ASSERT_NO_FATAL_FAILURE(startConnected());
    ASSERT_EQ(saveSettingsFile(path).result, 0);
    const std::string earlier = contentsOf(path);
    EXPECT_EQ(saveSettingsFile(dir.file("no-such-folder/a.qdx")).result, -1);
    QDXSim_FailRequestsAfter(request::kRegisterRead, 20, 1000);
    const SettingsFileOutcome failed = saveSettingsFile(path);
    EXPECT_EQ(failed.result, -1);
    EXPECT_NE(failed.why.find("could not be read"), std::string::npos) << failed.why;
    EXPECT_EQ(contentsOf(path), earlier);

    QDXSim_FailRequests(request::kRegisterRead, 0);
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(qdx::test::waitUntil([] { return qdx::test::status() == 0; }));
    EXPECT_EQ(saveSettingsFile(dir.file("unplugged.qdx")).result, -1);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"camera.qdx"}) << "no file and no temporary file left";
}

}  // namespace
}  // namespace qdx::viewer::test
