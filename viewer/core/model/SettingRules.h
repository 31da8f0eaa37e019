// The camera's rules between settings, keyed by setting so that the pages and
// qdxctl follow the same ones: ALC "ON" keeps the Mode on "MGC+MEC"; FPN
// correction Mode1 and Mode2 force "MGC+AEC", Mode2 caps the RAW gain at 64
// and brings the saved gain back when the Mode changes; and a few settings
// hold others where they are (automatic exposure and gain, FPN correction's
// gain, flip and rotation). Values are as the pages show them (Mode: its
// selection 0..2). Qt-free; nothing here calls the library.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "Settings.h"

namespace qdx::viewer {

// Selections of "Mode" and of "FPN Corr." the rules name.
inline constexpr int kMgcMec = 0, kMgcAec = 1, kAgcAec = 2;
inline constexpr int kFpnOff = 0, kFpnMode1 = 1, kFpnMode2 = 2;

// What FPN correction reported by the camera imposes.
enum class FpnRule {
    None,
    OnArrival,  // on connection: Mode1/2 force "MGC+AEC" and a RAW gain of 64
    OnChange,   // changed by the camera: the current RAW gain, capped, is kept
};

// Every setting's value, and the RAW gain FPN Mode2 restores.
struct RuleValues {
    std::array<int, kSettingCount> values{};
    int savedFpnGain = kFpnGainCap;

    int& operator[](SettingId id) { return values[static_cast<std::size_t>(id)]; }
    int operator[](SettingId id) const { return values[static_cast<std::size_t>(id)]; }
};

struct SettingChange {
    SettingId id;
    int value;
    bool operator==(const SettingChange&) const = default;
};
using SettingChanges = std::vector<SettingChange>;

// The camera's RAW gain when a rule needs it; nullopt when it cannot be read.
using RawGainReader = std::function<std::optional<int>()>;

bool fpnLocksGain(int fpn);

// value chosen for id: stored, and the changes the rules then require, in the
// order they are to be sent (already stored). The chosen value itself is the
// caller's to send.
SettingChanges followChoice(RuleValues& values, SettingId id, int value, const RawGainReader& cameraRawGain);

// FPN correction fpn reported by the camera (cameraRawGain: OnChange's read):
// stored, and the changes the rule requires.
SettingChanges followFpnReport(RuleValues& values, int fpn, FpnRule rule, std::optional<int> cameraRawGain);

// The setting that holds id where it is, if any: the Mode's automatic
// exposure (exposure) and gain (RAW gain), FPN correction Mode1/2 (RAW gain),
// rotation (flip) and flip (rotation). The pages grey a held control.
std::optional<SettingId> heldBy(const RuleValues& values, SettingId id);

// The saved FPN gain as a process that did not see Mode2 chosen takes it: the
// RAW gain Mode2 holds (capped), or 64 under "AGC+AEC", where the camera's
// gain says nothing of it.
int savedFpnGainOf(const RuleValues& values);

}  // namespace qdx::viewer
