// 16-bit TIFF stills through libtiff, written into the caller's open stream.
#include <tiffio.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "CodecModule.h"

namespace qdx::viewer {
namespace {

tmsize_t tiffRead(thandle_t handle, void* data, tmsize_t size)
{
    return static_cast<tmsize_t>(std::fread(data, 1, static_cast<std::size_t>(size), static_cast<std::FILE*>(handle)));
}

tmsize_t tiffWrite(thandle_t handle, void* data, tmsize_t size)
{
    return static_cast<tmsize_t>(std::fwrite(data, 1, static_cast<std::size_t>(size), static_cast<std::FILE*>(handle)));
}

toff_t tiffSeek(thandle_t handle, toff_t offset, int whence)
{
    auto* stream = static_cast<std::FILE*>(handle);
    if (fseeko(stream, static_cast<off_t>(offset), whence) != 0)
        return static_cast<toff_t>(-1);
    return static_cast<toff_t>(ftello(stream));
}

int tiffClose(thandle_t)
{
    return 0;  // the file stays open for its commit
}

toff_t tiffSize(thandle_t handle)
{
    auto* stream = static_cast<std::FILE*>(handle);
    const off_t at = ftello(stream);
    fseeko(stream, 0, SEEK_END);
    const off_t end = ftello(stream);
    fseeko(stream, at, SEEK_SET);
    return static_cast<toff_t>(end);
}

int tiffMap(thandle_t, void**, toff_t*)
{
    return 0;
}

void tiffUnmap(thandle_t, void*, toff_t) {}

// libtiff's messages go to the file's error text, never to stderr.
int tiffMessage(TIFF*, void* user, const char* module, const char* format, va_list arguments)
{
    auto* message = static_cast<std::string*>(user);
    if (message && message->empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, arguments);
        *message = std::string(module ? module : "TIFF") + ": " + text;
    }
    return 1;
}

int tiffQuiet(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

}  // namespace

bool writeTiffPicture(std::FILE* stream, const TiffPicture& picture, std::string& why)
{
    std::string message;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) {
        why = "TIFF: no memory";
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options, tiffMessage, &message);
    TIFFOpenOptionsSetWarningHandlerExtR(options, tiffQuiet, nullptr);
    TIFF* tiff = TIFFClientOpenExt("still", "w", stream, tiffRead, tiffWrite, tiffSeek, tiffClose, tiffSize, tiffMap,
                                   tiffUnmap, options);
    TIFFOpenOptionsFree(options);
    if (!tiff) {
        why = message.empty() ? "TIFF: the file could not be started" : message;
        return false;
    }
    const auto s = static_cast<uint32_t>(picture.side);
    const int channels = picture.channels;
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, s) && TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, s) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 16) && TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, channels) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, channels == 1 ? PHOTOMETRIC_MINISBLACK : PHOTOMETRIC_RGB) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
              TIFFSetField(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, s) &&
              TIFFSetField(tiff, TIFFTAG_IMAGEDESCRIPTION, picture.description.c_str()) &&
              TIFFSetField(tiff, TIFFTAG_SOFTWARE, picture.software.c_str()) &&
              (picture.dateTime.empty() || TIFFSetField(tiff, TIFFTAG_DATETIME, picture.dateTime.c_str()));
    const auto length = static_cast<tmsize_t>(picture.length);
    ok = ok && TIFFWriteEncodedStrip(tiff, 0, const_cast<uint8_t*>(picture.bytes), length) == length;
    ok = ok && TIFFWriteDirectory(tiff);
    TIFFClose(tiff);
    if (!ok || std::ferror(stream)) {
        why = std::ferror(stream) ? std::string("writing the picture: ") + std::strerror(errno)
                                  : (message.empty() ? std::string("TIFF: the picture could not be written") : message);
        return false;
    }
    return true;
}

}  // namespace qdx::viewer
