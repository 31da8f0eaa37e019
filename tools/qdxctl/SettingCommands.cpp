// get and set: the viewer's settings by name, set following the camera's
// rules between them, and FPGA registers raw.
#include <algorithm>

#include "CtlCommands.h"
#include "Json.h"
#include "QDX_API.h"

namespace qdx::ctl {
namespace {

// {"value": 400, "label": "28.8ms"}, the label only where the viewer shows one.
Json valueJson(const Target& target, int value)
{
    Json entry{{"value", value}};
    if (const std::string label = valueLabel(target, value); !label.empty())
        entry["label"] = label;
    return entry;
}

}  // namespace

int runGet(Context& context, const Arguments& arguments)
{
    std::vector<Target> targets;
    for (const std::string& name : arguments.operands()) {
        Target target;
        if (std::string why; !parseTarget(name, target, why))
            return context.usageError(why);
        targets.push_back(target);
    }
    if (targets.empty())
        for (int i = 0; i < viewer::kSettingCount; ++i)
            targets.push_back({static_cast<viewer::SettingId>(i), 0});
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;

    // What can be read is shown even when another read fails.
    const bool json = arguments.has("--json");
    int status = kExitOk;
    Json values = Json::object();
    for (const Target& target : targets) {
        int value = 0;
        if (readValue(target, value) != QDX_OK) {
            status = context.failure(target.name() + " could not be read");
            continue;
        }
        if (json) {
            values[target.name()] = valueJson(target, value);
        } else {
            context.out() << valueLine(target, value) << "\n";
        }
    }
    if (json)
        printJson(context.out(), values);
    return status;
}

int runSet(Context& context, const Arguments& arguments)
{
    if (arguments.operands().empty())
        return context.usageError("nothing to set");
    std::vector<Assignment> assignments;
    for (const std::string& text : arguments.operands()) {
        Assignment assignment;
        if (std::string why; !parseAssignment(text, assignment, why))
            return context.usageError(why);
        assignments.push_back(assignment);
    }
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;

    std::vector<Assignment> sent;
    if (arguments.has("--raw")) {
        for (const Assignment& assignment : assignments) {
            if (sendValue(assignment) != QDX_OK)
                return context.failure(assignment.target.name() + ": the camera did not take the value");
            sent.push_back(assignment);
        }
    } else if (std::string why; const int status = sendByRules(assignments, sent, why)) {
        return status == kExitUsage ? context.usageError(why) : context.failure(why);
    }

    // Each setting or register sent, once, with the value it was left at.
    std::vector<Assignment> shown;
    for (const Assignment& assignment : sent) {
        const auto same = std::find_if(shown.begin(), shown.end(), [&](const Assignment& s) {
            return s.target.name() == assignment.target.name();
        });
        if (same == shown.end())
            shown.push_back(assignment);
        else
            same->value = assignment.value;
    }
    // As get shows them.
    if (arguments.has("--json")) {
        Json values = Json::object();
        for (const Assignment& assignment : shown)
            values[assignment.target.name()] = valueJson(assignment.target, assignment.value);
        printJson(context.out(), values);
        return kExitOk;
    }
    for (const Assignment& assignment : shown)
        context.out() << valueLine(assignment.target, assignment.value) << "\n";
    return kExitOk;
}

}  // namespace qdx::ctl
