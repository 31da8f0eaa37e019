// params: the parameter store in the camera's EEPROM, with the viewer's
// EEPROM menu texts; settings: the viewer's ".qdx" settings file.
#include <algorithm>

#include "CtlCommands.h"
#include "Json.h"
#include "QDX_API.h"
#include "StreamFile.h"
#include "core/device/CameraReads.h"
#include "core/device/EepromActions.h"
#include "core/files/AtomicFile.h"
#include "core/files/SettingsFile.h"
#include "core/model/PanelUpdate.h"

namespace qdx::ctl {
namespace {

constexpr std::size_t kMostSettingsBytes = 64 * 1024;  // as readSettingsFile takes

// The library saves its register shadow, which holds only what this process
// has written or read (0xFFFF elsewhere). Every setting is read first, as the
// viewer does when the camera arrives, so the shadow holds the camera's values.
bool readEverySetting()
{
    viewer::PanelUpdate update;
    viewer::readAll(update);
    const auto shown = std::count_if(viewer::settings().begin(), viewer::settings().end(),
                                     [](const viewer::Setting& s) { return s.control != viewer::ControlKind::None; });
    return static_cast<std::ptrdiff_t>(update.entries.size()) == shown;
}

}  // namespace

int runParams(Context& context, const Arguments& arguments)
{
    if (arguments.operands().size() != 1)
        return context.usageError("params takes one action");
    const std::string& name = arguments.operands()[0];
    const viewer::EepromAction* action = viewer::eepromActionNamed(name);
    if (!action)
        return context.usageError("unknown action '" + name + "'");
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;

    if (action->savesShadow && !readEverySetting()) {
        context.err() << action->title << " : Error!\n";
        return kExitFailure;
    }
    const viewer::EepromResult result = viewer::runEepromAction(*action);
    if (result.outcome == viewer::EepromResult::Complete) {
        if (arguments.has("--json"))
            printJson(context.out(), Json{{"action", name}, {"message", result.text}});
        else
            context.out() << result.text << "\n";
        return kExitOk;
    }
    context.err() << result.text << "\n";
    return kExitFailure;
}

int runSettings(Context& context, const Arguments& arguments)
{
    const auto& operands = arguments.operands();
    if (operands.size() != 2 || (operands[0] != "save" && operands[0] != "load"))
        return context.usageError("settings takes save or load and a file");
    const bool save = operands[0] == "save";
    const bool json = arguments.has("--json");
    StreamFile file;
    if (save && json && isStandardStream(operands[1]))
        return context.usageError("--json and FILE - both want standard output");
    if (std::string why; !file.open(operands[1], "settings.qdx", why) ||
                         (!save && file.isStream() && !file.takeInput(context.in(), kMostSettingsBytes, why)))
        return context.failure(why);
    const std::string& path = file.path();
    // The file is read, or found writable, before the camera is touched.
    viewer::SettingsFileOutcome outcome;
    std::optional<viewer::SettingsFileValues> values;
    bool usable = false;
    if (save) {
        usable = viewer::checkRoomFor(path, 0, outcome.why);
    } else {
        values = viewer::readSettingsFile(path, outcome);
        usable = values.has_value();
    }
    if (usable) {
        if (const int status = context.connectCamera(); status != kExitOk)
            return status;
        outcome = save ? viewer::saveSettingsFile(path) : viewer::sendSettingsFile(path, *values);
    }
    if (outcome.result == 0 && save && file.isStream() && !file.giveOutput(path, context.out(), outcome.why))
        outcome.result = -1;
    const char* title = save ? "Save Parameter" : "Load Parameter";
    if (outcome.result == 0) {
        const std::string message = std::string(title) + " : Complete.";
        if (json)
            printJson(context.out(), Json{{"action", operands[0]}, {"file", operands[1]}, {"message", message}});
        else
            (save && file.isStream() ? context.err() : context.out()) << message << "\n";
        return kExitOk;
    }
    context.err() << "qdxctl settings: " << file.shown(outcome.why) << "\n" << title << " : Error!\n";
    // A file that is not a settings file sent nothing, like any refused value.
    return outcome.refusedLine != 0 ? kExitUsage : kExitFailure;
}

}  // namespace qdx::ctl
