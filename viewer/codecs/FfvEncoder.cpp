// FFV1 in Matroska through FFmpeg's libraries. libavformat never opens a
// path itself: it writes through our own I/O into the caller's file.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "CodecModule.h"
#include "live/FrameLayout.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace qdx::viewer {
namespace {

constexpr int kBorder = (kCameraSide - 400) / 2;
constexpr int kIoBufferBytes = 1 << 16;

std::string avError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

class FfvEncoder final : public LosslessEncoder {
public:
    ~FfvEncoder() override
    {
        av_packet_free(&packet_);
        av_frame_free(&picture_);
        avcodec_free_context(&codec_);
        if (format_) {
            if (format_->pb) {
                av_freep(&format_->pb->buffer);
                avio_context_free(&format_->pb);
            }
            avformat_free_context(format_);
        }
    }

    bool start(int fd, int side, bool grey, std::string& why) override;
    bool encode(const uint8_t* frame, int64_t timeMs, std::string& why) override;
    bool finish(std::string& why) override;

private:
    static int write(void* opaque, uint8_t* data, int size);
    static int64_t seek(void* opaque, int64_t offset, int whence);
    std::string failure(int code) const { return ioError_ != 0 ? std::strerror(ioError_) : avError(code); }
    bool drain(std::string& why);

    int fd_ = -1;
    int ioError_ = 0;  // the first write or seek error, as errno
    AVFormatContext* format_ = nullptr;
    AVCodecContext* codec_ = nullptr;
    AVStream* stream_ = nullptr;
    AVFrame* picture_ = nullptr;
    AVPacket* packet_ = nullptr;
};

int FfvEncoder::write(void* opaque, uint8_t* data, int size)
{
    auto* self = static_cast<FfvEncoder*>(opaque);
    for (int done = 0; done < size;) {
        const ssize_t n = ::write(self->fd_, data + done, static_cast<std::size_t>(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (self->ioError_ == 0)
                self->ioError_ = n < 0 ? errno : ENOSPC;
            return AVERROR(self->ioError_);
        }
        done += static_cast<int>(n);
    }
    return size;
}

int64_t FfvEncoder::seek(void* opaque, int64_t offset, int whence)
{
    auto* self = static_cast<FfvEncoder*>(opaque);
    if (whence & AVSEEK_SIZE) {
        struct stat info {};
        return ::fstat(self->fd_, &info) == 0 ? info.st_size : AVERROR(errno);
    }
    const off_t at = ::lseek(self->fd_, offset, whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : at;
}

bool FfvEncoder::start(int fd, int side, bool grey, std::string& why)
{
    fd_ = fd;
    const AVCodec* ffv1 = avcodec_find_encoder(AV_CODEC_ID_FFV1);
    const AVOutputFormat* matroska = av_guess_format("matroska", nullptr, nullptr);
    auto fail = [&](const std::string& reason) {
        why = reason;
        return false;
    };
    if (!ffv1 || !matroska)
        return fail("this FFmpeg has no FFV1 encoder or Matroska muxer");
    if (avformat_alloc_output_context2(&format_, matroska, nullptr, nullptr) < 0 || !format_)
        return fail("out of memory");
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    if (!buffer)
        return fail("out of memory");
    format_->pb = avio_alloc_context(buffer, kIoBufferBytes, 1, this, nullptr, &FfvEncoder::write, &FfvEncoder::seek);
    if (!format_->pb) {
        av_free(buffer);
        return fail("out of memory");
    }
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;

    codec_ = avcodec_alloc_context3(ffv1);
    stream_ = avformat_new_stream(format_, nullptr);
    picture_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!codec_ || !stream_ || !picture_ || !packet_)
        return fail("out of memory");
    codec_->width = side;
    codec_->height = side;
    codec_->pix_fmt = grey ? AV_PIX_FMT_GRAY12LE : AV_PIX_FMT_YUV422P12LE;
    codec_->time_base = AVRational{1, 1000};
    // The camera's YCbCr is full-range BT.601 (as the viewer converts it).
    codec_->color_range = AVCOL_RANGE_JPEG;
    codec_->colorspace = AVCOL_SPC_SMPTE170M;
    // Every frame a key frame: a file cut short loses nothing before the cut,
    // and each frame decodes on its own.
    codec_->gop_size = 1;
    codec_->level = 3;  // FFV1 version 3: slices with CRCs, so damage is found
    // 12-bit colour takes about 20 ms of one core a frame (the range coder
    // FFV1 needs past 8 bits): its slices are coded on up to 4 cores, so that
    // 60 frames a second fit where there are cores to spare.
    codec_->thread_count = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    codec_->slices = 4;
    if (format_->oformat->flags & AVFMT_GLOBALHEADER)
        codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set_int(codec_->priv_data, "slicecrc", 1, 0);
    // More than 8 bits need the range coder; asked for, not forced with a warning.
    av_opt_set(codec_->priv_data, "coder", "range_tab", 0);
    if (const int code = avcodec_open2(codec_, ffv1, nullptr); code < 0)
        return fail("the FFV1 encoder refused the picture: " + avError(code));
    if (avcodec_parameters_from_context(stream_->codecpar, codec_) < 0)
        return fail("out of memory");
    stream_->time_base = codec_->time_base;

    picture_->format = codec_->pix_fmt;
    picture_->width = side;
    picture_->height = side;
    if (av_frame_get_buffer(picture_, 0) < 0)
        return fail("out of memory");
    if (const int code = avformat_write_header(format_, nullptr); code < 0)
        return fail(failure(code));
    return true;
}

bool FfvEncoder::drain(std::string& why)
{
    for (;;) {
        const int got = avcodec_receive_packet(codec_, packet_);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got < 0) {
            why = failure(got);
            return false;
        }
        av_packet_rescale_ts(packet_, codec_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        const int written = av_write_frame(format_, packet_);
        av_packet_unref(packet_);
        if (written < 0 || ioError_ != 0) {
            why = failure(written);
            return false;
        }
    }
}

// The frame's side x side region as 12-bit planes, top row first: luma into
// y, and unless cb is null the chroma into cb and cr, side / 2 samples a row.
// Strides in samples.
void splitFrame(const uint8_t* frame, int side, uint16_t* y, std::ptrdiff_t yStride, uint16_t* cb, uint16_t* cr,
                std::ptrdiff_t chromaStride)
{
    const int first = side == kCameraSide ? 0 : kBorder;  // even, so pixel pairs stay whole
    for (int row = 0; row < side; ++row) {
        const std::size_t at = static_cast<std::size_t>(row + first) * kFrameRowBytes / 2 + 2 * first;
        uint16_t* luma = y + row * yStride;
        for (int x = 0; x < side; ++x)
            luma[x] = static_cast<uint16_t>(frameWord(frame, at + 2 * x + 1) >> 4);
        if (!cb)
            continue;
        uint16_t* blue = cb + row * chromaStride;
        uint16_t* red = cr + row * chromaStride;
        for (int pair = 0; pair < side / 2; ++pair) {
            blue[pair] = static_cast<uint16_t>(frameWord(frame, at + 4 * pair) >> 4);
            red[pair] = static_cast<uint16_t>(frameWord(frame, at + 4 * pair + 2) >> 4);
        }
    }
}

bool FfvEncoder::encode(const uint8_t* frame, int64_t timeMs, std::string& why)
{
    if (av_frame_make_writable(picture_) < 0) {
        why = "out of memory";
        return false;
    }
    const bool grey = codec_->pix_fmt == AV_PIX_FMT_GRAY12LE;
    auto plane = [&](int i) { return reinterpret_cast<uint16_t*>(picture_->data[i]); };
    splitFrame(frame, codec_->width, plane(0), picture_->linesize[0] / 2, grey ? nullptr : plane(1),
               grey ? nullptr : plane(2), grey ? 0 : picture_->linesize[1] / 2);
    picture_->pts = timeMs;
    if (const int code = avcodec_send_frame(codec_, picture_); code < 0) {
        why = failure(code);
        return false;
    }
    return drain(why);
}

bool FfvEncoder::finish(std::string& why)
{
    if (avcodec_send_frame(codec_, nullptr) < 0 || !drain(why)) {
        if (why.empty())
            why = "the encoder could not be flushed";
        return false;
    }
    if (const int code = av_write_trailer(format_); code < 0 || ioError_ != 0) {
        why = failure(code);
        return false;
    }
    avio_flush(format_->pb);
    if (ioError_ != 0) {
        why = std::strerror(ioError_);
        return false;
    }
    return true;
}

}  // namespace

std::unique_ptr<LosslessEncoder> newFfvEncoder()
{
    return std::make_unique<FfvEncoder>();
}

}  // namespace qdx::viewer
