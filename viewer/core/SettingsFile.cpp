#include "SettingsFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>

#include "AtomicFile.h"
#include "QDX_API.h"

namespace qdx::viewer {
namespace {

// A settings file is a few hundred bytes; anything this large is something else.
constexpr std::size_t kLargestFile = 64 * 1024;

bool readSmallFile(const std::string& path, std::string& text, std::string& why)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = path + ": " + std::strerror(errno);
        return false;
    }
    text.resize(kLargestFile + 1);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        why = path + ": cannot be read";
        return false;
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kLargestFile) {
        why = path + ": over 64 KiB, not a QDX settings file";
        return false;
    }
    return true;
}

std::string countOf(int failed, const char* what)
{
    return std::to_string(failed) + " of " + std::to_string(kSettingsFileValues) + what;
}

}  // namespace

SettingsFileOutcome saveSettingsFile(const std::string& path)
{
    SettingsFileOutcome outcome;
    SettingsFileValues values{};
    int failed = 0;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (setting(settingsFileRows()[i].setting).read(&values[i]) != QDX_OK)
            ++failed;
    // A value the camera did not report would be stored as if it had.
    if (failed != 0) {
        outcome.why = path + ": " + countOf(failed, " settings could not be read from the camera; nothing written");
        return outcome;
    }
    AtomicFile file;
    if (file.open(path, outcome.why) && file.write(formatSettingsFile(values), outcome.why) &&
        file.commit(outcome.why))
        outcome.result = 0;
    return outcome;
}

SettingsFileOutcome loadSettingsFile(const std::string& path)
{
    SettingsFileOutcome outcome;
    std::string text;
    if (!readSmallFile(path, text, outcome.why))
        return outcome;
    SettingsFileProblem problem;
    const auto values = parseSettingsFile(text, problem);
    if (!values) {
        outcome.why = path + ": " + problem.text();
        outcome.refusedLine = problem.line;
        return outcome;
    }
    outcome.cameraChanged = true;
    int failed = 0;
    for (std::size_t i = 0; i < values->size(); ++i)
        if (setting(settingsFileRows()[i].setting).send((*values)[i]) != QDX_OK)
            ++failed;
    if (failed != 0)
        outcome.why = path + ": " + countOf(failed, " settings were not taken by the camera");
    else
        outcome.result = 0;
    return outcome;
}

}  // namespace qdx::viewer
