#include "EepromActions.h"

#include "QDX_API.h"
#include "core/commands/Commands.h"

namespace qdx::viewer {
namespace {

constexpr EepromAction kActions[] = {
    {kCmdEepromLoad, "load", QDX_Load_Param, "Load Parameter", "No Saved Parameter Found in EEPROM.", QDX_PARAM_SAVED,
     false},
    {kCmdEepromSave, "save", QDX_Save_Param, "Save Parameter", nullptr, 0, true},
    {kCmdLoadDefault, "default", QDX_Load_Default_Param, "Load Default Parameter",
     "No Default Parameter Found in EEPROM.\nUse Application Default Setting.", QDX_PARAM_DEFAULT, false},
    {kCmdSaveDefault, "save-default", QDX_Save_Default_Param, "Save Parameter as Default", nullptr, 0, true},
    {kCmdClearDefault, "clear-default", QDX_Clear_Default_Param, "Clear Default Parameter", nullptr, 0, false},
};

// What the stored block's header, read now, says is wrong with it: the code a
// load returns for it, QDX_OK for a valid header, or -1 when it cannot be read.
int storedBlockState(int block)
{
    int state = -1;
    return QDX_Check_Param(block, &state) == QDX_OK ? state : -1;
}

}  // namespace

std::span<const EepromAction> eepromActions()
{
    return kActions;
}

const EepromAction* eepromActionNamed(std::string_view name)
{
    for (const EepromAction& action : kActions)
        if (action.name == name)
            return &action;
    return nullptr;
}

EepromResult runEepromAction(const EepromAction& action)
{
    EepromResult result;
    result.code = action.call(0);
    const bool load = action.notFound != nullptr;
    if (result.code == QDX_OK) {
        result.outcome = EepromResult::Complete;
        result.text = std::string(action.title) + " : Complete.";
    } else if (load && (result.code == QDX_ERR_BAD_MAGIC || result.code == QDX_ERR_BAD_VERSION ||
                        result.code == QDX_ERR_BAD_STATE) &&
               storedBlockState(action.storedBlock) == result.code) {
        result.outcome = EepromResult::NotFound;
        result.text = action.notFound;
    } else {
        result.text = std::string(action.title) + " : Error!";
    }
    // Only a refused header certainly left the camera alone.
    result.cameraChanged = load && result.outcome != EepromResult::NotFound;
    return result;
}

}  // namespace qdx::viewer
