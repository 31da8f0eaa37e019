// The viewer configuration file "QDX_Viewer.ini": section "QDX_Viewer", keys
// WindowMode and ExpertMode, integers, default 0, written back at every start.
// It follows the Windows private profile conventions: section and key names
// match without regard to case, the first matching section and key win, and a
// write changes only the value it sets, leaving every other byte in place.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qdx::viewer {

inline constexpr const char* kConfigFileName = "QDX_Viewer.ini";
inline constexpr const char* kConfigSection = "QDX_Viewer";
inline constexpr const char* kWindowModeKey = "WindowMode";
inline constexpr const char* kExpertModeKey = "ExpertMode";

// A larger file is not a settings file the viewer wrote or a person edited
// (those stay under a few KiB): it is neither read in full nor rewritten, so a
// stray file costs neither start-up time nor memory.
inline constexpr std::size_t kMaxConfigBytes = 64 * 1024;

// A profile integer: optional blanks, an optional sign and the decimal digits
// that follow; anything else ends the number, and text without a leading
// number reads as 0. Values beyond the int range are clamped.
int parseProfileInt(std::string_view text);

struct ViewerConfig {
    int windowMode = 0;  // 0 compact window, any other value wide
    int expertMode = 0;  // 0 operator menus, any other value also the expert items

    bool wide() const { return windowMode != 0; }
    bool expert() const { return expertMode != 0; }
};

// Profile text, as the bytes of the file. Lines end in LF, CR LF or CR; a line
// whose first non-blank is ';' or '#' is a comment; "[name]" opens a section;
// "key=value" is a key line. Lines before the first section belong to none.

// The value of key in the first section named section, blanks trimmed;
// nothing when the section or the key is missing. Pure.
std::optional<std::string> profileValue(std::string_view text, std::string_view section, std::string_view key);

// text with key in section set to value (neither holds a line break). An
// existing key has only its value replaced; a missing key goes after the last
// key line of the section; a missing section is appended at the end, after a
// blank line. New lines end as the file's first line does (LF in a file of
// one line). Pure.
std::string setProfileValue(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view value);

// Reads both modes from the file at path and writes them back as decimal text,
// so that the file and both keys exist after every start. A missing file gives
// the defaults and is created. A file that is not a regular file, cannot be
// read, is larger than kMaxConfigBytes or holds NUL bytes gives the defaults,
// is left untouched and earns one warning line on stderr. The write-back goes
// through a temporary file renamed over the original (which keeps its
// permissions; a symbolic link under the name is replaced, not followed, as
// by every writer of the viewer), and is skipped when the text would not
// change; a failing write is not reported. GUI thread (the file has no lock).
ViewerConfig loadAndWriteBackConfig(const std::string& path);

}  // namespace qdx::viewer
