// The simulated bus's start settings as the environment's text gives them.
#include <gtest/gtest.h>

#include "SimSettings.h"

namespace qdx::sim {
namespace {

struct SettingCase {
    const char* text;
    long long microseconds;  // the setting that results
    bool warns;              // whether the user is told the text was not taken as it stands
};

void expectSetting(const SettingCase& c, const TimeSetting& setting, const char* name)
{
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(setting.value.count(), c.microseconds);
    EXPECT_EQ(!setting.warning.empty(), c.warns) << setting.warning;
    if (c.warns) {
        EXPECT_NE(setting.warning.find(name), std::string::npos) << setting.warning;
    }
}

// Guards QDX_SIM_FPS text that paced the camera by accident: words, negative
// rates and NaN streamed as fast as the host reads, a tiny rate overflowed the
// clock, a huge one spun the frame thread, and none of it was said.
TEST(SimSettings, FrameRateGivesThisIntervalAndWarnsWhenTheTextIsNotTaken)
{
    const SettingCase cases[] = {
        {"30", 33333, false},        {"25", 40000, false},      {"0", 0, false},          {"0.1", 10000000, false},
        {"1000", 1000, false},       {"0.05", 10000000, true},  {"1e-10", 10000000, true}, {"1e-999", 10000000, true},
        {"5000", 1000, true},        {"1e999", 1000, true},     {"fast", 33333, true},    {"-1", 33333, true},
        {"nan", 33333, true},        {"inf", 33333, true},      {"30fps", 33333, true},   {" 30", 33333, true},
        {"", 33333, true},
    };
    for (const auto& c : cases)
        expectSetting(c, frameIntervalSetting(c.text, std::chrono::microseconds(33333)), "QDX_SIM_FPS");
}

// Guards QDX_SIM_CONTROL_US and QDX_SIM_EEPROM_WRITE_US taken without limits:
// a negative time, a camera that answers in hours, trailing text read as the
// number before it, and none of it said.
TEST(SimSettings, MicrosecondsGiveThisTimeAndWarnWhenTheTextIsNotTaken)
{
    const SettingCase cases[] = {
        {"100", 100, false},
        {"0", 0, false},
        {"100000", 100000, false},
        {"100001", 100000, true},
        {"99999999999999999999", 100000, true},
        {"-5", 0, true},
        {"-99999999999999999999", 0, true},
        {"slow", 250, true},
        {"10ms", 250, true},
        {"1e3", 250, true},
        {" 7", 250, true},
        {"", 250, true},
    };
    for (const auto& c : cases)
        expectSetting(c,
                      microsecondsSetting("QDX_SIM_CONTROL_US", c.text, std::chrono::microseconds(250), kMaxSimLatency),
                      "QDX_SIM_CONTROL_US");
}

// Guards QDX_SIM_SCENE text ignored in silence (99, -1, words) or read as
// the number before it ("2x" gave scene 2), where every other setting warns.
TEST(SimSettings, SceneIsOneOfTheFourAndWarnsWhenTheTextIsNotTaken)
{
    const std::pair<const char*, int> cases[] = {{"0", 0}, {"3", 3},  {"99", -1}, {"-1", -1}, {"abc", -1},
                                                 {"2x", -1}, {" 1", -1}, {"1.0", -1}, {"", -1}};
    for (const auto& [text, scene] : cases) {
        const SceneSetting setting = sceneSetting(text, 1);
        EXPECT_EQ(setting.value, scene < 0 ? 1 : scene) << text;
        EXPECT_EQ(setting.warning.find("QDX_SIM_SCENE") != std::string::npos, scene < 0) << text << setting.warning;
    }
}

}  // namespace
}  // namespace qdx::sim
