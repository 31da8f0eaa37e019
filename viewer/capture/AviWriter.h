// Writes an AVI 2.0 (OpenDML) file of one Motion-JPEG video stream: the
// "RIFF AVI " segment with its headers, a super index with N reserved
// entries, an "ix00" standard index closing every segment's frame list, the
// AVI 1.0 "idx1" index after the first segment, and "RIFF AVIX" segments
// while reserved super index entries remain. It writes strictly forward and
// patches the placeholders when a segment is finished and at close.
//
// Qt-free. One thread uses an instance, from open to close.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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
    // first. kNotOpen when the file cannot be created or written.
    int open(const std::string& path, int maxSegments = 1);
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
    bool patch32(uint64_t pos, uint32_t value);
    bool beginSegment();
    bool finishSegment();

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
