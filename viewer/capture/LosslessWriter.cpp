#include "LosslessWriter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Codecs.h"
#include "core/files/RegularFile.h"
#include "live/FrameLayout.h"

namespace qdx::viewer {

// The file, its temporary name, and the module's encoder writing into it.
struct LosslessWriter::Impl {
    FileDescriptor file;
    std::string path, tempPath;
    std::unique_ptr<LosslessEncoder> encoder;
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
    const CodecTable* table = codecs(why);
    if (!table)
        return kNotOpen;
    auto impl = std::make_unique<Impl>();
    impl->path = path;
    impl->encoder = table->newLosslessEncoder();
    impl->file = createBeside(path, impl->tempPath, why);
    if (!impl->file)
        return kNotOpen;
    impl_ = std::move(impl);  // from here on a failure removes the temporary file
    frames_ = 0;
    lastTimeMs_ = -1;
    if (std::string reason; !impl_->encoder->start(impl_->file.get(), side, grey, reason)) {
        why = "'" + path + "': " + reason;
        abandon();
        return kNotOpen;
    }
    return kOk;
}

int LosslessWriter::writeFrame(const uint8_t* frame, int64_t timeMs, std::string& why)
{
    if (!impl_ || !frame)
        return kNotOpen;
    timeMs = std::max(timeMs, lastTimeMs_ + 1);
    if (std::string reason; !impl_->encoder->encode(frame, timeMs, reason)) {
        why = "'" + impl_->path + "': " + reason;
        return kWriteFailed;
    }
    lastTimeMs_ = timeMs;
    ++frames_;
    return kOk;
}

int LosslessWriter::close(std::string& why)
{
    if (!impl_)
        return kNotOpen;
    Impl& m = *impl_;
    std::string reason;
    bool ok = m.encoder->finish(reason);
    if (ok && (::fsync(m.file.get()) != 0 || !m.file.close())) {
        reason = std::strerror(errno);
        ok = false;
    }
    if (ok && ::rename(m.tempPath.c_str(), m.path.c_str()) != 0) {
        reason = std::strerror(errno);
        ok = false;
    }
    if (!ok) {
        why = "'" + m.path + "': " + reason;
        abandon();
        return kWriteFailed;
    }
    impl_.reset();
    return kOk;
}

}  // namespace qdx::viewer
