// Files that hold secrets (passwords, a TLS private key): read only when
// nobody but their owner, the user running the server, can read them.
#pragma once

#include <string>
#include <vector>

namespace qdx::rtsp {

// The whole of path, at most maxBytes, when it is a regular file owned by the
// running user with no permission for group or others; false with why naming
// the file (and the fix, chmod 600) otherwise. Checked and read through one
// descriptor, so the file checked is the file read.
bool readOwnerOnlyFile(const std::string& path, std::size_t maxBytes, std::string& contents, std::string& why);

struct Credential {
    std::string user;
    std::string password;
};

// The users of a credentials file: one "user:password" a line (the password
// is everything after the first colon), blank lines and lines starting with
// # skipped. False with why (FILE:LINE, never the line's text: it holds a
// password) for a line without a user or a password, a user named twice, or
// no user at all.
bool parseCredentials(const std::string& path, const std::string& text, std::vector<Credential>& users,
                      std::string& why);

}  // namespace qdx::rtsp
