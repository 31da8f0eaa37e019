#include "AviWriter.h"

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

namespace qdx::viewer {
namespace {

constexpr uint32_t kMaxSegmentFrames = 65536;
constexpr uint32_t kLongestFrame = 0xFFFFFFFCu;  // longer ones cannot be padded in a u32 size
constexpr std::size_t kSignatureBytes = 1020;
constexpr char kSignature[] = "Made by RWK AVI 2.0";

// Header fields patched later (absolute offsets in every file).
constexpr uint64_t kMicroSecPerFrame = 32;
constexpr uint64_t kMaxBytesPerSec = 36;
constexpr uint64_t kMainFlags = 44;
constexpr uint64_t kMainTotalFrames = 48;
constexpr uint64_t kMainBufferSize = 60;
constexpr uint64_t kMainWidth = 64;
constexpr uint64_t kStreamScale = 128;
constexpr uint64_t kStreamLength = 140;
constexpr uint64_t kStreamBufferSize = 144;
constexpr uint64_t kStreamFrameRight = 160;
constexpr uint64_t kBitmapWidth = 176;
constexpr uint64_t kBitmapImageSize = 192;
constexpr uint64_t kSuperEntriesInUse = 224;
constexpr uint64_t kSuperEntries = 244;

// avih flags: trust the chunk types, and (finished) an idx1 index is there.
constexpr uint32_t kTrustChunkTypes = 0x800;
constexpr uint32_t kHasIndex = 0x10;

// Little-endian bytes appended to a block written in one go.
class Bytes {
public:
    void fourcc(const char* text)
    {
        for (int i = 0; i < 4; ++i)
            bytes_.push_back(static_cast<uint8_t>(text[i]));
    }
    void u8(uint8_t v) { bytes_.push_back(v); }
    void u16(uint16_t v) { put(v, 2); }
    void u32(uint32_t v) { put(v, 4); }
    void u64(uint64_t v) { put(v, 8); }
    void zeros(std::size_t n) { bytes_.resize(bytes_.size() + n, 0); }
    const std::vector<uint8_t>& data() const { return bytes_; }

private:
    void put(uint64_t v, int n)
    {
        for (int i = 0; i < n; ++i)
            bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    std::vector<uint8_t> bytes_;
};

// A double result truncated toward zero, saturated to 64 bits, low 32 bits kept.
uint32_t low32(double value)
{
    if (!(value > 0))
        return 0;
    if (value >= 18446744073709551615.0)
        return static_cast<uint32_t>(std::numeric_limits<uint64_t>::max());
    return static_cast<uint32_t>(static_cast<uint64_t>(value));
}

// Writes every byte of the vectors at pos; false on any failure.
bool pwriteAll(int fd, iovec* iov, int count, uint64_t pos)
{
    while (count > 0) {
        const ssize_t done = ::pwritev(fd, iov, count, static_cast<off_t>(pos));
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return false;
        pos += static_cast<uint64_t>(done);
        auto left = static_cast<std::size_t>(done);
        while (count > 0 && left >= iov->iov_len) {
            left -= iov->iov_len;
            ++iov;
            --count;
        }
        if (count > 0) {
            iov->iov_base = static_cast<char*>(iov->iov_base) + left;
            iov->iov_len -= left;
        }
    }
    return true;
}

}  // namespace

AviWriter::AviWriter(Limits limits) : limits_(limits)
{
    limits_.segmentFrames = std::min(limits_.segmentFrames, kMaxSegmentFrames);
}

AviWriter::~AviWriter()
{
    close();
}

int AviWriter::open(const std::string& path, int maxSegments)
{
    std::string why;
    return open(path, maxSegments, why);
}

int AviWriter::open(const std::string& path, int maxSegments, std::string& why)
{
    if (fd_ >= 0)
        close();
    if (maxSegments < 1) {
        why = path + ": no index entry to reserve";
        return kNotOpen;
    }
    // Written beside and renamed into place once its header is there: a file
    // that cannot be started (a full disk) leaves the one under the name as
    // it was, and a link there is replaced, never followed.
    std::string tempPath;
    FileDescriptor file = createBeside(path, tempPath, why);
    if (!file)
        return kNotOpen;
    if (open(std::move(file), maxSegments) != kOk) {
        why = path + ": " + (errno != 0 ? std::strerror(errno) : "cannot be written");
        ::unlink(tempPath.c_str());
        return kNotOpen;
    }
    if (::rename(tempPath.c_str(), path.c_str()) != 0) {
        why = path + ": " + std::strerror(errno);
        ::close(fd_);
        fd_ = -1;
        ::unlink(tempPath.c_str());
        return kNotOpen;
    }
    return kOk;
}

int AviWriter::open(FileDescriptor file, int maxSegments)
{
    if (fd_ >= 0)
        close();
    if (maxSegments < 1 || !file)
        return kNotOpen;
    // Everything about the previous file goes.
    full_ = broken_ = false;
    framesInSegment_ = totalFrames_ = firstSegmentFrames_ = maxChunkSize_ = 0;
    segmentCount_ = 0;
    maxSegments_ = maxSegments;
    rate_ = scale_ = 0;
    pos_ = riffDataPos_ = moviPos_ = dmlhFramesPos_ = 0;
    try {
        chunkSizes_.assign(kMaxSegmentFrames, 0);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return kNotOpen;
    }
    fd_ = file.release();
    errno = 0;
    if (!beginSegment()) {
        const int error = errno;
        ::close(fd_);
        fd_ = -1;
        errno = error;
        return kNotOpen;
    }
    return kOk;
}

bool AviWriter::writeAll(const void* data, std::size_t size)
{
    iovec iov{const_cast<void*>(data), size};
    if (!pwriteAll(fd_, &iov, 1, pos_)) {
        broken_ = true;
        return false;
    }
    pos_ += size;
    return true;
}

bool AviWriter::put32(uint64_t pos, uint32_t value)
{
    uint8_t bytes[4];
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<uint8_t>(value >> (8 * i));
    iovec iov{bytes, sizeof bytes};
    return pwriteAll(fd_, &iov, 1, pos);
}

bool AviWriter::patch32(uint64_t pos, uint32_t value)
{
    if (put32(pos, value))
        return true;
    broken_ = true;
    return false;
}

bool AviWriter::beginSegment()
{
    Bytes b;
    if (segmentCount_ > 0) {
        b.fourcc("RIFF");
        b.u32(0);
        b.fourcc("AVIX");
        b.fourcc("LIST");
        b.u32(0);
        b.fourcc("movi");
        riffDataPos_ = pos_ + 8;
        moviPos_ = pos_ + 20;
        return writeAll(b.data().data(), b.data().size());
    }
    const auto n = static_cast<uint32_t>(maxSegments_);
    b.fourcc("RIFF");
    b.u32(0);  // patched when the segment is finished
    b.fourcc("AVI ");
    b.fourcc("LIST");
    b.u32(248 + 16 * n);
    b.fourcc("hdrl");
    b.fourcc("avih");
    b.u32(56);
    for (uint32_t v : {0u, 0u, 4u, kTrustChunkTypes | kHasIndex, 0u, 0u, 1u, 0u, 0u, 0u, 0u, 0u, 0u, 0u})
        b.u32(v);
    b.fourcc("LIST");
    b.u32(148 + 16 * n);
    b.fourcc("strl");
    b.fourcc("strh");
    b.u32(56);
    b.fourcc("vids");
    b.fourcc("MJPG");
    b.zeros(48);  // flags .. rcFrame: all known later or 0
    b.fourcc("strf");
    b.u32(40);
    b.u32(40);
    b.u32(0);
    b.u32(0);
    b.u16(1);
    b.u16(24);
    b.fourcc("MJPG");
    b.zeros(20);
    b.fourcc("indx");
    b.u32(24 + 16 * n);
    b.u16(4);
    b.u8(0);
    b.u8(0);
    b.u32(0);
    b.fourcc("00db");
    b.zeros(12);
    b.zeros(16 * std::size_t{n});  // super index entries, filled as segments finish
    b.fourcc("LIST");
    b.u32(16);
    b.fourcc("odml");
    b.fourcc("dmlh");
    b.u32(4);
    dmlhFramesPos_ = b.data().size();
    b.fourcc("CUNT");  // stays while the file is open: a reader sees an unfinished file
    b.fourcc("JUNK");
    b.u32(kSignatureBytes);
    for (const char* c = kSignature; *c; ++c)
        b.u8(static_cast<uint8_t>(*c));
    b.zeros(kSignatureBytes - (sizeof kSignature - 1));
    b.fourcc("LIST");
    b.u32(0);
    moviPos_ = b.data().size();
    b.fourcc("movi");
    riffDataPos_ = 8;
    return writeAll(b.data().data(), b.data().size());
}

bool AviWriter::finishSegment()
{
    const uint32_t n = framesInSegment_;
    const uint64_t indexPos = pos_;
    Bytes ix;
    ix.fourcc("ix00");
    ix.u32(24 + 8 * n);
    ix.u16(2);
    ix.u8(0);
    ix.u8(1);
    ix.u32(n);
    ix.fourcc("00db");
    ix.u64(moviPos_ + 4);
    ix.u32(0);
    uint32_t offset = 8;
    for (uint32_t i = 0; i < n; ++i) {
        ix.u32(offset);
        ix.u32(chunkSizes_[i]);
        offset += chunkSizes_[i] + 8;
    }
    bool ok = writeAll(ix.data().data(), ix.data().size());
    ok = ok && patch32(moviPos_ - 4, static_cast<uint32_t>(pos_ - moviPos_));
    if (ok && segmentCount_ == 0) {
        firstSegmentFrames_ = n;
        Bytes idx;
        idx.fourcc("idx1");
        idx.u32(16 * n);
        offset = 4;
        for (uint32_t i = 0; i < n; ++i) {
            idx.fourcc("00db");
            idx.u32(0x10);
            idx.u32(offset);
            idx.u32(chunkSizes_[i]);
            offset += chunkSizes_[i] + 8;
        }
        ok = writeAll(idx.data().data(), idx.data().size());
    }
    ok = ok && patch32(riffDataPos_ - 4, static_cast<uint32_t>(pos_ - riffDataPos_));
    if (ok && segmentCount_ < maxSegments_) {
        Bytes entry;
        entry.u64(indexPos);
        entry.u32(32 + 8 * n);
        entry.u32(n);
        iovec iov{const_cast<uint8_t*>(entry.data().data()), entry.data().size()};
        ok = pwriteAll(fd_, &iov, 1, kSuperEntries + 16 * static_cast<uint64_t>(segmentCount_));
        broken_ = broken_ || !ok;
    }
    ++segmentCount_;
    framesInSegment_ = 0;
    return ok;
}

int AviWriter::setFrameSize(int32_t width, int32_t height)
{
    if (fd_ < 0)
        return kNotOpen;
    const auto w = static_cast<uint32_t>(width), h = static_cast<uint32_t>(height);
    const int64_t imageSize = (3 * int64_t{width} + 3) / 4 * 4 * height;
    bool ok = patch32(kMainWidth, w) && patch32(kMainWidth + 4, h);
    ok = ok && patch32(kStreamFrameRight, (w & 0xFFFF) | (h & 0xFFFF) << 16);
    ok = ok && patch32(kBitmapWidth, w) && patch32(kBitmapWidth + 4, h);
    ok = ok && patch32(kBitmapImageSize, static_cast<uint32_t>(imageSize));
    return ok ? kOk : kWriteFailed;
}

int AviWriter::setFrameRate(uint32_t rate, uint32_t scale)
{
    if (fd_ < 0 || rate == 0 || scale == 0)
        return kNotOpen;
    rate_ = rate;
    scale_ = scale;
    bool ok = patch32(kStreamScale, scale) && patch32(kStreamScale + 4, rate);
    ok = ok && patch32(kMicroSecPerFrame, low32(static_cast<double>(scale) * 1000000.0 / rate));
    return ok ? kOk : kWriteFailed;
}

int AviWriter::writeFrame(const uint8_t* data, uint32_t length)
{
    if (fd_ < 0 || length > kLongestFrame || (data == nullptr && length != 0))
        return kNotOpen;
    if (full_)
        return kFull;
    if (static_cast<int64_t>(pos_ - riffDataPos_) > limits_.segmentBytes ||
        framesInSegment_ >= limits_.segmentFrames) {
        const bool finished = finishSegment();
        if (!finished || segmentCount_ >= maxSegments_) {
            // Nothing more goes into this file; close still patches the header.
            full_ = true;
            return finished ? kFull : kWriteFailed;
        }
        if (!beginSegment()) {
            full_ = true;
            return kWriteFailed;
        }
    }
    const uint32_t padded = (length + 3) & ~3u;
    uint8_t header[8] = {'0', '0', 'd', 'b'};
    for (int i = 0; i < 4; ++i)
        header[4 + i] = static_cast<uint8_t>(padded >> (8 * i));
    uint8_t fill[3] = {0xFF, 0xFF, 0xFF};
    iovec iov[3] = {{header, sizeof header}, {const_cast<uint8_t*>(data), length}, {fill, padded - length}};
    if (!pwriteAll(fd_, iov, padded == length ? 2 : 3, pos_)) {
        // Cut back to where the chunk began: the file holds the counted frames only.
        if (::ftruncate(fd_, static_cast<off_t>(pos_)) != 0)
            broken_ = true;
        return kWriteFailed;
    }
    pos_ += 8 + padded;
    maxChunkSize_ = std::max(maxChunkSize_, padded);
    chunkSizes_[framesInSegment_] = padded;
    ++framesInSegment_;
    ++totalFrames_;
    return kOk;
}

bool AviWriter::patchCounts(uint32_t mainFrames)
{
    const uint32_t maxBytesPerSec =
        scale_ == 0 ? 0 : low32(static_cast<double>(maxChunkSize_) * rate_ / scale_);
    return put32(kMainTotalFrames, mainFrames) && put32(kStreamLength, totalFrames_) &&
           put32(kMainBufferSize, maxChunkSize_) && put32(kMaxBytesPerSec, maxBytesPerSec) &&
           put32(kStreamBufferSize, maxChunkSize_);
}

int AviWriter::refresh()
{
    if (fd_ < 0)
        return kNotOpen;
    if (full_)
        return kOk;  // no segment is open: the sizes are final already
    // The sizes first: a kill between these writes leaves counts that the
    // sizes already cover. dmlh keeps "CUNT" and the super index stays
    // empty until close, so the file still reads as unfinished; and no index
    // is claimed, since idx1 (once there) covers the first segment only:
    // GStreamer then walks the chunks of every segment instead.
    const uint32_t mainFrames = segmentCount_ == 0 ? framesInSegment_ : firstSegmentFrames_;
    const bool ok = put32(moviPos_ - 4, static_cast<uint32_t>(pos_ - moviPos_)) &&
                    put32(riffDataPos_ - 4, static_cast<uint32_t>(pos_ - riffDataPos_)) &&
                    put32(kMainFlags, kTrustChunkTypes) && patchCounts(mainFrames);
    return ok ? kOk : kWriteFailed;
}

uint64_t AviWriter::closingBytes() const
{
    const uint64_t n = framesInSegment_ + 1;
    return 32 + 8 * n + (segmentCount_ == 0 ? 8 + 16 * n : 0);
}

int AviWriter::close()
{
    if (fd_ < 0)
        return kNotOpen;
    // An empty first segment is finished too, so that even a file without
    // frames has its sizes and indexes. A full writer has no segment open.
    if (!full_)
        finishSegment();
    patch32(kSuperEntriesInUse, static_cast<uint32_t>(std::min(segmentCount_, maxSegments_)));
    patch32(kMainFlags, kTrustChunkTypes | kHasIndex);
    if (!patchCounts(firstSegmentFrames_))
        broken_ = true;
    patch32(dmlhFramesPos_, totalFrames_);
    // No fdatasync: the GUI waits for this close, and flushing gigabytes of a
    // long recording would freeze it. Every write has been checked already.
    if (::close(fd_) != 0)
        broken_ = true;
    fd_ = -1;
    chunkSizes_.clear();
    chunkSizes_.shrink_to_fit();
    return broken_ ? kWriteFailed : kOk;
}

}  // namespace qdx::viewer
