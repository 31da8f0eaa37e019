// A FILE given as "-": standard input or output. The command works on a file
// of its own in a private temporary folder, so that every reader and writer
// of named files serves it unchanged (written whole or not at all, bounded
// reads), and a command that fails puts nothing on standard output.
#pragma once

#include <cstddef>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace qdx::ctl {

inline bool isStandardStream(std::string_view path)
{
    return path == "-";
}

// Whether out is the process's stdout and that is a terminal: no place for
// the bytes of a picture or a table.
bool isTerminal(const std::ostream& out);

class StreamFile {
public:
    StreamFile() = default;
    ~StreamFile();  // removes the folder and everything in it
    StreamFile(const StreamFile&) = delete;
    StreamFile& operator=(const StreamFile&) = delete;

    // given as the user named it; for "-" a private folder is made and the
    // file in it named leafName ("frame.png", whose extension tells the type).
    bool open(const std::string& given, std::string_view leafName, std::string& why);

    bool isStream() const { return !folder_.empty(); }
    // The file to read or write: the one given, or the private one.
    const std::string& path() const { return path_; }

    // Standard input into the private file: at most maxBytes, more is refused.
    bool takeInput(std::istream& in, std::size_t maxBytes, std::string& why) const;
    // A file of the private folder (path() or one named after it) onto out.
    bool giveOutput(const std::string& file, std::ostream& out, std::string& why) const;

    // A message with the private folder's names shown as "-".
    std::string shown(std::string message) const;

private:
    std::string folder_;
    std::string path_;
};

}  // namespace qdx::ctl
