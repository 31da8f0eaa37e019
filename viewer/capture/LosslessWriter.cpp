#include "LosslessWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/files/RegularFile.h"
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

}  // namespace

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

// libav's objects, and the file under them through our own I/O: libavformat
// never opens a path itself, so only the checked temporary file is written.
struct LosslessWriter::Impl {
    FileDescriptor file;
    std::string path, tempPath;
    int ioError = 0;  // the first write or seek error, as errno
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* picture = nullptr;
    AVPacket* packet = nullptr;
    bool headerWritten = false;

    ~Impl()
    {
        av_packet_free(&packet);
        av_frame_free(&picture);
        avcodec_free_context(&codec);
        if (format) {
            if (format->pb) {
                av_freep(&format->pb->buffer);
                avio_context_free(&format->pb);
            }
            avformat_free_context(format);
        }
    }

    static int write(void* opaque, uint8_t* data, int size)
    {
        auto* self = static_cast<Impl*>(opaque);
        for (int done = 0; done < size;) {
            const ssize_t n = ::write(self->file.get(), data + done, static_cast<std::size_t>(size - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                if (self->ioError == 0)
                    self->ioError = n < 0 ? errno : ENOSPC;
                return AVERROR(self->ioError);
            }
            done += static_cast<int>(n);
        }
        return size;
    }

    static int64_t seek(void* opaque, int64_t offset, int whence)
    {
        auto* self = static_cast<Impl*>(opaque);
        if (whence & AVSEEK_SIZE) {
            struct stat info {};
            return ::fstat(self->file.get(), &info) == 0 ? info.st_size : AVERROR(errno);
        }
        const off_t at = ::lseek(self->file.get(), offset, whence & ~AVSEEK_FORCE);
        return at < 0 ? AVERROR(errno) : at;
    }

    std::string failure(int code) const
    {
        return "'" + path + "': " + (ioError != 0 ? std::strerror(ioError) : avError(code));
    }
};

LosslessWriter::LosslessWriter() = default;

LosslessWriter::~LosslessWriter()
{
    abandon();
}

bool LosslessWriter::isOpen() const
{
    return impl_ != nullptr;
}

uint64_t LosslessWriter::fileSize() const
{
    if (!impl_)
        return 0;
    struct stat info {};
    return ::fstat(impl_->file.get(), &info) == 0 ? static_cast<uint64_t>(info.st_size) : 0;
}

void LosslessWriter::abandon()
{
    if (!impl_)
        return;
    const std::string temp = impl_->tempPath;
    impl_.reset();
    ::unlink(temp.c_str());
}

int LosslessWriter::open(const std::string& path, int side, bool grey, std::string& why)
{
    abandon();
    if (side != 400 && side != kCameraSide) {
        why = "the picture must be 400 or 404 pixels square";
        return kNotOpen;
    }
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->file = createBeside(path, impl->tempPath, why);
    if (!impl->file)
        return kNotOpen;
    impl_ = std::move(impl);  // from here on a failure removes the temporary file
    Impl& m = *impl_;
    frames_ = 0;
    lastTimeMs_ = -1;

    const AVCodec* ffv1 = avcodec_find_encoder(AV_CODEC_ID_FFV1);
    const AVOutputFormat* matroska = av_guess_format("matroska", nullptr, nullptr);
    auto fail = [&](const std::string& reason) {
        why = "'" + path + "': " + reason;
        abandon();
        return kNotOpen;
    };
    if (!ffv1 || !matroska)
        return fail("this FFmpeg has no FFV1 encoder or Matroska muxer");
    if (avformat_alloc_output_context2(&m.format, matroska, nullptr, nullptr) < 0 || !m.format)
        return fail("out of memory");
    auto* buffer = static_cast<uint8_t*>(av_malloc(kIoBufferBytes));
    if (!buffer)
        return fail("out of memory");
    m.format->pb = avio_alloc_context(buffer, kIoBufferBytes, 1, &m, nullptr, &Impl::write, &Impl::seek);
    if (!m.format->pb) {
        av_free(buffer);
        return fail("out of memory");
    }
    m.format->flags |= AVFMT_FLAG_CUSTOM_IO;

    m.codec = avcodec_alloc_context3(ffv1);
    m.stream = avformat_new_stream(m.format, nullptr);
    m.picture = av_frame_alloc();
    m.packet = av_packet_alloc();
    if (!m.codec || !m.stream || !m.picture || !m.packet)
        return fail("out of memory");
    m.codec->width = side;
    m.codec->height = side;
    m.codec->pix_fmt = grey ? AV_PIX_FMT_GRAY12LE : AV_PIX_FMT_YUV422P12LE;
    m.codec->time_base = AVRational{1, 1000};
    // The camera's YCbCr is full-range BT.601 (as the viewer converts it).
    m.codec->color_range = AVCOL_RANGE_JPEG;
    m.codec->colorspace = AVCOL_SPC_SMPTE170M;
    // Every frame a key frame: a file cut short loses nothing before the cut,
    // and each frame decodes on its own.
    m.codec->gop_size = 1;
    m.codec->level = 3;  // FFV1 version 3: slices with CRCs, so damage is found
    // 12-bit colour takes about 20 ms of one core a frame (the range coder
    // FFV1 needs past 8 bits): its slices are coded on up to 4 cores, so that
    // 60 frames a second fit where there are cores to spare.
    m.codec->thread_count = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    m.codec->slices = 4;
    if (m.format->oformat->flags & AVFMT_GLOBALHEADER)
        m.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set_int(m.codec->priv_data, "slicecrc", 1, 0);
    // More than 8 bits need the range coder; asked for, not forced with a warning.
    av_opt_set(m.codec->priv_data, "coder", "range_tab", 0);
    if (const int code = avcodec_open2(m.codec, ffv1, nullptr); code < 0)
        return fail("the FFV1 encoder refused the picture: " + avError(code));
    if (avcodec_parameters_from_context(m.stream->codecpar, m.codec) < 0)
        return fail("out of memory");
    m.stream->time_base = m.codec->time_base;

    m.picture->format = m.codec->pix_fmt;
    m.picture->width = side;
    m.picture->height = side;
    if (av_frame_get_buffer(m.picture, 0) < 0)
        return fail("out of memory");
    if (const int code = avformat_write_header(m.format, nullptr); code < 0) {
        why = m.failure(code);
        abandon();
        return kNotOpen;
    }
    m.headerWritten = true;
    return kOk;
}

bool LosslessWriter::drain(std::string& why)
{
    Impl& m = *impl_;
    for (;;) {
        const int got = avcodec_receive_packet(m.codec, m.packet);
        if (got == AVERROR(EAGAIN) || got == AVERROR_EOF)
            return true;
        if (got < 0) {
            why = m.failure(got);
            return false;
        }
        av_packet_rescale_ts(m.packet, m.codec->time_base, m.stream->time_base);
        m.packet->stream_index = m.stream->index;
        const int written = av_write_frame(m.format, m.packet);
        av_packet_unref(m.packet);
        if (written < 0 || m.ioError != 0) {
            why = m.failure(written);
            return false;
        }
    }
}

int LosslessWriter::writeFrame(const uint8_t* frame, int64_t timeMs, std::string& why)
{
    if (!impl_ || !frame)
        return kNotOpen;
    Impl& m = *impl_;
    if (av_frame_make_writable(m.picture) < 0) {
        why = "out of memory";
        return kWriteFailed;
    }
    const bool grey = m.codec->pix_fmt == AV_PIX_FMT_GRAY12LE;
    auto plane = [&](int i) { return reinterpret_cast<uint16_t*>(m.picture->data[i]); };
    splitFrame(frame, m.codec->width, plane(0), m.picture->linesize[0] / 2, grey ? nullptr : plane(1),
               grey ? nullptr : plane(2), grey ? 0 : m.picture->linesize[1] / 2);
    timeMs = std::max(timeMs, lastTimeMs_ + 1);
    m.picture->pts = timeMs;
    if (const int code = avcodec_send_frame(m.codec, m.picture); code < 0) {
        why = m.failure(code);
        return kWriteFailed;
    }
    if (!drain(why))
        return kWriteFailed;
    lastTimeMs_ = timeMs;
    ++frames_;
    return kOk;
}

int LosslessWriter::close(std::string& why)
{
    if (!impl_)
        return kNotOpen;
    Impl& m = *impl_;
    bool ok = avcodec_send_frame(m.codec, nullptr) >= 0 && drain(why);
    if (ok) {
        if (const int code = av_write_trailer(m.format); code < 0 || m.ioError != 0) {
            why = m.failure(code);
            ok = false;
        }
    }
    if (ok) {
        avio_flush(m.format->pb);
        if (m.ioError != 0 || ::fsync(m.file.get()) != 0 || !m.file.close()) {
            why = "'" + m.path + "': " + std::strerror(m.ioError != 0 ? m.ioError : errno);
            ok = false;
        }
    }
    if (ok && ::rename(m.tempPath.c_str(), m.path.c_str()) != 0) {
        why = "'" + m.path + "': " + std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        abandon();
        return kWriteFailed;
    }
    impl_.reset();
    return kOk;
}

}  // namespace qdx::viewer
