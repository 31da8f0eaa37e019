#include "SettingRules.h"

#include <algorithm>

namespace qdx::viewer {
namespace {

using S = SettingId;

void change(RuleValues& values, SettingChanges& out, SettingId id, int value)
{
    values[id] = value;
    out.push_back({id, value});
}

// The gain FPN Mode2 brings back: the camera's when it could be read (a
// failed read keeps the one saved before), never above the cap.
void saveFpnGain(RuleValues& values, std::optional<int> cameraRawGain)
{
    if (cameraRawGain)
        values.savedFpnGain = *cameraRawGain;
    values.savedFpnGain = std::min(values.savedFpnGain, kFpnGainCap);
}

// FPN Mode1 and Mode2 hold the Mode at "MGC+AEC"; Mode2 also the saved gain.
void followFpn(RuleValues& values, SettingChanges& out, int fpn)
{
    if (fpnLocksGain(fpn))
        change(values, out, S::Mode, kMgcAec);
    if (fpn == kFpnMode2)
        change(values, out, S::RawGain, values.savedFpnGain);
}

}  // namespace

bool fpnLocksGain(int fpn)
{
    return fpn == kFpnMode1 || fpn == kFpnMode2;
}

SettingChanges followChoice(RuleValues& values, SettingId id, int value, const RawGainReader& cameraRawGain)
{
    values[id] = value;
    SettingChanges out;
    switch (id) {
    case S::Mode:
        if (values[S::Alc] == 1)
            change(values, out, S::Mode, kMgcMec);  // with ALC on the Mode stays "MGC+MEC"
        else if (values[S::FpnCorrection] == kFpnMode2)
            change(values, out, S::RawGain, value == kAgcAec ? kFpnGainCap : values.savedFpnGain);
        break;
    case S::Alc:
        if (value == 1)
            change(values, out, S::Mode, kMgcMec);
        break;
    case S::FpnCorrection:
        if (value == kFpnMode2)
            saveFpnGain(values, cameraRawGain());
        followFpn(values, out, value);
        break;
    default:
        break;
    }
    return out;
}

SettingChanges followFpnReport(RuleValues& values, int fpn, FpnRule rule, std::optional<int> cameraRawGain)
{
    values[S::FpnCorrection] = fpn;
    SettingChanges out;
    if (rule == FpnRule::None)
        return out;
    if (rule == FpnRule::OnArrival) {
        if (fpnLocksGain(fpn)) {
            change(values, out, S::Mode, kMgcAec);
            change(values, out, S::RawGain, kFpnGainCap);
        }
        return out;
    }
    saveFpnGain(values, cameraRawGain);
    followFpn(values, out, fpn);
    return out;
}

std::optional<SettingId> heldBy(const RuleValues& values, SettingId id)
{
    const int mode = values[S::Mode];
    switch (id) {
    case S::ExposureTime:
        return mode != kMgcMec ? std::optional(S::Mode) : std::nullopt;
    case S::RawGain:
        if (fpnLocksGain(values[S::FpnCorrection]))
            return S::FpnCorrection;
        return mode == kAgcAec ? std::optional(S::Mode) : std::nullopt;
    case S::ImageFlip:
        return values[S::ImageRotation] != 0 ? std::optional(S::ImageRotation) : std::nullopt;
    case S::ImageRotation:
        return values[S::ImageFlip] != 0 ? std::optional(S::ImageFlip) : std::nullopt;
    default:
        return std::nullopt;
    }
}

int savedFpnGainOf(const RuleValues& values)
{
    if (values[S::FpnCorrection] != kFpnMode2 || values[S::Mode] == kAgcAec)
        return kFpnGainCap;
    return std::min(values[S::RawGain], kFpnGainCap);
}

}  // namespace qdx::viewer
