#include "StreamFile.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <vector>

#include "StopSignals.h"
#include "core/files/AtomicFile.h"
#include "core/files/RegularFile.h"

namespace qdx::ctl {

namespace fs = std::filesystem;

namespace {

// Every file a command writes fits: a CSV set is written and copied one file at a time.
constexpr std::size_t kMostOutputBytes = std::size_t(256) << 20;

}  // namespace

bool isTerminal(const std::ostream& out)
{
    return &out == &std::cout && isatty(STDOUT_FILENO);
}

StreamFile::~StreamFile()
{
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
}

bool StreamFile::open(const std::string& given, std::string_view leafName, std::string& why)
{
    if (!isStandardStream(given)) {
        path_ = given;
        return true;
    }
    std::error_code error;
    fs::path temporary = fs::temp_directory_path(error);
    if (error)
        temporary = "/tmp";
    std::string pattern = (temporary / "qdxctl-XXXXXX").string();
    // mkdtemp: 0700, so nobody else sees or swaps what passes through it.
    if (!mkdtemp(pattern.data())) {
        why = "a temporary folder for standard input or output could not be made in " + temporary.string() + ": " +
              std::strerror(errno);
        return false;
    }
    folder_ = pattern;
    path_ = (fs::path(folder_) / std::string(leafName)).string();
    return true;
}

bool StreamFile::takeInput(std::istream& in, std::size_t maxBytes, std::string& why) const
{
    std::string bytes;
    std::vector<char> buffer(16384);
    // One byte past the bound tells input that goes on from input that ends there.
    if (&in == &std::cin) {
        // The process's own: a stop signal ends the wait for a writer that sends nothing.
        while (bytes.size() <= maxBytes) {
            pollfd input{STDIN_FILENO, POLLIN, 0};
            if (stopRequested()) {
                why = "standard input: interrupted";
                return false;
            }
            if (::poll(&input, 1, 100) <= 0)
                continue;
            const std::size_t room = std::min(buffer.size(), maxBytes + 1 - bytes.size());
            const ssize_t got = ::read(STDIN_FILENO, buffer.data(), room);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                why = std::string("standard input could not be read: ") + std::strerror(errno);
                return false;
            }
            if (got == 0)
                break;
            bytes.append(buffer.data(), static_cast<std::size_t>(got));
        }
    } else {
        while (bytes.size() <= maxBytes) {
            const std::size_t room = std::min(buffer.size(), maxBytes + 1 - bytes.size());
            in.read(buffer.data(), static_cast<std::streamsize>(room));
            bytes.append(buffer.data(), static_cast<std::size_t>(in.gcount()));
            if (!in)
                break;
        }
        if (in.bad()) {
            why = "standard input could not be read";
            return false;
        }
    }
    if (bytes.size() > maxBytes) {
        why = "-: standard input is larger than " + std::to_string(maxBytes) + " bytes";
        return false;
    }
    viewer::AtomicFile file;
    if (!file.open(path_, why) || !file.write(std::string_view(bytes), why) || !file.commit(why)) {
        why = shown(why);
        return false;
    }
    return true;
}

bool StreamFile::giveOutput(const std::string& file, std::ostream& out, std::string& why) const
{
    std::string bytes;
    if (!viewer::readRegularFile(file, kMostOutputBytes, bytes, why)) {
        why = shown(why);
        return false;
    }
    // A reader that went away is a failed write, told as such, not a death
    // by SIGPIPE that would leave the private folder behind.
    if (&out == &std::cout)
        ::signal(SIGPIPE, SIG_IGN);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush()) {
        why = "standard output could not be written";
        return false;
    }
    return true;
}

std::string StreamFile::shown(std::string message) const
{
    if (folder_.empty())
        return message;
    // The private file's own name first, then any other of its folder (a set of CSV files).
    for (const std::string& name : {path_, folder_ + "/"}) {
        const std::string replacement = name == path_ ? "-" : "";
        for (std::size_t at = message.find(name); at != std::string::npos;
             at = message.find(name, at + replacement.size()))
            message.replace(at, name.size(), replacement);
    }
    return message;
}

}  // namespace qdx::ctl
