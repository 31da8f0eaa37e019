#include "SettingsFile.h"

#include "AtomicFile.h"
#include "QDX_API.h"
#include "RegularFile.h"

namespace qdx::viewer {
namespace {

// A settings file is a few hundred bytes; anything this large is something else.
constexpr std::size_t kLargestFile = 64 * 1024;

// Each value must be one the pages or qdxctl could have sent; the library
// would take any value its register holds.
bool checkRanges(const SettingsFileValues& values, SettingsFileProblem& problem)
{
    for (std::size_t i = 0; i < values.size(); ++i) {
        const SettingId id = settingsFileRows()[i].setting;
        if (!settingTakes(id, values[i])) {
            problem = {static_cast<int>(i) + 2,
                       std::to_string(values[i]) + " is not a value of " + setting(id).name + " (" +
                           settingValuesText(id) + ")"};
            return false;
        }
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

std::optional<SettingsFileValues> readSettingsFile(const std::string& path, SettingsFileOutcome& outcome)
{
    std::string text;
    if (!readRegularFile(path, kLargestFile, text, outcome.why))
        return std::nullopt;
    SettingsFileProblem problem;
    auto values = parseSettingsFile(text, problem);
    if (!values || !checkRanges(*values, problem)) {
        outcome.why = path + ": " + problem.text();
        outcome.refusedLine = problem.line;
        return std::nullopt;
    }
    return values;
}

SettingsFileOutcome sendSettingsFile(const std::string& path, const SettingsFileValues& values)
{
    SettingsFileOutcome outcome;
    outcome.cameraChanged = true;
    int failed = 0;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (setting(settingsFileRows()[i].setting).send(values[i]) != QDX_OK)
            ++failed;
    if (failed != 0)
        outcome.why = path + ": " + countOf(failed, " settings were not taken by the camera");
    else
        outcome.result = 0;
    return outcome;
}

SettingsFileOutcome loadSettingsFile(const std::string& path)
{
    SettingsFileOutcome outcome;
    const auto values = readSettingsFile(path, outcome);
    return values ? sendSettingsFile(path, *values) : outcome;
}

}  // namespace qdx::viewer
