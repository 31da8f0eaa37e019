// One line of the simulated camera's control channel (QDX_SIM_CONTROL), read
// apart from the bus so that tests and the fuzzer call it directly. Each verb
// does what one QDXSim_* function does; ControlChannel carries it out.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qdx::sim {

// The longest line taken, its newline included; a longer one is refused whole.
inline constexpr std::size_t kControlLineMax = 256;

enum class ControlVerb {
    Unplug,    // [CAMERA]: QDXSim_SetPlugged(CAMERA, 0), camera 0 by default
    Replug,    // [CAMERA]: QDXSim_SetPlugged(CAMERA, 1)
    Stall,     // QDXSim_SetStalled(1)
    Resume,    // QDXSim_SetStalled(0)
    Inject,    // short|corrupt N: QDXSim_InjectFrames(1|2, N)
    Fps,       // RATE: the frame rate, 0 unpaced (QDXSim_SetFrameInterval)
    Scene,     // N: QDXSim_SetScene(N)
    Fail,      // REQUEST|any COUNT [SKIP]: QDXSim_FailRequestsAfter
    Memory,    // fx2|cis ready|busy|error|absent|own [READS]: QDXSim_SetMemoryState
    Cis,       // on|off: QDXSim_SetCisPresent
    Access,    // granted|denied|busy [CAMERA]: QDXSim_SetAccess
    Register,  // REG [VALUE]: QDXSim_GetRegister, or QDXSim_SetRegister with the change reported
    Reset,     // QDXSim_Reset
    Status,    // camera 0's plug state, whether a host has it open, stall, QDXSim_GetBulkStats
    Help,
};

struct ControlCommand {
    ControlVerb verb = ControlVerb::Help;
    // The verb's numbers in the order written, choices as the QDXSim_*
    // function takes them (inject: kind 1|2; fail: bRequest -1 for any;
    // memory: type, state 0..3 or -1 for "own", reads; cis: 1|0; access:
    // QDXSIM_ACCESS_*, camera).
    std::array<long long, 3> args{};
    int argCount = 0;
    double rate = 0;  // fps

    bool operator==(const ControlCommand&) const = default;
};

struct ControlLine {
    std::optional<ControlCommand> command;  // none for a blank line or an error
    std::string error;                      // why the line was refused; empty otherwise
};

// Words separated by blanks; verbs and choices in lower case, numbers decimal
// or 0x hex (the rate decimal). Out-of-range values are refused, not clamped.
ControlLine parseControlLine(std::string_view line);

// The command written back as a line that parses to the same command.
std::string controlLineText(const ControlCommand& command);

// The verbs and their arguments, for "help".
std::string_view controlHelp();

}  // namespace qdx::sim
