// A hundred unplugs and plug-ins while frames stream and requests run, with
// the camera paced at 30 frames/s and unpaced.
#include "api/Soak.h"

namespace qdx::test {
namespace {

class SoakTest : public SimCameraTest, public ::testing::WithParamInterface<unsigned> {};

// Guards the streaming library through plugging: every edge noticed, no
// damaged frame handed out, nothing leaked. Unpaced, an unplug used to freeze
// the whole library (the simulated camera spun holding its lock).
TEST_P(SoakTest, HundredUnplugsWithTrafficKeepEveryFrameWhole)
{
    SoakOptions options;
    options.frameIntervalUs = GetParam();
    const SoakResult r = runSoak(options);
    EXPECT_EQ(r.cycles, options.cycles);
    EXPECT_GE(r.frames, static_cast<long>(options.cycles));
    EXPECT_EQ(r.badFrames, 0);
    EXPECT_GT(r.requests, 0);
    EXPECT_EQ(r.fdsAfter, r.fdsBefore);
}

INSTANTIATE_TEST_SUITE_P(Rates, SoakTest, ::testing::Values(33333u, 0u),
                         [](const auto& p) { return p.param ? "Paced30fps" : "Unpaced"; });

}  // namespace
}  // namespace qdx::test
