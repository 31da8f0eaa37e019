#include "Secrets.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "core/files/RegularFile.h"

namespace qdx::rtsp {

bool readOwnerOnlyFile(const std::string& path, std::size_t maxBytes, std::string& contents, std::string& why)
{
    viewer::FileDescriptor file = viewer::openRegularFile(path, why);
    if (!file)
        return false;
    struct stat st {};
    if (fstat(file.get(), &st) != 0) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    if (st.st_uid != geteuid()) {
        why = path + ": not owned by the user running qdx-rtsp (give it to that user, then chmod 600 it)";
        return false;
    }
    if ((st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        why = path + ": readable or writable by others than its owner; run: chmod 600 " + path;
        return false;
    }
    contents.clear();
    char buffer[4096];
    for (;;) {
        const long got = viewer::readChunk(file.get(), buffer, sizeof buffer, path, why);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        contents.append(buffer, static_cast<std::size_t>(got));
        if (contents.size() > maxBytes) {
            why = path + ": larger than " + std::to_string(maxBytes) + " bytes";
            return false;
        }
    }
}

bool parseCredentials(const std::string& path, const std::string& text, std::vector<Credential>& users,
                      std::string& why)
{
    users.clear();
    std::set<std::string> seen;
    std::size_t lineNumber = 0;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#')
            continue;
        const std::string where = path + ":" + std::to_string(lineNumber) + ": ";
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos || colon == 0 || colon + 1 == line.size()) {
            why = where + "expected user:password (both not empty)";
            return false;
        }
        Credential user{line.substr(0, colon), line.substr(colon + 1)};
        if (!seen.insert(user.user).second) {
            why = where + "user " + user.user + " named twice";
            return false;
        }
        users.push_back(std::move(user));
    }
    if (users.empty()) {
        why = path + ": no user:password line";
        return false;
    }
    return true;
}

}  // namespace qdx::rtsp
