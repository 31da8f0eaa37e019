#include "AviRepair.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/files/AtomicFile.h"
#include "core/files/RegularFile.h"

namespace qdx::viewer {
namespace {

// Far more than any picture of the camera: a larger chunk is taken for
// garbage, not read into memory.
constexpr uint32_t kLongestFrame = 64u << 20;
// More super index entries than this are not a header the writer made.
constexpr uint32_t kMostSegments = 4096;

bool isTag(const uint8_t* at, const char* tag)
{
    return std::memcmp(at, tag, 4) == 0;
}

uint32_t le32(const uint8_t* at)
{
    return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24;
}

// Reads of the input at given offsets, never past the size it had when opened.
class Input {
public:
    bool open(const std::string& path, std::string& why)
    {
        path_ = path;
        file_ = openRegularFile(path, why);
        struct stat status {};
        if (file_ && ::fstat(file_.get(), &status) != 0)
            return fail(why);
        size_ = static_cast<uint64_t>(status.st_size);
        return static_cast<bool>(file_);
    }
    uint64_t size() const { return size_; }
    bool fits(uint64_t pos, uint64_t bytes) const { return pos <= size_ && bytes <= size_ - pos; }
    // False with why on a read error; a read past the end is refused by fits().
    bool read(uint64_t pos, void* data, std::size_t bytes, std::string& why)
    {
        auto* to = static_cast<uint8_t*>(data);
        while (bytes > 0) {
            const ssize_t got = ::pread(file_.get(), to, bytes, static_cast<off_t>(pos));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                return fail(why);
            if (got == 0) {
                why = path_ + ": shorter than when it was opened";
                return false;
            }
            to += got;
            pos += static_cast<uint64_t>(got);
            bytes -= static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    bool fail(std::string& why)
    {
        why = path_ + ": " + std::strerror(errno);
        return false;
    }

    std::string path_;
    FileDescriptor file_;
    uint64_t size_ = 0;
};

struct Header {
    int32_t width = 0, height = 0;
    uint32_t rate = 0, scale = 0;
    int segments = 1;    // super index entries reserved
    uint64_t movi = 0;   // the first chunk of the first movi list
};

// The first video stream's strl list: rate, picture size and the super
// index's reserved entries.
void parseStreamList(const std::vector<uint8_t>& b, std::size_t at, std::size_t end, Header& header, bool& video)
{
    while (at + 8 <= end) {
        const uint32_t size = le32(&b[at + 4]);
        if (size > end - at - 8)
            return;
        const uint8_t* data = &b[at + 8];
        if (isTag(&b[at], "strh") && size >= 28) {
            if (!isTag(data, "vids"))
                return;
            video = true;
            header.scale = le32(data + 20);
            header.rate = le32(data + 24);
        } else if (isTag(&b[at], "strf") && size >= 12 && video) {
            header.width = static_cast<int32_t>(le32(data + 4));
            header.height = static_cast<int32_t>(le32(data + 8));
        } else if (isTag(&b[at], "indx") && size >= 24 + 16 && video) {
            header.segments = static_cast<int>(std::min((size - 24) / 16, kMostSegments));
        }
        at += 8 + size + (size & 1);
    }
}

// The RIFF AVI header up to the first movi list. False, with why, when the
// input is no AVI file or its header is cut or incomplete.
bool readHeader(Input& input, const std::string& path, Header& header, std::string& why)
{
    uint8_t riff[12];
    if (input.fits(0, sizeof riff) && !input.read(0, riff, sizeof riff, why))
        return false;
    if (!input.fits(0, sizeof riff) || !isTag(riff, "RIFF") || !isTag(riff + 8, "AVI ")) {
        why = path + ": not an AVI file";
        return false;
    }
    bool haveHeader = false, video = false;
    for (uint64_t pos = 12; input.fits(pos, 12);) {
        uint8_t chunk[12];
        if (!input.read(pos, chunk, sizeof chunk, why))
            return false;
        const uint32_t size = le32(chunk + 4);
        if (isTag(chunk, "LIST") && isTag(chunk + 8, "movi")) {
            header.movi = pos + 12;
            break;
        }
        if (!input.fits(pos + 8, size))
            break;
        if (isTag(chunk, "LIST") && isTag(chunk + 8, "hdrl") && size <= (1u << 20)) {
            std::vector<uint8_t> list(size);
            if (!input.read(pos + 8, list.data(), size, why))
                return false;
            // strl lists inside hdrl, after avih.
            for (std::size_t at = 4; at + 12 <= size;) {
                const uint32_t inner = le32(&list[at + 4]);
                if (inner > size - at - 8)
                    break;
                if (isTag(&list[at], "LIST") && isTag(&list[at + 8], "strl") && !video)
                    parseStreamList(list, at + 12, at + 8 + inner, header, video);
                at += 8 + inner + (inner & 1);
            }
            haveHeader = video && header.width > 0 && header.height > 0;
        }
        pos += 8 + size + (size & 1);
    }
    if (!haveHeader || header.movi == 0) {
        why = path + (haveHeader ? ": no movie data (the file is cut inside its header)"
                                 : ": the AVI header is incomplete or holds no video stream");
        return false;
    }
    if (header.rate == 0 || header.scale == 0) {
        // The writer sets the rate before any frame; the camera's own rate.
        header.rate = 30;
        header.scale = 1;
    }
    return true;
}

}  // namespace

bool repairAvi(const std::string& input, const std::string& output, AviRepairReport& report, std::string& why,
               AviWriter::Limits limits)
{
    report = {};
    Input in;
    if (!in.open(input, why))
        return false;
    Header header;
    if (!readHeader(in, input, header, why))
        return false;

    AtomicFile out;
    if (!out.open(output, why))
        return false;
    // The writer writes in place through its own descriptor of the
    // temporary file; AtomicFile's stream stays unused until its commit.
    AviWriter writer(limits);
    if (writer.open(FileDescriptor(::dup(::fileno(out.stream()))), header.segments) != AviWriter::kOk ||
        writer.setFrameSize(header.width, header.height) != AviWriter::kOk ||
        writer.setFrameRate(header.rate, header.scale) != AviWriter::kOk) {
        why = output + ": " + std::strerror(errno != 0 ? errno : EIO);
        return false;
    }

    // One flat walk over every segment: lists are entered, indexes and
    // padding passed over, frames kept.
    std::vector<uint8_t> frame;
    uint64_t pos = header.movi;
    while (in.fits(pos, 8)) {
        uint8_t chunk[12];
        const bool list = in.fits(pos, 12);
        if (!in.read(pos, chunk, list ? 12 : 8, why))
            return false;
        const uint32_t size = le32(chunk + 4);
        if (list && ((isTag(chunk, "RIFF") && isTag(chunk + 8, "AVIX")) ||
                     (isTag(chunk, "LIST") && isTag(chunk + 8, "movi")))) {
            pos += 12;
            continue;
        }
        const bool isFrame = isTag(chunk, "00db") || isTag(chunk, "00dc");
        const bool passed = isTag(chunk, "ix00") || isTag(chunk, "idx1") || isTag(chunk, "JUNK");
        if ((!isFrame && !passed) || !in.fits(pos + 8, size) || (isFrame && size > kLongestFrame))
            break;
        if (isFrame && size >= 2) {
            frame.resize(size);
            if (!in.read(pos + 8, frame.data(), size, why))
                return false;
            if (frame[0] == 0xFF && frame[1] == 0xD8) {  // a JPEG picture, not a hole of a lost write
                const int written = writer.writeFrame(frame.data(), size);
                if (written == AviWriter::kFull) {
                    why = input + ": more frames than an AVI file of " + std::to_string(header.segments) +
                          " segments holds";
                    return false;
                }
                if (written != AviWriter::kOk) {
                    why = output + ": " + std::strerror(errno != 0 ? errno : EIO);
                    return false;
                }
            }
        }
        pos += 8 + uint64_t{size} + (size & 1);
    }

    const uint32_t frames = writer.totalFrames();
    if (writer.close() != AviWriter::kOk) {
        why = output + ": the rebuilt file could not be written";
        return false;
    }
    if (frames == 0) {
        why = input + ": holds no whole frame";
        return false;
    }
    if (!out.commit(why))
        return false;
    report.frames = frames;
    report.width = header.width;
    report.height = header.height;
    report.rate = header.rate;
    report.scale = header.scale;
    return true;
}

}  // namespace qdx::viewer
