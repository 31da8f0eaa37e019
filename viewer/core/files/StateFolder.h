// The viewer's working folder when started from the desktop: the user's XDG
// state folder for it, "$XDG_STATE_HOME/qdx" (by default
// "~/.local/state/qdx"), where QDX_Viewer.ini and the dialogs' first folder
// then live instead of the home folder. scripts/run works there too. Qt-free.
#pragma once

#include <string>

namespace qdx::viewer {

// The folder, from XDG_STATE_HOME when it is absolute, else from HOME; empty
// when neither tells (why set).
std::string stateFolder(std::string& why);

// Makes the folder (mode 0700, its parents as needed) and changes the
// working folder into it. False with why (naming the folder) when it cannot.
bool enterStateFolder(std::string& why);

}  // namespace qdx::viewer
