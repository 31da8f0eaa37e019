// The camera's rules between settings as tables, without widgets or a camera:
// a setting chosen (or FPN correction reported) on some values, the settings
// that follow and the saved FPN gain; and which settings hold which. The pages
// (PanelModel) and qdxctl set both run on these.
#include <gtest/gtest.h>

#include <initializer_list>
#include <optional>
#include <ostream>
#include <utility>

#include "core/model/SettingRules.h"

namespace qdx::viewer::test {
namespace {

using S = SettingId;

RuleValues valuesOf(std::initializer_list<std::pair<SettingId, int>> set, int savedFpnGain = kFpnGainCap)
{
    RuleValues values;
    for (const auto& [id, value] : set)
        values[id] = value;
    values.savedFpnGain = savedFpnGain;
    return values;
}

struct RuleCase {
    const char* name;
    RuleValues before;
    SettingId id;                   // chosen; FpnCorrection with a rule: reported
    int value;
    FpnRule report;                 // None: an operator's choice
    std::optional<int> cameraGain;  // the camera's RAW gain, when it can be read
    SettingChanges follows;
    int savedFpnGain;
};

void PrintTo(const RuleCase& c, std::ostream* os)
{
    *os << c.name;
}

class SettingRulesTest : public ::testing::TestWithParam<RuleCase> {};

// Guards every coupling between settings: ALC "ON" keeping "MGC+MEC" (also
// against FPN Mode2's gain), FPN Mode1 forcing "MGC+AEC" without touching the
// gain, Mode2 capping the camera's gain at 64 (a failed read keeping the
// saved one), Mode changes under Mode2 restoring it (64 under "AGC+AEC"), and
// the camera's own FPN reports on arrival and through the change mask.
TEST_P(SettingRulesTest, ChoiceFollowedByTheCoupledSettings)
{
    const RuleCase c = GetParam();
    RuleValues values = c.before;
    const RawGainReader gain = [&c] { return c.cameraGain; };
    const SettingChanges follows = c.report == FpnRule::None ? followChoice(values, c.id, c.value, gain)
                                                             : followFpnReport(values, c.value, c.report, c.cameraGain);
    EXPECT_EQ(follows, c.follows);
    EXPECT_EQ(values.savedFpnGain, c.savedFpnGain);
    RuleValues stored = c.before;  // the value, then what follows; nothing else
    stored[c.id] = c.value;
    for (const auto& [id, value] : c.follows)
        stored[id] = value;
    EXPECT_EQ(values.values, stored.values);
}

constexpr auto kNone = FpnRule::None;
const RuleValues kMode2At40 = valuesOf({{S::FpnCorrection, kFpnMode2}, {S::Mode, kMgcAec}, {S::RawGain, 40}}, 40);

INSTANTIATE_TEST_SUITE_P(
    Couplings, SettingRulesTest,
    ::testing::Values(
        RuleCase{"ModeAlone", {}, S::Mode, kAgcAec, kNone, 100, {}, 64},
        RuleCase{"ModeUnderAlc", valuesOf({{S::Alc, 1}}), S::Mode, kAgcAec, kNone, 100, {{S::Mode, kMgcMec}}, 64},
        RuleCase{"AlcOnLeavesAutomaticExposure", valuesOf({{S::Mode, kMgcAec}}), S::Alc, 1, kNone, 100,
                 {{S::Mode, kMgcMec}}, 64},
        RuleCase{"AlcOff", valuesOf({{S::Alc, 1}}), S::Alc, 0, kNone, 100, {}, 64},
        RuleCase{"FpnMode1LocksTheGainAsItIs", {}, S::FpnCorrection, kFpnMode1, kNone, 100, {{S::Mode, kMgcAec}}, 64},
        RuleCase{"FpnMode2CapsTheGain", {}, S::FpnCorrection, kFpnMode2, kNone, 100,
                 {{S::Mode, kMgcAec}, {S::RawGain, 64}}, 64},
        RuleCase{"FpnMode2KeepsAGainUnderTheCap", {}, S::FpnCorrection, kFpnMode2, kNone, 40,
                 {{S::Mode, kMgcAec}, {S::RawGain, 40}}, 40},
        RuleCase{"FpnMode2UnreadGainKeepsTheSavedOne", valuesOf({}, 30), S::FpnCorrection, kFpnMode2, kNone,
                 std::nullopt, {{S::Mode, kMgcAec}, {S::RawGain, 30}}, 30},
        RuleCase{"FpnMode3ForcesNothing", {}, S::FpnCorrection, 3, kNone, 100, {}, 64},
        RuleCase{"AgcAecUnderMode2Takes64", kMode2At40, S::Mode, kAgcAec, kNone, 100, {{S::RawGain, 64}}, 40},
        RuleCase{"ManualUnderMode2RestoresTheSavedGain", kMode2At40, S::Mode, kMgcMec, kNone, 100,
                 {{S::RawGain, 40}}, 40},
        RuleCase{"AlcWinsOverMode2",
                 valuesOf({{S::FpnCorrection, kFpnMode2}, {S::Alc, 1}, {S::RawGain, 40}}, 40), S::Mode, kAgcAec,
                 kNone, 100, {{S::Mode, kMgcMec}}, 40},
        RuleCase{"GammaAlone", {}, S::Gamma, 2, kNone, 100, {}, 64},
        RuleCase{"ArrivalMode2Takes64", valuesOf({}, 30), S::FpnCorrection, kFpnMode2, FpnRule::OnArrival, 20,
                 {{S::Mode, kMgcAec}, {S::RawGain, 64}}, 30},
        RuleCase{"ArrivalOff", {}, S::FpnCorrection, kFpnOff, FpnRule::OnArrival, 20, {}, 64},
        RuleCase{"ChangedMode2KeepsTheCamerasGain", {}, S::FpnCorrection, kFpnMode2, FpnRule::OnChange, 40,
                 {{S::Mode, kMgcAec}, {S::RawGain, 40}}, 40},
        RuleCase{"ChangedMode3StillCapsTheSavedGain", valuesOf({}, 40), S::FpnCorrection, 3, FpnRule::OnChange, 100,
                 {}, 64},
        RuleCase{"ChangedMode1UnreadGain", valuesOf({}, 30), S::FpnCorrection, kFpnMode1, FpnRule::OnChange,
                 std::nullopt, {{S::Mode, kMgcAec}}, 30}),
    [](const auto& p) { return std::string(p.param.name); });

// Guards which settings hold which: the automatic exposure and gain of the
// Mode, FPN Mode1/2 holding the gain (before the Mode is asked), flip and
// rotation excluding each other, and nothing else held; and the saved FPN
// gain a process takes from the camera (the held gain, capped; 64 when the
// camera's gain says nothing of it).
TEST(SettingRulesHoldTest, HeldSettingsAndTheGainMode2Holds)
{
    struct Hold {
        RuleValues values;
        SettingId id;
        std::optional<SettingId> holder;
    };
    const Hold holds[] = {
        {{}, S::ExposureTime, std::nullopt},
        {valuesOf({{S::Mode, kMgcAec}}), S::ExposureTime, S::Mode},
        {valuesOf({{S::Mode, kMgcAec}}), S::RawGain, std::nullopt},
        {valuesOf({{S::Mode, kAgcAec}}), S::RawGain, S::Mode},
        {valuesOf({{S::Mode, kAgcAec}, {S::FpnCorrection, kFpnMode1}}), S::RawGain, S::FpnCorrection},
        {valuesOf({{S::FpnCorrection, kFpnMode2}}), S::RawGain, S::FpnCorrection},
        {valuesOf({{S::FpnCorrection, 3}}), S::RawGain, std::nullopt},
        {valuesOf({{S::ImageRotation, 1}}), S::ImageFlip, S::ImageRotation},
        {valuesOf({{S::ImageFlip, 3}}), S::ImageRotation, S::ImageFlip},
        {valuesOf({{S::Mode, kMgcMec}, {S::Alc, 0}}), S::ControlTarget, std::nullopt},
        {valuesOf({{S::Alc, 1}}), S::Mode, std::nullopt},
    };
    for (const Hold& h : holds)
        EXPECT_EQ(heldBy(h.values, h.id), h.holder) << setting(h.id).name << " on mode " << h.values[S::Mode];

    EXPECT_EQ(savedFpnGainOf(kMode2At40), 40);
    EXPECT_EQ(savedFpnGainOf(valuesOf({{S::FpnCorrection, kFpnMode2}, {S::RawGain, 100}})), 64);
    EXPECT_EQ(savedFpnGainOf(valuesOf({{S::FpnCorrection, kFpnMode2}, {S::Mode, kAgcAec}, {S::RawGain, 20}})), 64);
    EXPECT_EQ(savedFpnGainOf(valuesOf({{S::RawGain, 20}})), 64);
}

}  // namespace
}  // namespace qdx::viewer::test
