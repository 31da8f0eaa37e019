#include "JpegEncoder.h"

#include <turbojpeg.h>

namespace qdx::viewer {

JpegEncoder::JpegEncoder(int side) : handle_(tjInitCompress()), side_(side)
{
    const unsigned long worst = side > 0 ? tjBufSize(side, side, TJSAMP_420) : static_cast<unsigned long>(-1);
    if (handle_ != nullptr && worst != static_cast<unsigned long>(-1))
        buffer_.resize(worst);
}

JpegEncoder::~JpegEncoder()
{
    if (handle_ != nullptr)
        tjDestroy(handle_);
}

uint32_t JpegEncoder::encodeJpegToStream(const uint8_t* bgrBottomUp)
{
    length_ = 0;
    if (!valid() || bgrBottomUp == nullptr)
        return 0;
    unsigned char* out = buffer_.data();
    unsigned long size = buffer_.size();
    // The buffer holds the worst case, so TurboJPEG never needs to grow it.
    if (tjCompress2(handle_, bgrBottomUp, side_, 0, side_, TJPF_BGR, &out, &size, TJSAMP_420, kQuality,
                    TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC) != 0 ||
        out != buffer_.data() || size == 0 || size > buffer_.size())
        return 0;
    length_ = static_cast<uint32_t>(size);
    return length_;
}

}  // namespace qdx::viewer
