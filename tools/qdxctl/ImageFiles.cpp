#include "ImageFiles.h"

#include <png.h>
#include <strings.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "capture/BmpFile.h"

namespace qdx::ctl {
namespace {

namespace fs = std::filesystem;

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

// Channel 0 of each pixel, rows in the same order.
std::vector<uint8_t> greyPlane(const uint8_t* pixels, int side)
{
    std::vector<uint8_t> plane(static_cast<std::size_t>(side) * side);
    for (std::size_t i = 0; i < plane.size(); ++i)
        plane[i] = pixels[3 * i];
    return plane;
}

bool writeNetpbm(std::FILE* stream, const uint8_t* pixels, int side, bool oneChannel)
{
    const std::size_t channels = oneChannel ? 1 : 3;
    std::vector<uint8_t> row(static_cast<std::size_t>(side) * channels);
    if (std::fprintf(stream, "%s\n%d %d\n255\n", oneChannel ? "P5" : "P6", side, side) < 0)
        return false;
    for (int y = 0; y < side; ++y) {
        const uint8_t* bgr = pixels + static_cast<std::size_t>(side - 1 - y) * side * 3;  // bottom-up
        for (int x = 0; x < side; ++x, bgr += 3) {
            uint8_t* out = &row[static_cast<std::size_t>(x) * channels];
            if (oneChannel) {
                out[0] = bgr[0];
            } else {
                out[0] = bgr[2];
                out[1] = bgr[1];
                out[2] = bgr[0];
            }
        }
        if (std::fwrite(row.data(), 1, row.size(), stream) != row.size())
            return false;
    }
    return true;
}

bool writePng(std::FILE* stream, const uint8_t* pixels, int side, bool grey, std::string& why)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(side);
    image.height = static_cast<png_uint_32>(side);
    image.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_BGR;
    const std::vector<uint8_t> plane = grey ? greyPlane(pixels, side) : std::vector<uint8_t>();
    const void* buffer = grey ? static_cast<const void*>(plane.data()) : pixels;
    // A negative stride: the first row in the buffer is the bottom one.
    const auto stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
    if (!png_image_write_to_stdio(&image, stream, 0, buffer, stride, nullptr)) {
        // A failed write says why itself ("File too large"); libpng only "Write Error".
        why = std::ferror(stream) ? systemError("writing the picture") : std::string("PNG: ") + image.message;
        png_image_free(&image);
        return false;
    }
    return true;
}

}  // namespace

std::optional<FileKind> fileKindOf(std::string_view path)
{
    const std::string extension = fs::path(path).extension().string();
    const struct {
        const char* extension;
        FileKind kind;
    } kinds[] = {{".ppm", FileKind::Ppm}, {".pgm", FileKind::Pgm}, {".png", FileKind::Png},
                 {".bmp", FileKind::Bmp}, {".raw", FileKind::Raw}, {".tif", FileKind::Tiff},
                 {".tiff", FileKind::Tiff}};
    for (const auto& k : kinds)
        if (strcasecmp(extension.c_str(), k.extension) == 0)
            return k.kind;
    return std::nullopt;
}

bool writePicture(AtomicFile& file, FileKind kind, const uint8_t* pixels, int side, bool grey, std::string& why)
{
    switch (kind) {
    case FileKind::Ppm:
    case FileKind::Pgm:
        if (!writeNetpbm(file.stream(), pixels, side, kind == FileKind::Pgm)) {
            why = systemError("writing the picture");
            return false;
        }
        return true;
    case FileKind::Png:
        return writePng(file.stream(), pixels, side, grey, why);
    case FileKind::Bmp:
        return viewer::writeBmp(file, pixels, side, why);  // the viewer's still picture file
    case FileKind::Raw:
    case FileKind::Tiff:
        break;
    }
    why = kind == FileKind::Tiff ? "a TIFF file is 16-bit only" : "a raw file holds a frame, not a picture";
    return false;
}

bool writeBytes(AtomicFile& file, std::span<const uint8_t> bytes, std::string& why)
{
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) != bytes.size()) {
        why = systemError("writing the frame");
        return false;
    }
    return true;
}

}  // namespace qdx::ctl
