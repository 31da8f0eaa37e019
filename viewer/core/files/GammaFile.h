// The gamma table text file: 4,096 lines "a,b,c", entry i of gamma tables 0,
// 1 and 2, each line ending in CR LF. Qt-free.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qdx::viewer {

inline constexpr int kGammaTables = 3;
inline constexpr int kGammaEntries = 4096;
inline constexpr int kGammaTableBytes = 2 * kGammaEntries;  // 16-bit big-endian entries

// The three tables as the camera takes them, table 0 first.
using GammaTables = std::array<std::array<uint8_t, kGammaTableBytes>, kGammaTables>;

// Reads the file's text line by line (CR LF or LF; a line of more than 255
// characters is read as several): lines starting with '#', '/' or ';' and
// lines shorter than 6 characters, the line end counted as one, are skipped;
// a line beginning with three integers separated by commas (blanks and a sign
// allowed before each, each comma right after its integer, anything after the
// third ignored) is the next entry, its values kept as their low 16 bits; an
// integer beyond 32 bits makes the line no entry. Reading stops after 4,096
// entries. The text may come in pieces of any size.
class GammaParser {
public:
    explicit GammaParser(GammaTables& tables) : tables_(tables) {}
    // Takes the next piece of the text; false once 4,096 entries are in, and
    // then the rest of the text is not wanted.
    bool feed(std::string_view piece);
    // The end of the text (a last line without a line end counts). True
    // when exactly 4,096 entries were found.
    bool finish();
    int entries() const { return entries_; }

private:
    void take(char c);
    void endLine();

    GammaTables& tables_;
    std::string line_;       // the line so far, at most 255 characters
    bool heldCr_ = false;    // a CR that may begin a CR LF
    int entries_ = 0;
};

// The whole text at once; true when exactly 4,096 entries were found.
bool parseGammaText(std::string_view text, GammaTables& tables);

// Gamma files are read until their 4,096th entry, and not beyond this size.
inline constexpr std::size_t kMaxGammaFileBytes = 1024 * 1024;

// The file at path (a regular file, read as above without waiting on a FIFO
// and never past its 4,096th entry or kMaxGammaFileBytes); false with why
// when it cannot be read or is not a gamma file; tables may then be partly filled.
bool readGammaFile(const std::string& path, GammaTables& tables, std::string& why);

// The 4,096 lines of the file.
std::string gammaText(const GammaTables& tables);

// Writes the file whole or not at all (AtomicFile); false with why on failure.
bool writeGammaFile(const std::string& path, const GammaTables& tables, std::string& why);

// Entry i = i in every table: the camera's linear curve.
GammaTables identityGamma();

}  // namespace qdx::viewer
