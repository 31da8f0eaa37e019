// Playback's decisions that need no media engine: still or video, and where
// the video goes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "TempDir.h"
#include "playback/PlaybackRules.h"

namespace qdx::viewer {
namespace {

// Guards the choice between QImage and the media engine: a BMP with an
// unusual name or inside a folder named like one must still reach the right
// one (a wrong choice reads as "File Open Error" for a good file), and files
// that say nothing by their content go by their extension in any case.
TEST(PlaybackRulesTest, MediaKindByContentThenExtension)
{
    const std::string bmp = std::string("BM") + std::string(52, '\0');
    const std::string avi = std::string("RIFF\x10\0\0\0AVI LIST", 16);
    struct Case {
        const char* name;
        std::string content;
        MediaKind kind;
    };
    const Case cases[] = {
        {"picture.bmp", bmp, MediaKind::Still},
        {"PICTURE.BMP", "", MediaKind::Still},
        {"picture.Bmp", bmp, MediaKind::Still},
        {"still.avi", bmp, MediaKind::Still},
        {"x.bmp.d/rec.avi", avi, MediaKind::Video},
        {"rec.bmp", avi, MediaKind::Video},
        {"notes.txt", "RIFF", MediaKind::Video},
        {"picture.bmp.avi", "BX", MediaKind::Video},
    };
    test::TempDir dir;
    std::filesystem::create_directory(dir.path() / "x.bmp.d");
    for (const Case& c : cases) {
        const std::string path = dir.file(c.name);
        std::ofstream(path, std::ios::binary) << c.content;
        EXPECT_EQ(mediaKindOf(path), c.kind) << c.name;
    }
}

// Guards the placement's arithmetic: offsets truncated toward zero (a
// 501-pixel video starts at -48, not -49) and doubled with the size at 200%.
TEST(PlaybackRulesTest, PlacementTruncates)
{
    EXPECT_EQ(videoPlacement(321, 241, false), (VideoPlacement{41, 81, 321, 241}));
    EXPECT_EQ(videoPlacement(501, 401, false), (VideoPlacement{-48, 1, 501, 401}));
    EXPECT_EQ(videoPlacement(501, 401, true), (VideoPlacement{-96, 2, 1002, 802}));
}

}  // namespace
}  // namespace qdx::viewer
