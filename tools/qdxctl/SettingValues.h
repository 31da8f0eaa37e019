// Settings and FPGA registers as the command line names them, "exposure=200",
// "mode=AGC+AEC", "reg:34=2", and their values as the viewer shows them,
// "exposure 400 (28.8ms)". The names, ranges, units and combo entries are the
// viewer's settings table and its rules; nothing here talks to the camera but
// read and send.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/model/SettingRules.h"
#include "core/model/Settings.h"

namespace qdx::ctl {

inline constexpr int kRegisterCount = 65536;  // FPGA registers 0..65535, 16 bits each

// A setting of the viewer's table, or an FPGA register read and written raw.
struct Target {
    std::optional<viewer::SettingId> setting;
    int reg = 0;  // without a setting

    std::string name() const;  // "exposure", "reg:34"
};

struct Assignment {
    Target target;
    int value = 0;  // as the camera takes it (mode: 0, 1 or 3)
};

// "exposure", "reg:34", "reg:0x22". False with why for anything else.
bool parseTarget(std::string_view text, Target& target, std::string& why);

// "NAME=VALUE". A combo takes its entry text (case ignored; where an entry
// is a number, the entry wins: "area1=100" is entry 2) or the camera value of
// an entry; a slider a whole number in its range; a register 0..65535. False
// with why for a value outside the table: nothing of it may be sent.
bool parseAssignment(std::string_view text, Assignment& assignment, std::string& why);

// The text after a value: "28.8ms", "MGC+AEC", "0x0022"; empty when the
// viewer shows the number itself.
std::string valueLabel(const Target& target, int value);

// "exposure 400 (28.8ms)", "black-level 7", "reg:34 2 (0x0002)".
std::string valueLine(const Target& target, int value);

// One library call each; the library's result (QDX_OK on success).
int readValue(const Target& target, int& value);
int sendValue(const Assignment& assignment);

// Sends assignments as an operator on the viewer's pages would: each setting
// followed by what the camera's rules require (viewer/core/SettingRules.h), a
// setting another one holds refused before anything is sent. Registers go
// around the rules. sent: every value sent, in order. kExitOk, or the exit
// status with why: kExitUsage (held, nothing sent), kExitFailure (a read or
// send failed).
int sendByRules(const std::vector<Assignment>& assignments, std::vector<Assignment>& sent, std::string& why);

// The names and values of every setting, for the help text.
std::string settingsHelp();

}  // namespace qdx::ctl
