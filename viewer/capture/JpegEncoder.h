// Baseline JPEG (quality 80, 4:2:0) of the capture picture, through
// TurboJPEG, into one buffer sized for the worst case when the encoder is
// made, so that recording allocates nothing per frame. Qt-free; one thread
// uses an instance.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace qdx::viewer {

class JpegEncoder {
public:
    static constexpr int kQuality = 80;

    // side: the picture's side, 404 or 400 (any side > 0 works).
    explicit JpegEncoder(int side);
    ~JpegEncoder();
    JpegEncoder(const JpegEncoder&) = delete;
    JpegEncoder& operator=(const JpegEncoder&) = delete;

    // The TurboJPEG handle and the buffer exist.
    bool valid() const { return handle_ != nullptr && !buffer_.empty(); }
    int side() const { return side_; }

    // Encodes a side x side picture, 3 bytes a pixel blue-green-red, rows
    // bottom-up. The JPEG's length (its bytes stay in jpeg() until the next
    // call), or 0 when encoding failed: never an empty picture taken for one.
    uint32_t encodeJpegToStream(const uint8_t* bgrBottomUp);
    std::span<const uint8_t> jpeg() const { return {buffer_.data(), length_}; }

private:
    void* handle_ = nullptr;  // tjhandle
    int side_;
    std::vector<uint8_t> buffer_;
    uint32_t length_ = 0;
};

}  // namespace qdx::viewer
