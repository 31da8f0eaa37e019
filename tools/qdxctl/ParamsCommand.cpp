// params: the parameter store in the camera's EEPROM, with the viewer's
// EEPROM menu texts.
#include <algorithm>

#include "CtlCommands.h"
#include "QDX_API.h"
#include "core/PanelUpdate.h"

namespace qdx::ctl {
namespace {

struct ParamsAction {
    std::string_view name;
    int (*call)(int reserved);
    const char* title;     // "<title> : Complete." / "<title> : Error!"
    const char* notFound;  // loads: what an empty store says; null for the others
    bool savesShadow;      // stores the library's register shadow
};

constexpr ParamsAction kActions[] = {
    {"save", QDX_Save_Param, "Save Parameter", nullptr, true},
    {"load", QDX_Load_Param, "Load Parameter", "No Saved Parameter Found in EEPROM.", false},
    {"default", QDX_Load_Default_Param, "Load Default Parameter",
     "No Default Parameter Found in EEPROM.\nUse Application Default Setting.", false},
    {"save-default", QDX_Save_Default_Param, "Save Parameter as Default", nullptr, true},
    {"clear-default", QDX_Clear_Default_Param, "Clear Default Parameter", nullptr, false},
};

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

// Nothing valid is stored: a bad magic, format version or state byte.
bool nothingStored(int result)
{
    return result == QDX_ERR_BAD_MAGIC || result == QDX_ERR_BAD_VERSION || result == QDX_ERR_BAD_STATE;
}

}  // namespace

int runParams(Context& context, const Arguments& arguments)
{
    if (arguments.operands().size() != 1)
        return context.usageError("params takes one action");
    const std::string& name = arguments.operands()[0];
    const ParamsAction* action = nullptr;
    for (const ParamsAction& candidate : kActions)
        if (candidate.name == name)
            action = &candidate;
    if (!action)
        return context.usageError("unknown action '" + name + "'");
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;

    const int result = !action->savesShadow || readEverySetting() ? action->call(0) : QDX_ERR_TRANSFER;
    if (result == QDX_OK) {
        context.out() << action->title << " : Complete.\n";
        return kExitOk;
    }
    if (action->notFound && nothingStored(result))
        context.err() << action->notFound << "\n";
    else
        context.err() << action->title << " : Error!\n";
    return kExitFailure;
}

}  // namespace qdx::ctl
