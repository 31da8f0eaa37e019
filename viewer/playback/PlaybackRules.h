// What playback decides without a media engine: whether a file is a still
// picture or a video, and where the video goes in the picture area. Qt-free.
#pragma once

#include <string>

namespace qdx::viewer {

enum class MediaKind { None = 0, Still = 1, Video = 2 };

// A file that starts as a BMP does ("BM") is a still picture and one that
// starts as an AVI does ("RIFF" size "AVI ") a video, whatever its name; a
// file that says neither (unreadable, short, another format, not a regular
// file, which is never opened in a way that could wait) goes by its
// extension: ".bmp" in any case is a still picture, anything else a video.
MediaKind mediaKindOf(const std::string& path);

// Where the video window goes inside the 808 x 808 video host: the native
// width x height centred in the 404 x 404 picture (offsets truncated toward
// zero, negative for a video larger than the picture, which is then
// clipped), position and size doubled at 200%.
struct VideoPlacement {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const VideoPlacement&) const = default;
};
VideoPlacement videoPlacement(int width, int height, bool zoom200);

}  // namespace qdx::viewer
