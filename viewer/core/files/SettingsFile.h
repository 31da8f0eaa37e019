// The ".qdx" settings file: the camera's image-processing settings as text,
// saved from one camera and loaded into the same or another one.
//
//   #QDX_Setting_Data_(Do_not_edit_manually)
//   0
//   ...                      38 signed decimal values, one a line, LF only
//
// The values are the library's own (as its getters report them), in a fixed
// order. Loading reads and checks the whole file before the first value goes
// to the camera: a file that is cut short, edited into nonsense or not a
// settings file at all changes nothing. Saving writes the file whole or not
// at all. Qt-free.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/model/Settings.h"

namespace qdx::viewer {

inline constexpr std::string_view kSettingsFileHeader = "#QDX_Setting_Data_(Do_not_edit_manually)";
inline constexpr int kSettingsFileValues = 38;
inline constexpr int kSettingsFileLines = 1 + kSettingsFileValues;

// How the library encodes a value into its register, and so the values a
// file may hold for it.
enum class ValueEncoding {
    U16,  // 0..65535
    Sm8,  // sign and magnitude: -255..255
    S9,   // -256..255
};

struct SettingsFileRow {
    SettingId setting;
    ValueEncoding encoding;
};

// The rows after the header, in file order (the order they are read and sent).
std::span<const SettingsFileRow, kSettingsFileValues> settingsFileRows();

using SettingsFileValues = std::array<int, kSettingsFileValues>;

// Why a file was refused: the 1-based line and the reason.
struct SettingsFileProblem {
    int line = 0;
    std::string reason;
    std::string text() const;  // "line 12: ..."
};

// The whole file: the header line, then exactly one value a line (an optional
// sign, decimal digits), each within its encoding's range. Blanks and a CR around a line are allowed (files
// edited elsewhere); after the last value only blank lines. Nothing else.
std::optional<SettingsFileValues> parseSettingsFile(std::string_view text, SettingsFileProblem& problem);
// The file's bytes: 39 lines, each ended by one LF.
std::string formatSettingsFile(const SettingsFileValues& values);

// Save and Load with the camera. result: 0 success, -1 failure.
struct SettingsFileOutcome {
    int result = -1;
    bool cameraChanged = false;  // load: the file was valid and its values were sent
    int refusedLine = 0;         // load: the line for which the file was refused; 0 if it was not
    std::string why;             // for a failure: what went wrong, naming the path
};

// Reads every setting from the camera, then writes the file. Any setting
// that cannot be read fails the save, and then no file is written: one
// already under the name stays as it was.
SettingsFileOutcome saveSettingsFile(const std::string& path);
// Reads and checks the whole file, then sends all 38 values in file order
// (each once, failures counted). A refused file sends nothing.
SettingsFileOutcome loadSettingsFile(const std::string& path);

// The two halves of a load, for a caller that reads the file before it
// opens the camera. The file must be a regular file of at most 64 KiB
// (never waited on) and each value one the settings table offers for its
// setting (Mode 0, 1 or 3; Exposure Time 0..438); otherwise nothing, with
// outcome.why and, for a refused line, outcome.refusedLine set.
std::optional<SettingsFileValues> readSettingsFile(const std::string& path, SettingsFileOutcome& outcome);
SettingsFileOutcome sendSettingsFile(const std::string& path, const SettingsFileValues& values);

}  // namespace qdx::viewer
