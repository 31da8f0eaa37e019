// What every qdxctl command is given: its parsed arguments and a context that
// prints, starts the library and finds the camera. A command is one entry of
// the table in Ctl.cpp plus its run function.
#pragma once

#include <chrono>
#include <istream>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Ctl.h"
#include "core/commands/ProgramVersion.h"
#include "SettingValues.h"

namespace qdx::ctl {

struct OptionInfo {
    std::string_view name;   // "--frames"
    std::string_view value;  // what follows it in the help ("N"); empty for a flag
    std::string_view help;
    char shortName = 0;      // 'n' for -n; 0 for none
};

inline constexpr OptionInfo kJsonOption{"--json", "", "print the result as JSON on stdout", 'j'};

// "-n, --frames N" as help and man pages show an option.
std::string optionSpelling(const OptionInfo& option);

// A command's arguments: options by name (the last of a repeated one wins)
// and the operands in order.
class Arguments {
public:
    bool has(std::string_view option) const;
    std::optional<std::string> value(std::string_view option) const;
    const std::vector<std::string>& operands() const { return operands_; }
    // Every option given, in order, by its long name.
    const std::vector<std::pair<std::string, std::string>>& options() const { return options_; }

    // Options may come anywhere, as "--name value", "--name=value", "-n value",
    // "-nvalue" or flags together ("-jb"); "--" ends them; "-" is an operand
    // (standard input or output). Options are kept by their long name. False
    // with why for an option not in known.
    static bool parse(std::span<const std::string> args, std::span<const OptionInfo> known, Arguments& parsed,
                      std::string& why);

private:
    std::vector<std::pair<std::string, std::string>> options_;
    std::vector<std::string> operands_;
};

class Context;

struct CommandEntry {
    std::string_view name;
    std::string_view operands;  // in the usage line: "FILE", "[NAME...]"
    std::string_view summary;   // one line for the command list
    std::string_view details;   // further help text, may be empty
    std::span<const OptionInfo> options;
    int (*run)(Context& context, const Arguments& arguments);
    std::string (*moreHelp)() = nullptr;  // help made at run time (the settings table)
};

// Options given before the command.
struct GlobalOptions {
    std::vector<Assignment> settings;      // --set, in order
    std::chrono::milliseconds wait{2000};  // --wait
};

// Progress of a long operation on stderr, shown once it has taken a second:
// on a terminal one line rewritten in place, elsewhere (a log) the note once.
class Progress {
public:
    Progress(std::ostream& err, bool terminal, std::string note);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Called as often as convenient; prints at most five times a second.
    void update(std::string_view status);
    // Clears the terminal line.
    void finish();

private:
    std::ostream& err_;
    bool terminal_;
    std::string note_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastShown_;
    bool shown_ = false;
    std::size_t width_ = 0;  // of the terminal line last written
};

// One run of a command. The library is started on demand and stopped when the
// context ends.
class Context {
public:
    Context(const CommandEntry& command, const GlobalOptions& globals, std::istream& in, std::ostream& out,
            std::ostream& err, bool errIsTerminal);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    std::istream& in() { return in_; }
    std::ostream& out() { return out_; }
    std::ostream& err() { return err_; }
    const CommandEntry& command() const { return command_; }

    // "qdxctl NAME: message" and the usage line on stderr; returns kExitUsage.
    int usageError(std::string_view message);
    // "qdxctl NAME: message" on stderr; returns kExitFailure.
    int failure(std::string_view message);
    // A FILE "-" with --json: both want standard output. kExitUsage after
    // saying so; kExitOk for anything else.
    int refuseJsonTo(const Arguments& arguments, std::string_view path);

    // Starts the library and waits up to --wait for it to open a camera;
    // whether one is open. Says nothing.
    bool findCamera();
    // findCamera, then sendSettings. kExitOk, or the exit status after
    // saying why ("No Connected Camera!").
    int connectCamera();
    // Sends the --set values in order, as set does (the camera's rules
    // followed); kExitOk or the status after saying why.
    int sendSettings();
    // Whether the --set values sent anything (a frame already on its way
    // then shows the camera as it was).
    bool changedCamera() const { return changedCamera_; }

    Progress progress(std::string note) { return Progress(err_, errIsTerminal_, std::move(note)); }
    bool errIsTerminal() const { return errIsTerminal_; }

private:
    const CommandEntry& command_;
    const GlobalOptions& globals_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    bool errIsTerminal_;
    bool libraryStarted_ = false;
    bool changedCamera_ = false;
};

// Integers as scripts write them: decimal with an optional sign, or 0x hex.
std::optional<long long> parseInteger(std::string_view text);
// A non-negative decimal number of seconds ("2", "0.5").
std::optional<double> parseSeconds(std::string_view text);
// The --seconds option of a timed command: above 0 and at most a day,
// fallback when it is not given; nothing (and why) when it is no such number.
std::optional<double> secondsOption(const Arguments& arguments, double fallback, std::string& why);
// The --frames option: a count least..most, fallback when it is not given;
// nothing (and why) when it is no such count.
std::optional<long long> framesOption(const Arguments& arguments, long long least, long long most, long long fallback,
                                      std::string& why);
// The usage line of a command: "usage: qdxctl [OPTIONS] grab FILE [--frames N] ...".
std::string usageLine(const CommandEntry& command);

// The command table, in the order the help lists it, and the options taken
// before the command: the one source of the help, the man page and the
// shell completion.
std::span<const CommandEntry> commandTable();
std::span<const OptionInfo> globalOptions();
using viewer::versionLine;  // "qdxctl 1.1.0"

}  // namespace qdx::ctl
