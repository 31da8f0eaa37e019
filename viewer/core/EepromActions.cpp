#include "EepromActions.h"

#include <array>
#include <cstring>

#include "Commands.h"
#include "QDX_API.h"

namespace qdx::viewer {
namespace {

// The parameter blocks in the FX2 EEPROM and their header, as the library
// documents them: magic "QDX\0", format version 1, state byte 0 = valid.
constexpr unsigned kSavedBlock = 0x4000;
constexpr unsigned kDefaultBlock = 0x6000;
constexpr unsigned char kMagic[4] = {'Q', 'D', 'X', '\0'};
constexpr unsigned char kFormatVersion = 1;

constexpr EepromAction kActions[] = {
    {kCmdEepromLoad, "load", QDX_Load_Param, "Load Parameter", "No Saved Parameter Found in EEPROM.", kSavedBlock,
     false},
    {kCmdEepromSave, "save", QDX_Save_Param, "Save Parameter", nullptr, 0, true},
    {kCmdLoadDefault, "default", QDX_Load_Default_Param, "Load Default Parameter",
     "No Default Parameter Found in EEPROM.\nUse Application Default Setting.", kDefaultBlock, false},
    {kCmdSaveDefault, "save-default", QDX_Save_Default_Param, "Save Parameter as Default", nullptr, 0, true},
    {kCmdClearDefault, "clear-default", QDX_Clear_Default_Param, "Clear Default Parameter", nullptr, 0, false},
};

// What the block's header, read now, says is wrong with it: the code a load
// returns for it, QDX_OK for a valid header, or -1 when it cannot be read.
int storedHeaderState(unsigned block)
{
    std::array<unsigned char, 16> header{};
    if (QDX_FlashRead(QDX_MEMORY_FX2, block, static_cast<int>(header.size()), header.data()) != QDX_OK)
        return -1;
    if (std::memcmp(header.data(), kMagic, sizeof kMagic) != 0)
        return QDX_ERR_BAD_MAGIC;
    if (header[4] != kFormatVersion)
        return QDX_ERR_BAD_VERSION;
    if (header[5] != 0)
        return QDX_ERR_BAD_STATE;
    return QDX_OK;
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
               storedHeaderState(action.storedBlock) == result.code) {
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
