// Actions that talk to the simulated camera outside the panels: one-push
// white balance and commands that need a camera.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "api/SimCameraFixture.h"
#include "core/commands/Commands.h"
#include "core/model/WhiteBalance.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;
using Progress = OnePushWhiteBalance::Progress;

class CameraActionsTest : public qdx::test::SimCameraTest {
protected:
    void SetUp() override
    {
        SimCameraTest::SetUp();
        qdx::test::startConnected();
    }
};

// Guards the white balance's end: a camera that never finishes is given up
// after five seconds of its clock (not of polls) without gains; one that
// finishes hands over the red and blue gains it stored; polls are the only
// requests, one status read each.
TEST_F(CameraActionsTest, WhiteBalanceEndsWithGainsOrAfterFiveSeconds)
{
    QDXSim_SetStalled(1);  // no frames: the camera never finishes
    OnePushWhiteBalance balance;
    const auto t0 = OnePushWhiteBalance::Clock::now();
    ASSERT_TRUE(balance.start(t0));
    const int reads = QDXSim_GetRequestCount(0x18);
    EXPECT_EQ(balance.poll(t0 + milliseconds(4999)), Progress::Running);
    EXPECT_EQ(QDXSim_GetRequestCount(0x18), reads + 1);
    EXPECT_EQ(balance.poll(t0 + milliseconds(5001)), Progress::TimedOut);
    EXPECT_FALSE(balance.running());
    EXPECT_FALSE(balance.redGain() || balance.blueGain());

    QDXSim_SetStalled(0);
    QDXSim_SetScene(1);
    // Polled at its own start time: only the camera ends it, however slow the
    // machine (30 s at most, against a hang).
    const auto t1 = OnePushWhiteBalance::Clock::now();
    ASSERT_TRUE(balance.start(t1));
    Progress progress = Progress::Running;
    for (int i = 0; i < 1500 && progress == Progress::Running; ++i) {
        std::this_thread::sleep_for(milliseconds(20));
        progress = balance.poll(t1);
    }
    ASSERT_EQ(progress, Progress::Finished);
    int red = 0, blue = 0;
    QDX_Get_GainRB(0, &red);
    QDX_Get_GainRB(1, &blue);
    EXPECT_EQ(balance.redGain(), red);
    EXPECT_EQ(balance.blueGain(), blue);
}

// Guards the dispatcher: a command that needs a camera is refused, not run,
// while none is connected; it runs once one is; unknown commands run nothing.
TEST_F(CameraActionsTest, CommandsThatNeedACameraWaitForOne)
{
    int runs = 0;
    CommandDispatcher commands;
    commands.add(kCmdEepromLoad, [&] { ++runs; }, true);
    commands.add(kCmdVersion, [&] { ++runs; });
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(qdx::test::waitUntil([] { return !cameraConnected(); }));
    EXPECT_EQ(commands.dispatch(kCmdEepromLoad), CommandDispatcher::Outcome::NoCamera);
    EXPECT_EQ(commands.dispatch(kCmdVersion), CommandDispatcher::Outcome::Done);
    EXPECT_EQ(runs, 1);
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(qdx::test::waitUntil([] { return cameraConnected(); }));
    EXPECT_EQ(commands.dispatch(kCmdEepromLoad), CommandDispatcher::Outcome::Done);
    EXPECT_EQ(commands.dispatch(kCmdDebug), CommandDispatcher::Outcome::Unknown);
    EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace qdx::viewer::test
