#include "PlaybackRules.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "core/files/RegularFile.h"
#include "live/FrameLayout.h"

namespace qdx::viewer {
namespace {

bool endsWithBmp(const std::string& path)
{
    constexpr std::string_view kBmp = ".bmp";
    if (path.size() < kBmp.size())
        return false;
    return std::equal(kBmp.begin(), kBmp.end(), path.end() - static_cast<std::ptrdiff_t>(kBmp.size()),
                      [](char want, char c) { return want == std::tolower(static_cast<unsigned char>(c)); });
}

}  // namespace

MediaKind mediaKindOf(const std::string& path)
{
    // Only a regular file is looked into: a FIFO named ".avi" would hold the
    // GUI thread in its open until something writes to it.
    char head[12] = {};
    long got = 0;
    std::string why;
    if (const FileDescriptor file = openRegularFile(path, why)) {
        while (got < static_cast<long>(sizeof head)) {
            const long more = readChunk(file.get(), head + got, sizeof head - static_cast<std::size_t>(got), path, why);
            if (more <= 0)
                break;
            got += more;
        }
    }
    if (got >= 2 && head[0] == 'B' && head[1] == 'M')
        return MediaKind::Still;
    if (got == 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "AVI ", 4) == 0)
        return MediaKind::Video;
    return endsWithBmp(path) ? MediaKind::Still : MediaKind::Video;
}

VideoPlacement videoPlacement(int width, int height, bool zoom200)
{
    const int side = kCameraSide;
    VideoPlacement p{(side - width) / 2, (side - height) / 2, width, height};
    if (zoom200)
        p = {2 * p.x, 2 * p.y, 2 * width, 2 * height};
    return p;
}

}  // namespace qdx::viewer
