// Start-up and shutdown of the viewer program: the order of the library, the
// monitor and display threads and the pictures.
#include <gtest/gtest.h>

#include <atomic>

#include "api/SimCameraFixture.h"
#include "capture/CaptureImage.h"
#include "program/ViewerProgram.h"
#include "viewer/FrameBuilder.h"

namespace qdx::viewer::test {
namespace {

using qdx::test::waitUntil;
using std::chrono::milliseconds;

bool libraryRunning()
{
    QDX_HANDLE handle = nullptr;
    QDX_GetDataSemaphoHandle(&handle);
    return handle != nullptr;
}

// Notes every call it gets, and whether the library was up at the time.
class WatchingClient final : public MonitorClient, public LiveViewSink {
public:
    void cameraArrived() override { note(arrivals); }
    void cameraPresent() override { note(presences); }
    void cameraRemoved() override { note(removals); }
    void pictureReady(int) override { note(pictures); }
    void ratesChanged(int, const std::string&) override { note(ratesLines); }

    std::atomic<int> arrivals{0}, presences{0}, removals{0}, pictures{0}, ratesLines{0};
    std::atomic<int> callsWithoutLibrary{0};

private:
    void note(std::atomic<int>& counter)
    {
        if (!libraryRunning())
            ++callsWithoutLibrary;
        ++counter;
    }
};

class ViewerProgramTest : public qdx::test::SimCameraTest {
protected:
    void TearDown() override
    {
        program.shutDown();
        SimCameraTest::TearDown();
    }

    void setAllReady()
    {
        for (auto part : {ReadyGate::MainWindow, ReadyGate::PicturePage, ReadyGate::CalibrationPage})
            program.state().ready.set(part);
    }

    ViewerProgram program;
    WatchingClient client;
};

// Guards the order of start-up (library, then the monitor running before any
// window can exist, then the pictures) and of shutdown: both viewer threads
// have ended before the library stops, so none calls into a stopped library
// (whose semaphore the display thread waits on), and everything is released.
TEST_F(ViewerProgramTest, LibraryIsUpLongerThanEveryViewerThread)
{
    program.startUp();
    EXPECT_TRUE(libraryRunning());
    EXPECT_EQ(program.monitorState(), Worker::Running);
    EXPECT_EQ(program.displayState(), Worker::Starting) << "the window starts the live view";
    ASSERT_NE(program.displayImage(), nullptr);
    ASSERT_NE(program.captureImage(), nullptr);
    program.attachMonitor(&client);
    program.attachLiveView(&client);
    program.state().displayTarget = kPicturePage;
    program.startLiveView();
    setAllReady();
    ASSERT_TRUE(waitUntil([&] { return client.arrivals > 0 && client.presences > 2 && client.ratesLines > 0; }));
    ASSERT_TRUE(waitUntil([&] { return client.pictures > 3; }));
    EXPECT_EQ(qdx::test::threadsNamed("qdx-display"), 1);
    EXPECT_EQ(qdx::test::threadsNamed("qdx-monitor"), 1);
    program.shutDown();
    EXPECT_EQ(qdx::test::threadsNamed("qdx-display"), 0);
    EXPECT_EQ(qdx::test::threadsNamed("qdx-monitor"), 0);
    EXPECT_FALSE(libraryRunning());
    EXPECT_EQ(program.displayImage(), nullptr);
    EXPECT_EQ(program.captureImage(), nullptr);
    EXPECT_EQ(client.callsWithoutLibrary.load(), 0);
    program.shutDown();  // harmless twice
}

// Guards the monitor against reporting into a window that is not built yet:
// it polls the camera only once all three ready flags are set.
TEST_F(ViewerProgramTest, MonitorWaitsForWindowAndBothPages)
{
    program.startUp();
    program.attachMonitor(&client);
    ASSERT_TRUE(waitUntil([] { return qdx::test::status() == 1; }));
    program.state().ready.set(ReadyGate::MainWindow);
    program.state().ready.set(ReadyGate::PicturePage);
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(client.arrivals + client.presences, 0);
    program.state().ready.set(ReadyGate::CalibrationPage);
    ASSERT_TRUE(waitUntil([&] { return client.arrivals == 1; }, milliseconds(30000)))
        << "a camera already plugged in counts as arriving";
}

// Guards the camera's removal: it is reported once and the target's picture
// turns blue.
TEST_F(ViewerProgramTest, RemovalIsReportedAndPaintsThePictureBlue)
{
    program.startUp();
    program.attachMonitor(&client);
    program.attachLiveView(&client);
    program.state().displayTarget = kCalibrationPage;
    setAllReady();
    ASSERT_TRUE(waitUntil([&] { return client.arrivals == 1; }));
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(waitUntil([&] { return client.removals == 1; }));
    EXPECT_EQ(client.pictures.load(), 1);
    const uint8_t* front = program.displayImage()->front();
    EXPECT_EQ(pixel(front, 0, 0), (Bgr{255, 0, 0}));
    EXPECT_EQ(pixel(front, kDisplaySide - 1, kDisplaySide - 1), (Bgr{255, 0, 0}));
    std::this_thread::sleep_for(milliseconds(300));
    EXPECT_EQ(client.removals.load(), 1);
    EXPECT_EQ(client.arrivals.load(), 1);
}

// Guards the stream's health as the Analysis window shows it: the display
// thread tells short frames from damaged ones and shows neither, the monitor's
// unplug counts once each way, and the frames delivered follow the camera
// across the reconnection, without a jump. Counted by events, so a display
// thread that skips frames on a loaded machine changes nothing
// (StreamHealthTest pins the gap and rates on a clock of its own).
TEST_F(ViewerProgramTest, StreamHealthCountsFaultsAndReconnections)
{
    program.startUp();
    program.attachLiveView(&client);
    program.state().displayTarget = kPicturePage;
    program.startLiveView();
    setAllReady();
    ASSERT_TRUE(waitUntil([&] { return client.pictures > 3; }));
    StreamHealth& health = program.streamHealth();
    const auto figures = [&] { return health.figures(StreamHealth::Clock::now()); };
    const milliseconds safety{30000};
    unsigned long long sentBefore = 0, sentAfter = 0;
    QDXSim_GetBulkStats(&sentBefore, nullptr, nullptr);
    health.restart(StreamHealth::Clock::now(), true);

    // Each fault until the display thread has seen it twice, then whole frames
    // until it has shown two more (no frame of the fault can follow those).
    long long otherKind = 0;
    for (const int kind : {1, 2}) {
        const auto seen = [&] { return kind == 1 ? figures().shortFrames : figures().damagedFrames; };
        QDXSim_InjectFrames(kind, 1000000);
        ASSERT_TRUE(waitUntil([&] { return seen() >= 2; }, safety)) << "fault " << kind;
        QDXSim_InjectFrames(kind, 0);
        const long long shown = figures().shown;
        ASSERT_TRUE(waitUntil([&] { return figures().shown >= shown + 2; }, safety));
        EXPECT_EQ(kind == 1 ? figures().damagedFrames : figures().shortFrames, otherKind) << "fault " << kind;
        otherKind = seen();
    }
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(waitUntil([&] { return figures().disconnections == 1; }, safety));
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(waitUntil([&] { return figures().reconnections == 1; }, safety));
    const long long shown = figures().shown;
    ASSERT_TRUE(waitUntil([&] { return figures().shown >= shown + 10; }, safety));
    const StreamFigures f = figures();
    QDXSim_GetBulkStats(&sentAfter, nullptr, nullptr);

    EXPECT_EQ(f.disconnections, 1);
    EXPECT_EQ(f.reconnections, 1);
    EXPECT_EQ(f.taken, f.shown + f.shortFrames + f.damagedFrames) << "every whole frame taken is shown";
    // The index is read just before a frame is taken, so it may trail the
    // frames taken by one (two across the restart).
    EXPECT_GE(f.delivered, f.taken - 2);
    EXPECT_LE(f.delivered, static_cast<long long>(sentAfter - sentBefore) + 2)
        << "the count jumped across the reconnection";
}

}  // namespace
}  // namespace qdx::viewer::test
