// The capture image that recording and still capture take from the display thread.
#include <gtest/gtest.h>

#include <thread>

#include "TempDir.h"
#include "capture/CaptureImage.h"
#include "capture/StillCapture.h"
#include "viewer/FrameBuilder.h"

namespace qdx::viewer::test {
namespace {

Bgr capturePixel(const uint8_t* picture, int side, int x, int y)
{
    const uint8_t* p = picture + static_cast<std::size_t>(side - 1 - y) * side * 3 + static_cast<std::size_t>(x) * 3;
    return {p[0], p[1], p[2]};
}

// Guards the cut of the border and the bottom-up row order: without boundary
// pixels the picture starts at frame row 2, pixel 2, and that row is stored last.
TEST(CaptureImageTest, BorderIsCutOffAndRowsAreStoredBottomUp)
{
    auto frame = makeFrame();
    setPair(frame, 2, 1, {0x8000, 0x8000, 0x8000, 0xFFF0});  // pixels 2 and 3 of row 2
    std::vector<uint8_t> picture(kCaptureBytes);
    convertToCapture(picture.data(), frame.data(), false, 400);
    EXPECT_EQ(capturePixel(picture.data(), 400, 0, 0), (Bgr{128, 128, 128}));
    EXPECT_EQ(capturePixel(picture.data(), 400, 1, 0), (Bgr{255, 255, 255}));
    const uint8_t* lastRow = picture.data() + 399 * 400 * 3;
    EXPECT_EQ(lastRow[3], 255) << "frame row 2 must be the last row in memory";

    convertToCapture(picture.data(), frame.data(), false, 404);
    EXPECT_EQ(capturePixel(picture.data(), 404, 0, 0), (Bgr{225, 0, 0})) << "the marker pair is converted too";
    EXPECT_EQ(capturePixel(picture.data(), 404, 3, 2), (Bgr{255, 255, 255}));
}

// Guards a reader (recording) against a picture changing under it: while held,
// refreshes are skipped and not counted; afterwards they resume.
TEST(CaptureImageTest, RefreshWaitsForNoReaderAndCounts)
{
    CaptureImage capture;
    const auto white = makeFrame(0xFFF0);
    capture.frameShown({white.data(), false, true});
    EXPECT_EQ(capture.count(), 0u) << "no conversion while no recording wants the picture";
    ASSERT_TRUE(capture.refresh(white.data(), false, true));
    EXPECT_EQ(capture.count(), 1u);
    EXPECT_EQ(capture.side(), 404);
    {
        auto held = capture.hold();
        std::thread display([&] { EXPECT_FALSE(capture.refresh(makeFrame(0x0000).data(), false, false)); });
        display.join();
        EXPECT_EQ(capture.pixels()[3 * 404 * 200], 255);
        EXPECT_EQ(capture.count(), 1u);
    }
    EXPECT_TRUE(capture.refresh(white.data(), false, false));
    EXPECT_EQ(capture.count(), 2u);
    EXPECT_EQ(capture.side(), 400);
}

// Guards a still answered by a frame whose presentation began before the
// request: it was rendered with the settings from before (the boundary just
// switched on), so the file came out 400 pixels wide instead of 404.
TEST(StillCaptureTest, AFrameAlreadyOnItsWayDoesNotAnswerTheRequest)
{
    qdx::test::TempDir dir;
    PresentationCount presentations;
    FileWriter writer("test-still");
    StillCapture still(presentations, writer);
    const auto frame = makeFrame();
    const uint64_t onItsWay = presentations.begin();  // its settings are read
    still.request(dir.file("still.bmp"));             // after the boundary was switched on
    still.frameShown({frame.data(), false, false, onItsWay});
    EXPECT_TRUE(still.pending());
    still.frameShown({frame.data(), false, true, presentations.begin()});
    EXPECT_FALSE(still.pending());
    writer.flush();
    EXPECT_EQ(std::filesystem::file_size(dir.file("still.bmp")), 54u + 404u * 404u * 3u);
}

}  // namespace
}  // namespace qdx::viewer::test
