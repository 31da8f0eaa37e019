// 16-bit stills: the picture at the camera's 12 bits (live/FullPrecision.h)
// as a PNG, TIFF, PGM or PPM, each carrying its frame's index, arrival time
// and the camera's settings. Beside the 8-bit pictures, which stay as they are.
//
// Samples: PGM and PPM hold the 12-bit value v itself (maxval 4095). PNG and
// TIFF have no 12-bit depth; they hold v scaled to the full 16-bit range,
// v << 4 | v >> 8 (PNG's sBIT rule, with sBIT 12), so every viewer shows the
// picture at its brightness, and v == sample >> 4 exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "QDX_API.h"
#include "core/files/AtomicFile.h"

namespace qdx::viewer {

enum class Still16Kind { Png, Tiff, Pgm, Ppm };

// By the name's extension, case ignored: .png, .tif, .tiff, .pgm, .ppm.
std::optional<Still16Kind> still16KindOf(std::string_view path);

inline uint16_t scale12To16(uint16_t v)
{
    return static_cast<uint16_t>(v << 4 | v >> 8);
}

// What every 16-bit file tells of its frame.
struct StillFacts {
    uint64_t frameIndex = 0;  // QDX_FRAME_INFO.index
    int64_t monotonicNs = 0;  // arrival, CLOCK_MONOTONIC
    int64_t wallNs = 0;       // arrival, CLOCK_REALTIME
    std::string software;     // "qdxctl 1.1.0"
    std::vector<std::pair<std::string, int>> settings;  // every setting the camera gave, by name
};

// Every setting of the viewer's table that the camera gives now, by name,
// read as `qdxctl get` reads them. Any thread that may call the library.
std::vector<std::pair<std::string, int>> readCameraSettings();

// The facts of the frame the library described in info, with the settings
// the camera has now; program ("qdxctl") gets the program's version added.
// Any thread that may call the library.
StillFacts frameFacts(const QDX_FRAME_INFO& info, const std::string& program);

// The facts as one JSON object: the TIFF's ImageDescription, and what the
// tests read back.
std::string stillDescription(const StillFacts& facts);

// The full-precision picture of a whole camera frame (convertFullPrecision,
// colour or grey, side 404 or 400). A PPM of a grey picture repeats the luma
// in its three channels; a PGM holds grey pictures only (colour is refused).
// Writes into an open file; the caller commits.
bool writeStill16(AtomicFile& file, Still16Kind kind, const uint8_t* frame, bool grey, int side,
                  const StillFacts& facts, std::string& why);

// The whole file at path, or nothing at all (see AtomicFile).
bool saveStill16(const std::string& path, Still16Kind kind, const uint8_t* frame, bool grey, int side,
                 const StillFacts& facts, std::string& why);

}  // namespace qdx::viewer
