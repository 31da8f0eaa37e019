#include "SettingValues.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <sstream>
#include <strings.h>

#include "Command.h"
#include "QDX_API.h"

namespace qdx::ctl {
namespace {

using viewer::ControlKind;
using viewer::Setting;
using viewer::SettingId;

constexpr std::string_view kRegisterPrefix = "reg:";

std::optional<int> entryOfCameraValue(const Setting& s, SettingId id, int value)
{
    const int entry = id == SettingId::Mode ? viewer::modeFromCamera(value) : value;
    if (entry < 0 || entry >= static_cast<int>(s.entries.size()))
        return std::nullopt;
    return entry;
}

std::string entriesText(const Setting& s, SettingId id)
{
    std::string text;
    for (std::size_t j = 0; j < s.entries.size(); ++j) {
        if (j)
            text += ", ";
        text += std::to_string(viewer::comboCameraValue(id, static_cast<int>(j))) + " " + s.entries[j];
    }
    return text;
}

bool parseComboValue(const Setting& s, SettingId id, std::string_view text, int& value, std::string& why)
{
    for (std::size_t j = 0; j < s.entries.size(); ++j) {
        const std::string_view entry = s.entries[j];
        if (entry.size() == text.size() && strncasecmp(entry.data(), text.data(), text.size()) == 0) {
            value = viewer::comboCameraValue(id, static_cast<int>(j));
            return true;
        }
    }
    if (const auto number = parseInteger(text);
        number && *number >= INT_MIN && *number <= INT_MAX && viewer::settingTakes(id, static_cast<int>(*number))) {
        value = static_cast<int>(*number);
        return true;
    }
    why = "'" + std::string(text) + "' is not a value of " + s.name + " (" + entriesText(s, id) + ")";
    return false;
}

bool parseNumber(std::string_view text, long long minimum, long long maximum, const std::string& what, int& value,
                 std::string& why)
{
    const auto number = parseInteger(text);
    if (!number) {
        why = "'" + std::string(text) + "' is not a whole number";
        return false;
    }
    if (*number < minimum || *number > maximum) {
        why = what + " " + std::string(text) + " is out of range " + std::to_string(minimum) + ".." +
              std::to_string(maximum);
        return false;
    }
    value = static_cast<int>(*number);
    return true;
}

}  // namespace

std::string Target::name() const
{
    return setting ? viewer::setting(*setting).name : std::string(kRegisterPrefix) + std::to_string(reg);
}

bool parseTarget(std::string_view text, Target& target, std::string& why)
{
    if (text.substr(0, kRegisterPrefix.size()) == kRegisterPrefix) {
        int reg = 0;
        if (!parseNumber(text.substr(kRegisterPrefix.size()), 0, kRegisterCount - 1, "register", reg, why))
            return false;
        target = {std::nullopt, reg};
        return true;
    }
    if (const auto id = viewer::settingByName(text)) {
        target = {*id, 0};
        return true;
    }
    why = "unknown setting '" + std::string(text) + "' (see qdxctl get --help)";
    return false;
}

bool parseAssignment(std::string_view text, Assignment& assignment, std::string& why)
{
    const auto equals = text.find('=');
    if (equals == std::string_view::npos) {
        why = "'" + std::string(text) + "' is not NAME=VALUE";
        return false;
    }
    Target target;
    if (!parseTarget(text.substr(0, equals), target, why))
        return false;
    const std::string_view valueText = text.substr(equals + 1);
    int value = 0;
    bool ok = false;
    if (!target.setting) {
        ok = parseNumber(valueText, 0, 0xFFFF, target.name() + " value", value, why);
    } else {
        const Setting& s = viewer::setting(*target.setting);
        ok = s.control == ControlKind::Combo
                 ? parseComboValue(s, *target.setting, valueText, value, why)
                 : parseNumber(valueText, s.scale.minimum, s.scale.maximum, s.name, value, why);
    }
    if (ok)
        assignment = {target, value};
    return ok;
}

std::string valueLabel(const Target& target, int value)
{
    if (!target.setting) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "0x%04X", static_cast<unsigned>(value) & 0xFFFFu);
        return hex;
    }
    const Setting& s = viewer::setting(*target.setting);
    std::string label = s.scale.labelText(value);
    if (s.control == ControlKind::Combo) {
        const auto entry = entryOfCameraValue(s, *target.setting, value);
        label = entry ? s.entries[static_cast<std::size_t>(*entry)] : "not an entry";
    }
    return label == std::to_string(value) ? std::string() : label;
}

std::string valueLine(const Target& target, int value)
{
    std::string line = target.name() + " " + std::to_string(value);
    if (const std::string label = valueLabel(target, value); !label.empty())
        line += " (" + label + ")";
    return line;
}

int readValue(const Target& target, int& value)
{
    if (target.setting)
        return viewer::setting(*target.setting).read(&value);
    unsigned char bytes[2] = {};
    const int result = QDX_DeviceRead(0, target.reg, sizeof bytes, bytes);
    if (result == QDX_OK)
        value = bytes[0] << 8 | bytes[1];  // registers travel big-endian
    return result;
}

int sendValue(const Assignment& assignment)
{
    if (assignment.target.setting)
        return viewer::setting(*assignment.target.setting).send(assignment.value);
    const unsigned char bytes[2] = {static_cast<unsigned char>(assignment.value >> 8),
                                    static_cast<unsigned char>(assignment.value & 0xFF)};
    return QDX_DeviceWrite(0, assignment.target.reg, sizeof bytes, bytes);
}

namespace {

// The settings the rules look at, as the camera holds them now.
constexpr SettingId kRuleInputs[] = {SettingId::Mode, SettingId::Alc, SettingId::FpnCorrection,
                                     SettingId::RawGain, SettingId::ImageFlip, SettingId::ImageRotation};

// Values as the pages show them (Mode: its selection) and as the camera takes them.
int shownValue(SettingId id, int cameraValue)
{
    return id == SettingId::Mode ? viewer::modeFromCamera(cameraValue) : cameraValue;
}

Assignment cameraAssignment(SettingId id, int shown)
{
    return {{id, 0}, viewer::comboCameraValue(id, shown)};
}

}  // namespace

int sendByRules(const std::vector<Assignment>& assignments, std::vector<Assignment>& sent, std::string& why)
{
    viewer::RuleValues values;
    if (std::any_of(assignments.begin(), assignments.end(), [](const Assignment& a) { return a.target.setting; })) {
        for (const SettingId id : kRuleInputs) {
            int value = 0;
            if (viewer::setting(id).read(&value) != QDX_OK) {
                why = std::string(viewer::setting(id).name) + " could not be read for the rules between settings";
                return kExitFailure;
            }
            values[id] = shownValue(id, value);
        }
        values.savedFpnGain = viewer::savedFpnGainOf(values);
    }

    // The whole plan first: a held setting anywhere sends nothing.
    std::vector<Assignment> plan;
    for (const Assignment& assignment : assignments) {
        plan.push_back(assignment);
        if (!assignment.target.setting)
            continue;
        const SettingId id = *assignment.target.setting;
        if (const auto holder = viewer::heldBy(values, id)) {
            const Target by{*holder, 0};
            why = assignment.target.name() + " is held by " +
                  valueLine(by, viewer::comboCameraValue(*holder, values[*holder])) +
                  ", as the viewer greys it; qdxctl set --raw goes around the rules";
            return kExitUsage;
        }
        // The plan's own values stand for the camera's RAW gain: what it will be by then.
        const auto rawGain = [&values] { return std::optional(values[SettingId::RawGain]); };
        for (const auto& [changed, value] : viewer::followChoice(values, id, shownValue(id, assignment.value), rawGain))
            plan.push_back(cameraAssignment(changed, value));
    }

    for (const Assignment& assignment : plan) {
        if (sendValue(assignment) != QDX_OK) {
            why = assignment.target.name() + ": the camera did not take the value";
            return kExitFailure;
        }
        sent.push_back(assignment);
    }
    return kExitOk;
}

std::string settingsHelp()
{
    std::ostringstream text;
    text << "Settings (the viewer's names; values as the camera takes them):\n";
    for (int i = 0; i < viewer::kSettingCount; ++i) {
        const auto id = static_cast<SettingId>(i);
        const Setting& s = viewer::setting(id);
        char line[160];
        if (s.control == ControlKind::Combo) {
            std::snprintf(line, sizeof line, "  %-18s %s\n", s.name, entriesText(s, id).c_str());
        } else {
            const std::string range = std::to_string(s.scale.minimum) + ".." + std::to_string(s.scale.maximum);
            const std::string unit = s.scale.format == viewer::LabelFormat::Integer
                                         ? std::string()
                                         : " (" + s.scale.labelText(s.scale.maximum) + " at " +
                                               std::to_string(s.scale.maximum) + ")";
            std::snprintf(line, sizeof line, "  %-18s %s%s\n", s.name, range.c_str(), unit.c_str());
        }
        text << line;
    }
    text << "  reg:N              FPGA register N (0..65535), value 0..65535; decimal or 0x hex\n";
    return text.str();
}

}  // namespace qdx::ctl
