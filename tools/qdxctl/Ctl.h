// qdxctl: the camera from the command line, for scripts and quick checks.
// The commands are a library so that tests run them in-process against the
// simulated camera; the qdxctl program is a thin main around runQdxctl.
#pragma once

#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qdx::ctl {

// Exit statuses of every command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // no camera, a failed transfer, a file not written
inline constexpr int kExitUsage = 2;    // bad arguments or values; nothing was sent

// Runs one qdxctl command line (the arguments after the program name):
// starts the library when the command needs it and stops it before
// returning. A FILE given as "-" is read from in or
// written to out. Results go to out, messages and progress to err. Returns the
// exit status. Call from one thread at a time: the library is one per process.
int runQdxctl(std::span<const std::string> args, std::istream& in, std::ostream& out, std::ostream& err);
// The same with the process's standard input as in.
int runQdxctl(std::span<const std::string> args, std::ostream& out, std::ostream& err);

// The command names in the order the help lists them.
std::vector<std::string_view> commandNames();

}  // namespace qdx::ctl
