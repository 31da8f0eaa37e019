#include "ControlCommand.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cmath>
#include <span>
#include <vector>

#include "QDX_API.h"
#include "SimSettings.h"

namespace qdx::sim {
namespace {

struct Choice {
    std::string_view word;
    long long value;
};

enum class ArgKind { Number, Choice, NumberOrChoice, Rate };

struct ArgRule {
    ArgKind kind = ArgKind::Number;
    std::string_view name;  // in messages and help
    long long min = 0, max = 0;
    std::span<const Choice> choices = {};
    bool optional = false;
    long long fallback = 0;  // of an optional argument left out
};

struct VerbEntry {
    std::string_view name;
    ControlVerb verb;
    std::array<ArgRule, 3> args{};
    int count = 0;
};

constexpr long long kMostFrames = 1000000;
constexpr long long kMostCount = 1000000000;

constexpr Choice kFaults[] = {{"short", 1}, {"corrupt", 2}};
constexpr Choice kAnyRequest[] = {{"any", -1}};
constexpr Choice kMemories[] = {{"fx2", QDX_MEMORY_FX2}, {"cis", QDX_MEMORY_CIS}};
constexpr Choice kMemoryStates[] = {{"ready", 0}, {"busy", 1}, {"error", 2}, {"absent", 3}, {"own", -1}};
constexpr Choice kOnOff[] = {{"on", 1}, {"off", 0}};
constexpr Choice kAccess[] = {{"granted", 0}, {"denied", 1}, {"busy", 2}};

constexpr ArgRule kCamera{ArgKind::Number, "CAMERA", 0, 1, {}, true, 0};

// Adding a verb: one entry here and its action in ControlChannel.cpp.
const VerbEntry kVerbs[] = {
    {"unplug", ControlVerb::Unplug, {kCamera}, 1},
    {"replug", ControlVerb::Replug, {kCamera}, 1},
    {"stall", ControlVerb::Stall},
    {"resume", ControlVerb::Resume},
    {"inject", ControlVerb::Inject,
     {ArgRule{ArgKind::Choice, "short|corrupt", 0, 0, kFaults}, ArgRule{ArgKind::Number, "N", 0, kMostFrames}}, 2},
    {"fps", ControlVerb::Fps, {ArgRule{ArgKind::Rate, "RATE"}}, 1},
    {"scene", ControlVerb::Scene, {ArgRule{ArgKind::Number, "N", 0, kSceneCount - 1}}, 1},
    {"fail", ControlVerb::Fail,
     {ArgRule{ArgKind::NumberOrChoice, "REQUEST|any", 0, 255, kAnyRequest},
      ArgRule{ArgKind::Number, "COUNT", 0, kMostCount}, ArgRule{ArgKind::Number, "SKIP", 0, kMostCount, {}, true}},
     3},
    {"memory", ControlVerb::Memory,
     {ArgRule{ArgKind::Choice, "fx2|cis", 0, 0, kMemories},
      ArgRule{ArgKind::Choice, "ready|busy|error|absent|own", 0, 0, kMemoryStates},
      ArgRule{ArgKind::Number, "READS", -1, kMostCount, {}, true, -1}},
     3},
    {"cis", ControlVerb::Cis, {ArgRule{ArgKind::Choice, "on|off", 0, 0, kOnOff}}, 1},
    {"access", ControlVerb::Access, {ArgRule{ArgKind::Choice, "granted|denied|busy", 0, 0, kAccess}, kCamera}, 2},
    {"register", ControlVerb::Register,
     {ArgRule{ArgKind::Number, "REG", 0, 65535}, ArgRule{ArgKind::Number, "VALUE", 0, 65535, {}, true, -1}}, 2},
    {"reset", ControlVerb::Reset},
    {"status", ControlVerb::Status},
    {"help", ControlVerb::Help},
};

const VerbEntry* findVerb(std::string_view name)
{
    for (const VerbEntry& entry : kVerbs)
        if (entry.name == name)
            return &entry;
    return nullptr;
}

const VerbEntry& entryOf(ControlVerb verb)
{
    for (const VerbEntry& entry : kVerbs)
        if (entry.verb == verb)
            return entry;
    return kVerbs[std::size(kVerbs) - 1];
}

bool blank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::vector<std::string_view> words(std::string_view line)
{
    std::vector<std::string_view> found;
    std::size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && blank(line[at]))
            ++at;
        const std::size_t start = at;
        while (at < line.size() && !blank(line[at]))
            ++at;
        if (at > start)
            found.push_back(line.substr(start, at - start));
    }
    return found;
}

// Decimal with an optional '-', or 0x hex.
std::optional<long long> integer(std::string_view text)
{
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text[0] == '+' || (base == 16 && text[0] == '-'))
        return std::nullopt;
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::string usage(const VerbEntry& entry)
{
    std::string text(entry.name);
    for (int i = 0; i < entry.count; ++i) {
        const ArgRule& arg = entry.args[static_cast<std::size_t>(i)];
        text += arg.optional ? " [" + std::string(arg.name) + "]" : " " + std::string(arg.name);
    }
    return text;
}

// One argument into command; why when the word is not one.
bool takeArgument(const ArgRule& arg, std::string_view word, ControlCommand& command, std::string& why)
{
    long long& slot = command.args[static_cast<std::size_t>(command.argCount++)];
    if (arg.kind == ArgKind::Rate) {
        const std::optional<double> rate = settings::decimal(word);
        if (!rate || !std::isfinite(*rate) ||
            (*rate != 0 && (*rate < kMinFramesPerSecond || *rate > kMaxFramesPerSecond))) {
            why = "RATE must be 0 (unpaced) or " + settings::number(kMinFramesPerSecond) + ".." +
                  settings::number(kMaxFramesPerSecond) + " frames/s";
            return false;
        }
        command.rate = *rate;
        return true;
    }
    if (arg.kind != ArgKind::Number) {
        for (const Choice& choice : arg.choices)
            if (choice.word == word) {
                slot = choice.value;
                return true;
            }
        if (arg.kind == ArgKind::Choice) {
            why = "expected " + std::string(arg.name);
            return false;
        }
    }
    const std::optional<long long> value = integer(word);
    if (!value || *value < arg.min || *value > arg.max) {
        why = std::string(arg.name) + " must be a number " + std::to_string(arg.min) + ".." + std::to_string(arg.max);
        return false;
    }
    slot = *value;
    return true;
}

}  // namespace

ControlLine parseControlLine(std::string_view line)
{
    if (!line.empty() && line.back() == '\n')
        line.remove_suffix(1);
    ControlLine parsed;
    if (line.size() >= kControlLineMax) {
        parsed.error = "line too long (at most " + std::to_string(kControlLineMax - 1) + " characters)";
        return parsed;
    }
    for (const char c : line) {
        if (static_cast<unsigned char>(c) < 0x20 && !blank(c)) {
            parsed.error = "control character in the line";
            return parsed;
        }
    }
    const std::vector<std::string_view> w = words(line);
    if (w.empty())
        return parsed;
    const VerbEntry* entry = findVerb(w[0]);
    if (!entry) {
        parsed.error = "unknown command; 'help' lists them";
        return parsed;
    }
    const int given = static_cast<int>(w.size()) - 1;
    int required = 0;
    for (int i = 0; i < entry->count; ++i)
        required += entry->args[static_cast<std::size_t>(i)].optional ? 0 : 1;
    if (given < required || given > entry->count) {
        parsed.error = "usage: " + usage(*entry);
        return parsed;
    }
    ControlCommand command;
    command.verb = entry->verb;
    for (int i = 0; i < entry->count; ++i) {
        const ArgRule& arg = entry->args[static_cast<std::size_t>(i)];
        if (i >= given) {
            command.args[static_cast<std::size_t>(command.argCount++)] = arg.fallback;
            continue;
        }
        std::string why;
        if (!takeArgument(arg, w[static_cast<std::size_t>(i) + 1], command, why)) {
            parsed.error = why + " (usage: " + usage(*entry) + ")";
            return parsed;
        }
    }
    parsed.command = command;
    return parsed;
}

std::string controlLineText(const ControlCommand& command)
{
    const VerbEntry& entry = entryOf(command.verb);
    std::string text(entry.name);
    // Optional arguments at their defaults are left out at the end.
    int written = std::min(command.argCount, entry.count);
    while (written > 0 && entry.args[static_cast<std::size_t>(written - 1)].optional &&
           command.args[static_cast<std::size_t>(written - 1)] == entry.args[static_cast<std::size_t>(written - 1)].fallback)
        --written;
    for (int i = 0; i < written; ++i) {
        const ArgRule& arg = entry.args[static_cast<std::size_t>(i)];
        const long long value = command.args[static_cast<std::size_t>(i)];
        text += ' ';
        if (arg.kind == ArgKind::Rate) {
            char rate[40];
            std::snprintf(rate, sizeof rate, "%.17g", command.rate);
            text += rate;
            continue;
        }
        std::string word = std::to_string(value);
        for (const Choice& choice : arg.choices)
            if (choice.value == value)
                word = choice.word;
        text += word;
    }
    return text;
}

std::string_view controlHelp()
{
    static const std::string help = [] {
        std::string text;
        for (const VerbEntry& entry : kVerbs)
            text += (text.empty() ? "" : ", ") + usage(entry);
        return text;
    }();
    return help;
}

}  // namespace qdx::sim
