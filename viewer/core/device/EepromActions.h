// The parameter store's actions as the operator knows them: one table of the
// EEPROM menu's commands, their library calls and their texts, for the
// viewer's menu and qdxctl alike, and how a result reads.
//
// A load returns the number of registers it failed to write, and those
// numbers overlap the codes for "nothing stored" (2..4) and "read failed"
// (5). "Not found" is therefore said only when the stored block's header
// really is invalid in the way the code says; anything else that is not 0
// is an error, after which the camera may have been changed. Qt-free.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace qdx::viewer {

struct EepromAction {
    int command;            // the menu command
    std::string_view name;  // qdxctl params ACTION
    int (*call)(int reserved);
    const char* title;          // "<title> : Complete." / "<title> : Error!"
    const char* notFound;       // loads: what an empty store says; null for the others
    int storedBlock;            // loads: the QDX_PARAM_* block loaded
    bool savesShadow;           // stores the library's register shadow
};

std::span<const EepromAction> eepromActions();
const EepromAction* eepromActionNamed(std::string_view name);

struct EepromResult {
    enum Outcome { Complete, NotFound, Error };
    int code = 0;               // the library's result
    Outcome outcome = Error;
    bool cameraChanged = false; // a load that may have written registers: read the settings again
    std::string text;           // the message, word for word
};

// Runs the action's library call (argument 0) and reads its result. May
// take a while (EEPROM page writes); any thread that may call the library.
EepromResult runEepromAction(const EepromAction& action);

}  // namespace qdx::viewer
