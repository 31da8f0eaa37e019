// Writes an AVI 2.0 (OpenDML) file of one Motion-JPEG video stream: the
// "RIFF AVI " segment with its headers, a super index with N reserved
// entries, an "ix00" standard index closing every segment's frame list, the
// AVI 1.0 "idx1" index after the first segment, and "RIFF AVIX" segments
// while reserved super index entries remain. It writes strictly forward and
// patches the placeholders when a segment is finished and at close; refresh()
// patches the sizes and counts of the frames so far, so that a file whose
// writer was killed plays up to the last refresh.
//
// Qt-free. One thread uses an instance, from open to close.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/files/RegularFile.h"

namespace qdx::viewer {

class AviWriter {
public:
    // Results of the operations.
    static constexpr int kOk = 0;
    static constexpr int kNotOpen = -1;     // no file open, or an argument refused
    static constexpr int kFull = -2;        // writeFrame: no segment left; stays so until close
    static constexpr int kWriteFailed = 1;  // writeFrame: frame not written; close: the file is broken

    // When a segment counts as full. The defaults are the format's; tests
    // lower them to reach the limits quickly.
    struct Limits {
        int64_t segmentBytes = 0x7E000000;  // bytes after the RIFF size field, tested before each frame
        uint32_t segmentFrames = 65536;     // at most this many frames a segment
    };

    AviWriter() = default;
    explicit AviWriter(Limits limits);
    ~AviWriter();  // closes a file still open
    AviWriter(const AviWriter&) = delete;
    AviWriter& operator=(const AviWriter&) = delete;

    // Creates (or truncates) path and writes the first segment's header with
    // maxSegments (N >= 1) super index entries. A file still open is closed
    // first. kNotOpen, with why ("PATH: reason"), when the file cannot be
    // created or written; only a regular file is written (RegularFile.h).
    int open(const std::string& path, int maxSegments, std::string& why);
    int open(const std::string& path, int maxSegments = 1);
    // The same into an empty file already open for writing, which the writer
    // then owns (a temporary file that replaces another once finished).
    int open(FileDescriptor file, int maxSegments);
    // Patch the picture size or the rate (rate / scale frames a second) in
    // place. setFrameRate refuses rate or scale 0 (kNotOpen, old values kept).
    int setFrameSize(int32_t width, int32_t height);
    int setFrameRate(uint32_t rate, uint32_t scale);
    // Appends one frame (a complete JPEG). kOk; kWriteFailed when the bytes
    // could not be written (the file is cut back to the frame before and the
    // frame is not counted); kFull when the last segment is full (nothing is
    // written, now or later); kNotOpen without a file or for a frame too long
    // for a chunk.
    int writeFrame(const uint8_t* data, uint32_t length);
    // Patches the RIFF and movi sizes and the frame counts in the headers to
    // cover the frames written so far, without any flush: a reader of the file
    // as it is after a kill finds consistent headers for those frames, and the
    // frames written after the refresh are simply not counted. Fields that
    // close() writes anyway; a finished file is the same with or without
    // refreshes. kOk, kWriteFailed (the file is not marked broken: close
    // writes the same fields again), kNotOpen without a file.
    int refresh();
    // Finishes the file and closes it: kOk, kWriteFailed when any write,
    // the flush or the close failed (the file is not to be trusted), kNotOpen
    // without a file.
    int close();

    bool isOpen() const { return fd_ >= 0; }
    uint32_t totalFrames() const { return totalFrames_; }
    // Bytes in the file so far.
    uint64_t fileSize() const { return pos_; }
    // The most a close still appends: the indexes of the open segment.
    uint64_t closingBytes() const;

private:
    bool writeAll(const void* data, std::size_t size);
    bool put32(uint64_t pos, uint32_t value);    // false on failure
    bool patch32(uint64_t pos, uint32_t value);  // and the file is broken on failure
    bool beginSegment();
    bool finishSegment();
    bool patchCounts(uint32_t mainFrames);

    Limits limits_;
    int fd_ = -1;
    bool full_ = false;    // kFull was returned: nothing more is written
    bool broken_ = false;  // a write outside a frame's data failed
    std::vector<uint32_t> chunkSizes_;  // padded sizes of the open segment's frames
    uint32_t framesInSegment_ = 0;
    uint32_t totalFrames_ = 0;
    int segmentCount_ = 0;
    int maxSegments_ = 1;
    uint32_t firstSegmentFrames_ = 0;
    uint32_t maxChunkSize_ = 0;
    uint32_t rate_ = 0, scale_ = 0;
    uint64_t pos_ = 0;  // end of the file, where the next write goes
    uint64_t riffDataPos_ = 0;
    uint64_t moviPos_ = 0;
    uint64_t dmlhFramesPos_ = 0;
};

}  // namespace qdx::viewer
