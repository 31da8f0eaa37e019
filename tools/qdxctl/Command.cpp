#include "Command.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include <getopt.h>

#include "QDX_API.h"
#include "StopSignals.h"
#include "core/device/DeviceProblem.h"
#include "core/device/StatusWatch.h"

namespace qdx::ctl {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool Arguments::has(std::string_view option) const
{
    for (const auto& [name, value] : options_)
        if (name == option)
            return true;
    return false;
}

std::optional<std::string> Arguments::value(std::string_view option) const
{
    std::optional<std::string> found;
    for (const auto& [name, value] : options_)
        if (name == option)
            found = value;
    return found;
}

namespace {

// getopt_long over a copy of the words: it keeps its place in globals, which
// optind = 0 starts afresh for each command line.
struct GetoptWords {
    explicit GetoptWords(std::span<const std::string> args) : words(args.begin(), args.end())
    {
        words.insert(words.begin(), "qdxctl");
        for (std::string& word : words)
            pointers.push_back(word.data());
        pointers.push_back(nullptr);
    }
    int count() const { return static_cast<int>(words.size()); }
    char** argv() { return pointers.data(); }
    // The option word getopt last looked at, without any "=value".
    std::string lastOption() const
    {
        const std::string& word = words[static_cast<std::size_t>(std::clamp(optind - 1, 1, count() - 1))];
        return word.substr(0, word.find('='));
    }

    std::vector<std::string> words;
    std::vector<char*> pointers;
};

}  // namespace

bool Arguments::parse(std::span<const std::string> args, std::span<const OptionInfo> known, Arguments& parsed,
                      std::string& why)
{
    parsed = {};
    // Long options report val 256 + their index, so that an error names the option.
    std::vector<std::string> longNames;
    std::vector<option> longOptions;
    std::string shortOptions = "-:";  // operands in order (as option 1); ':' tells a missing value
    for (const OptionInfo& info : known)
        longNames.emplace_back(info.name.substr(2));
    for (std::size_t i = 0; i < known.size(); ++i) {
        const bool takesValue = !known[i].value.empty();
        longOptions.push_back({longNames[i].c_str(), takesValue ? required_argument : no_argument, nullptr,
                               256 + static_cast<int>(i)});
        if (known[i].shortName) {
            shortOptions += known[i].shortName;
            if (takesValue)
                shortOptions += ':';
        }
    }
    longOptions.push_back({nullptr, 0, nullptr, 0});
    const auto findOption = [&](int code) -> const OptionInfo* {
        if (code >= 256 && code - 256 < static_cast<int>(known.size()))
            return &known[static_cast<std::size_t>(code - 256)];
        for (const OptionInfo& info : known)
            if (info.shortName && info.shortName == code)
                return &info;
        return nullptr;
    };

    GetoptWords words(args);
    optind = 0;
    opterr = 0;
    for (;;) {
        const int code = getopt_long(words.count(), words.argv(), shortOptions.c_str(), longOptions.data(), nullptr);
        if (code == -1)
            break;
        if (code == 1) {
            parsed.operands_.emplace_back(optarg);
            continue;
        }
        const OptionInfo* option = findOption(code == '?' || code == ':' ? optopt : code);
        if (code == ':') {
            why = std::string(option ? option->name : words.lastOption()) + " needs a value (" +
                  std::string(option ? option->value : "") + ")";
            return false;
        }
        if (code == '?') {
            if (option && option->value.empty())
                why = std::string(option->name) + " takes no value";
            else if (optopt > 0 && optopt < 256)
                why = "unknown option '-" + std::string(1, static_cast<char>(optopt)) + "'";
            else
                why = "unknown option '" + words.lastOption() + "'";
            return false;
        }
        parsed.options_.emplace_back(std::string(option->name), option->value.empty() ? "" : optarg);
    }
    // After "--": the rest are operands, whatever they look like.
    for (int i = optind; i < words.count(); ++i)
        parsed.operands_.push_back(words.words[static_cast<std::size_t>(i)]);
    return true;
}

std::string optionSpelling(const OptionInfo& option)
{
    std::string text = option.shortName ? std::string{'-', option.shortName, ',', ' '} : std::string();
    text += option.name;
    if (!option.value.empty())
        text += " " + std::string(option.value);
    return text;
}

Progress::Progress(std::ostream& err, bool terminal, std::string note)
    : err_(err), terminal_(terminal), note_(std::move(note)), start_(Clock::now())
{
}

Progress::~Progress()
{
    finish();
}

void Progress::update(std::string_view status)
{
    const auto now = Clock::now();
    if (now - start_ < std::chrono::seconds(1))
        return;
    if (!terminal_) {
        if (!shown_)
            err_ << "qdxctl: " << note_ << "...\n" << std::flush;
        shown_ = true;
        return;
    }
    if (shown_ && now - lastShown_ < milliseconds(200))
        return;
    std::string line = "qdxctl: " + std::string(status);
    const std::size_t width = line.size();
    if (width < width_)
        line.append(width_ - width, ' ');  // cover the end of a longer line
    err_ << '\r' << line << std::flush;
    width_ = width;
    shown_ = true;
    lastShown_ = now;
}

void Progress::finish()
{
    if (terminal_ && shown_ && width_ > 0) {
        err_ << '\r' << std::string(width_, ' ') << '\r' << std::flush;
        width_ = 0;
    }
}

Context::Context(const CommandEntry& command, const GlobalOptions& globals, std::istream& in, std::ostream& out,
                 std::ostream& err, bool errIsTerminal)
    : command_(command), globals_(globals), in_(in), out_(out), err_(err), errIsTerminal_(errIsTerminal)
{
}

Context::~Context()
{
    if (libraryStarted_)
        QDX_Term();
}

int Context::usageError(std::string_view message)
{
    err_ << "qdxctl " << command_.name << ": " << message << "\n" << usageLine(command_) << "\n";
    return kExitUsage;
}

int Context::failure(std::string_view message)
{
    err_ << "qdxctl " << command_.name << ": " << message << "\n";
    return kExitFailure;
}

int Context::refuseJsonTo(const Arguments& arguments, std::string_view path)
{
    return path == "-" && arguments.has("--json") ? usageError("--json and FILE - both want standard output")
                                                  : kExitOk;
}

bool Context::findCamera()
{
    if (!libraryStarted_) {
        if (QDX_Init() != QDX_OK) {
            err_ << "qdxctl: the library could not start (out of memory or threads)\n";
            return false;
        }
        libraryStarted_ = true;
    }
    // The library opens the camera on a thread of its own and tells of it
    // through the watch; the stop note is looked at every 100 ms.
    viewer::StatusWatch watch;
    const auto deadline = Clock::now() + globals_.wait;
    Progress waiting = progress("waiting for a camera");
    for (;;) {
        const uint64_t seen = watch.changes();
        int status = 0;
        if (QDX_GetStatus(&status) == QDX_OK && (status & QDX_STATUS_CONNECTED))
            return true;
        // A camera that is there but refused (repeatedly) will not open by waiting.
        const auto now = Clock::now();
        if (now >= deadline || stopRequested() || viewer::readDeviceProblem())
            return false;
        waiting.update("waiting for a camera, " +
                       std::to_string(std::chrono::ceil<std::chrono::seconds>(deadline - now).count()) + " s left");
        watch.waitForChange(seen, {}, std::min(milliseconds(100), std::chrono::ceil<milliseconds>(deadline - now)));
    }
}

int Context::connectCamera()
{
    if (!findCamera()) {
        if (!stopRequested()) {
            err_ << "No Connected Camera!\n";
            if (const auto problem = viewer::readDeviceProblem())
                err_ << problem->summary() << "; " << problem->fix << "\n";
        }
        return kExitFailure;
    }
    return sendSettings();
}

int Context::sendSettings()
{
    std::vector<Assignment> sent;
    std::string why;
    const int status = sendByRules(globals_.settings, sent, why);
    changedCamera_ = !sent.empty();
    if (status == kExitUsage)
        return usageError("--set " + why);
    return status == kExitOk ? kExitOk : failure("--set " + why);
}

std::optional<long long> parseInteger(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    // from_chars takes no sign of its own here, so "--5" and "0x-5" are refused.
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return std::nullopt;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> parseSeconds(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || !(value >= 0) ||
        value > 1e6)
        return std::nullopt;
    return value;
}

std::optional<double> secondsOption(const Arguments& arguments, double fallback, std::string& why)
{
    constexpr double kMostSeconds = 86400;
    const auto text = arguments.value("--seconds");
    if (!text)
        return fallback;
    const auto value = parseSeconds(*text);
    if (!value || *value <= 0 || *value > kMostSeconds) {
        why = "--seconds " + *text + ": not a number of seconds above 0, at most 86400";
        return std::nullopt;
    }
    return value;
}

std::optional<long long> framesOption(const Arguments& arguments, long long least, long long most, long long fallback,
                                      std::string& why)
{
    const auto text = arguments.value("--frames");
    if (!text)
        return fallback;
    const auto n = parseInteger(*text);
    if (!n || *n < least || *n > most) {
        why = "--frames " + *text + ": not a frame count " + std::to_string(least) + ".." + std::to_string(most);
        return std::nullopt;
    }
    return n;
}

std::string usageLine(const CommandEntry& command)
{
    std::string line = "usage: qdxctl [--set NAME=VALUE]... [--wait SECONDS] " + std::string(command.name);
    if (!command.operands.empty())
        line += " " + std::string(command.operands);
    for (const OptionInfo& option : command.options) {
        line += " [" + std::string(option.name);
        if (!option.value.empty())
            line += " " + std::string(option.value);
        line += "]";
    }
    return line;
}

}  // namespace qdx::ctl
