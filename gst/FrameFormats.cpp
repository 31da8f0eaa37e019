// The lossless formats are plain loops over a row's 16-bit words, which the
// compiler turns into vector code (see CMakeLists.txt); the 8-bit formats are
// the viewer's own vector kernels. The rows pass through arrays on the stack,
// so that no output plane needs to be aligned for 16-bit access.
#include "FrameFormats.h"

#include <bit>
#include <cstring>

#include "QDX_API.h"
#include "live/FrameConversion.h"

namespace qdx::gst {
namespace {

static_assert(std::endian::native == std::endian::little);  // the frame's words as the processor's
constexpr std::size_t kRowBytes = QDX_FRAME_WIDTH * 4;

uint8_t* planeRow(const Planes& out, int plane, int row)
{
    return out.data[plane] + static_cast<std::size_t>(row) * out.stride[plane];
}

}  // namespace

void convertFrame(const uint8_t* frame, int side, OutputFormat format, const Planes& out)
{
    if (format == OutputFormat::Uyvy) {
        viewer::convertPictureUyvy(frame, side, out.data[0], out.stride[0]);
        return;
    }
    if (format == OutputFormat::Bgrx) {
        viewer::convertPictureBgrx(frame, side, out.data[0], out.stride[0]);
        return;
    }
    const int border = (QDX_FRAME_WIDTH - side) / 2;
    const int pairs = side / 2;
    uint16_t words[QDX_FRAME_WIDTH * 2], luma[QDX_FRAME_WIDTH], cb[QDX_FRAME_WIDTH / 2], cr[QDX_FRAME_WIDTH / 2];
    for (int row = 0; row < side; ++row) {
        // Cb Y0 Cr Y1 per pixel pair, values in the top 12 bits.
        std::memcpy(words, frame + static_cast<std::size_t>(row + border) * kRowBytes + border * 4,
                    static_cast<std::size_t>(side) * 4);
        if (format == OutputFormat::Gray16LE) {
            for (int p = 0; p < pairs; ++p) {
                luma[2 * p] = words[4 * p + 1];
                luma[2 * p + 1] = words[4 * p + 3];
            }
        } else {
            for (int p = 0; p < pairs; ++p) {
                cb[p] = static_cast<uint16_t>(words[4 * p] >> 4);
                luma[2 * p] = static_cast<uint16_t>(words[4 * p + 1] >> 4);
                cr[p] = static_cast<uint16_t>(words[4 * p + 2] >> 4);
                luma[2 * p + 1] = static_cast<uint16_t>(words[4 * p + 3] >> 4);
            }
            std::memcpy(planeRow(out, 1, row), cb, static_cast<std::size_t>(pairs) * 2);
            std::memcpy(planeRow(out, 2, row), cr, static_cast<std::size_t>(pairs) * 2);
        }
        std::memcpy(planeRow(out, 0, row), luma, static_cast<std::size_t>(side) * 2);
    }
}

}  // namespace qdx::gst
