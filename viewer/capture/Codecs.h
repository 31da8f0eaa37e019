// The codec libraries, FFmpeg's for lossless recordings and libtiff for TIFF
// stills, are used from a module of their own, libqdx_codecs.so, loaded the
// first time a file needs one. Linked into the programs they were loaded at
// every start, though few runs use them: FFmpeg's libraries bring some 130
// others, 35 ms at each qdxctl command and 16 MiB in the viewer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace qdx::viewer {

// FFV1 in Matroska, written into a file descriptor the caller owns and
// syncs; whole camera frames in, the 12-bit values as they came. One thread
// uses an instance.
class LosslessEncoder {
public:
    virtual ~LosslessEncoder() = default;
    // The headers for side x side pictures (400: from camera pixel 2, 2;
    // 404: all of it), 12-bit grey or 4:2:2 colour. False with why.
    virtual bool start(int fd, int side, bool grey, std::string& why) = 0;
    // One whole camera frame (QDX_FRAME_BYTES) at timeMs, a millisecond
    // count that increases from frame to frame. False with why.
    virtual bool encode(const uint8_t* frame, int64_t timeMs, std::string& why) = 0;
    // Flushes the encoder and writes the index. False with why.
    virtual bool finish(std::string& why) = 0;
};

// A 16-bit TIFF: side x side pixels of channels (1 grey, 3 RGB) samples,
// bytes in the host's order, one strip; description, software and dateTime
// ("YYYY:MM:DD HH:MM:SS", empty for none) as tags. False with why.
struct TiffPicture {
    const uint8_t* bytes = nullptr;
    std::size_t length = 0;
    int side = 0;
    int channels = 1;
    std::string description, software, dateTime;
};

// What the module hands out. Its layout is shared by the programs and the
// module built with them; kCodecTableVersion tells a module of another build.
inline constexpr int kCodecTableVersion = 1;
struct CodecTable {
    int version = kCodecTableVersion;
    std::unique_ptr<LosslessEncoder> (*newLosslessEncoder)() = nullptr;
    bool (*writeTiff)(std::FILE* stream, const TiffPicture& picture, std::string& why) = nullptr;
};

// The module's table, loaded on the first call (any thread); null with why
// when the module cannot be loaded. Looked for beside libQDX_API.so, then
// where the dynamic linker looks.
const CodecTable* codecs(std::string& why);

}  // namespace qdx::viewer
