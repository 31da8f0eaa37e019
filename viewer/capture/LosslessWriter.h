// Writes camera frames losslessly: FFV1 in Matroska, the 12-bit values as
// they came. Colour as 4:2:2 planes (Y, Cb, Cr de-interleaved from the
// frame's Cb Y0 Cr Y1 words), luma data as 12-bit grey; the picture is the
// recording's region, 400 x 400 (border cut off) or the whole 404 x 404.
// Each frame carries its own time in milliseconds, so a stall or an absence
// of the camera stays a gap in the file.
//
// The file is written under a temporary name beside the path and renamed
// over it only by a close that finished it; a writer that fails or is killed
// leaves no file under the name. The encoding is the codec module's
// (Codecs.h). Qt-free; one thread uses an instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qdx::viewer {

class LosslessWriter {
public:
    static constexpr int kOk = 0;
    static constexpr int kNotOpen = -1;     // no file open, or an argument refused
    static constexpr int kWriteFailed = 1;  // the file cannot be finished

    LosslessWriter();
    ~LosslessWriter();  // abandons a file still open: the temporary goes, the path is untouched
    LosslessWriter(const LosslessWriter&) = delete;
    LosslessWriter& operator=(const LosslessWriter&) = delete;

    // Creates the temporary file beside path (only a regular file or a new
    // one may be replaced, RegularFile.h) and writes the headers for side x
    // side pictures (400 or 404), grey or colour. kNotOpen with why.
    int open(const std::string& path, int side, bool grey, std::string& why);
    // Encodes one whole camera frame (QDX_FRAME_BYTES) shown at timeMs after
    // the first; a time not after the last one's is moved to 1 ms after it
    // (Matroska's times are whole milliseconds and must increase). kOk, or
    // kWriteFailed with why (the file is then abandoned at close).
    int writeFrame(const uint8_t* frame, int64_t timeMs, std::string& why);
    // Flushes the encoder, writes the index, syncs and renames the file over
    // the path. kOk, kWriteFailed with why (nothing is left under the path),
    // kNotOpen without a file.
    int close(std::string& why);

    bool isOpen() const;
    uint32_t frames() const { return frames_; }
    uint64_t fileSize() const;

private:
    struct Impl;
    void abandon();

    std::unique_ptr<Impl> impl_;
    uint32_t frames_ = 0;
    int64_t lastTimeMs_ = -1;
};

}  // namespace qdx::viewer
