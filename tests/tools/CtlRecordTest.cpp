// qdxctl record on the simulated camera, read back by ffprobe.
#include <gtest/gtest.h>

#include <cstdio>

#include "CtlFixture.h"
#include "viewer/capture/AviFiles.h"

namespace qdx::ctl::test {
namespace {

using viewer::test::ffprobe;

// Every picture recorded is in the file and read back, and the rate in the
// file is the one measured over the recording, as reported (how many frames
// a loaded machine gets in two seconds is not the point).
TEST_F(CtlTest, RecordWritesEveryFrameAtTheMeasuredRate)
{
    TempDir dir;
    const std::string path = dir.file("rec.avi");
    const CtlRun run = runCtl({"record", path, "--seconds", "2", "--border"});
    ASSERT_EQ(run.status, 0) << run.err;
    // "rec.avi: N frames, 404 x 404, R frames/s"
    int frames = 0;
    double reported = 0;
    const std::string summary = path + ": %d frames, 404 x 404, %lf frames/s";
    ASSERT_EQ(std::sscanf(run.out.c_str(), summary.c_str(), &frames, &reported), 2) << run.out;
    EXPECT_GE(frames, 2);

    auto probe = ffprobe(path);
    EXPECT_EQ(probe["nb_read_frames"], std::to_string(frames)) << probe["error"];
    EXPECT_EQ(probe["width"], "404");
    const std::string rate = probe["r_frame_rate"];  // "2997/100", "30/1"
    const std::size_t slash = rate.find('/');
    ASSERT_NE(slash, std::string::npos) << rate;
    const double fps = std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1));
    EXPECT_NEAR(fps, reported, 0.01) << rate;
}

TEST_F(CtlTest, RecordRefusesOtherFilesAndReportsUnwritableOnes)
{
    TempDir dir;
    EXPECT_EQ(runCtl({"record", dir.file("rec.mp4")}).status, 2);
    EXPECT_EQ(runCtl({"record", dir.file("rec.avi"), "--seconds", "0"}).status, 2);
    const CtlRun missing = runCtl({"record", dir.file("missing/rec.avi"), "--seconds", "1"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("cannot be created"), std::string::npos) << missing.err;
    EXPECT_TRUE(dir.names().empty());
}

}  // namespace
}  // namespace qdx::ctl::test
