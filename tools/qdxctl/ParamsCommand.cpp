// params: the parameter store in the camera's EEPROM, with the viewer's
// EEPROM menu texts; settings: the viewer's ".qdx" settings file.
#include <algorithm>

#include "CtlCommands.h"
#include "QDX_API.h"
#include "core/device/CameraReads.h"
#include "core/device/EepromActions.h"
#include "core/files/AtomicFile.h"
#include "core/files/SettingsFile.h"
#include "core/model/PanelUpdate.h"

namespace qdx::ctl {
namespace {

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
    const std::string& path = operands[1];
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
    const char* title = save ? "Save Parameter" : "Load Parameter";
    if (outcome.result == 0) {
        context.out() << title << " : Complete.\n";
        return kExitOk;
    }
    context.err() << "qdxctl settings: " << outcome.why << "\n" << title << " : Error!\n";
    // A file that is not a settings file sent nothing, like any refused value.
    return outcome.refusedLine != 0 ? kExitUsage : kExitFailure;
}

}  // namespace qdx::ctl
