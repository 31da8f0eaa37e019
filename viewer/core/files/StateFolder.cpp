#include "StateFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace qdx::viewer {
namespace {

bool absolute(const char* path)
{
    return path && path[0] == '/';
}

// mkdir -p with mode 0700 for what it makes; an existing folder is kept as it is.
bool makeFolders(const std::string& path, std::string& why)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            why = part + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        why = path + ": not a folder";
        return false;
    }
    return true;
}

}  // namespace

std::string stateFolder(std::string& why)
{
    // The XDG rule: a relative value is invalid and ignored.
    if (const char* state = std::getenv("XDG_STATE_HOME"); absolute(state))
        return std::string(state) + "/qdx";
    if (const char* home = std::getenv("HOME"); absolute(home))
        return std::string(home) + "/.local/state/qdx";
    why = "neither XDG_STATE_HOME nor HOME names a folder";
    return {};
}

bool enterStateFolder(std::string& why)
{
    const std::string folder = stateFolder(why);
    if (folder.empty() || !makeFolders(folder, why))
        return false;
    if (::chdir(folder.c_str()) != 0) {
        why = folder + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace qdx::viewer
