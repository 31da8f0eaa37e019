// Still capture on the display thread's side: one request, one file.
#include <gtest/gtest.h>

#include <vector>

#include "BmpReader.h"
#include "TempDir.h"
#include "capture/StillCapture.h"
#include "viewer/FrameBuilder.h"

namespace qdx::viewer::test {
namespace {

using qdx::test::TempDir;

struct Results final : StillCaptureSink {
    void stillCaptured(StillCaptureResult result) override { all.push_back(std::move(result)); }
    std::vector<StillCaptureResult> all;
};

// Guards the path travelling with its request: a second request before a
// frame replaces the first (one file, at the second path), the frame shown is
// saved as shown (grey: the luma's high byte; border cut off), and the request
// is used up, so later frames write nothing.
TEST(StillCaptureTest, NewestRequestIsSavedOnceFromTheNextFrame)
{
    TempDir dir;
    StillCapture still;
    Results results;
    still.attach(&results);
    still.frameShown({makeFrame().data(), false, false});  // no request: nothing happens
    still.request(dir.file("first.bmp"));
    still.request(dir.file("second.bmp"));
    EXPECT_TRUE(still.pending());

    const auto frame = makeFrame(0xABC0);
    still.frameShown({frame.data(), true, false});
    still.frameShown({frame.data(), true, true});
    EXPECT_FALSE(still.pending());
    EXPECT_EQ(dir.names(), std::vector<std::string>{"second.bmp"});
    ASSERT_EQ(results.all.size(), 1u);
    EXPECT_TRUE(results.all[0].saved) << results.all[0].why;
    EXPECT_EQ(results.all[0].path, dir.file("second.bmp"));

    const auto bmp = qdx::test::readBmp(dir.file("second.bmp"));
    ASSERT_TRUE(bmp.has_value());
    EXPECT_EQ(bmp->width, 400);
    EXPECT_EQ(bmp->height, 400);
    EXPECT_TRUE(bmp->grey());
    EXPECT_EQ(bmp->at(0, 0)[0], 0xAB);
    EXPECT_EQ(bmp->at(399, 399)[0], 0xAB);
}

// Guards a failed save: reported with the reason, no file and no temporary
// file left behind, and the request used up rather than retried on every frame.
TEST(StillCaptureTest, FailedSaveIsReportedAndLeavesNothing)
{
    TempDir dir;
    StillCapture still;
    Results results;
    still.attach(&results);
    const std::string path = dir.file("missing/still.bmp");
    still.request(path);
    const auto frame = makeFrame();
    still.frameShown({frame.data(), false, true});
    still.frameShown({frame.data(), false, true});
    ASSERT_EQ(results.all.size(), 1u);
    EXPECT_FALSE(results.all[0].saved);
    EXPECT_NE(results.all[0].why.find(path), std::string::npos) << results.all[0].why;
    EXPECT_FALSE(still.pending());
    EXPECT_TRUE(dir.names().empty());
}

}  // namespace
}  // namespace qdx::viewer::test
