// The display thread against the simulated camera.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "api/SimCameraFixture.h"
#include "capture/CaptureImage.h"
#include "live/DisplayLoop.h"
#include "live/FrameCheck.h"
#include "viewer/FrameBuilder.h"

namespace qdx::viewer::test {
namespace {

using qdx::test::startConnected;
using qdx::test::waitForFrames;
using qdx::test::waitUntil;
using std::chrono::milliseconds;

// Records what the display thread reports and hands on, in order.
class Recorder final : public LiveViewSink, public FrameConsumer {
public:
    void pictureReady(int) override
    {
        if (onPicture)
            onPicture();
        std::lock_guard lock(mutex_);
        ++pictures_;
    }
    void ratesChanged(int target, const std::string& text) override
    {
        std::lock_guard lock(mutex_);
        rates_.push_back({target, text});
    }
    void frameShown(const ShownFrame& shown) override
    {
        record(std::string(shown.grey ? "grey" : "colour") + (shown.showBoundary ? " with border" : "") +
               ", capture count " + std::to_string(capture->count()));
    }

    std::size_t pictureCount() { std::lock_guard lock(mutex_); return pictures_; }
    std::vector<std::pair<int, std::string>> rates() { std::lock_guard lock(mutex_); return rates_; }
    std::vector<std::string> events() { std::lock_guard lock(mutex_); return events_; }

    std::function<void()> onPicture;  // runs on the display thread; set before start
    CaptureImage* capture = nullptr;

private:
    void record(std::string event) { std::lock_guard lock(mutex_); events_.push_back(std::move(event)); }

    std::mutex mutex_;  // Protects the records below
    std::size_t pictures_ = 0;
    std::vector<std::pair<int, std::string>> rates_;
    std::vector<std::string> events_;
};

struct Parsed {
    unsigned disp = 0, usb = 0;
};

Parsed parseRates(const std::string& text)
{
    Parsed p;
    EXPECT_EQ(std::sscanf(text.c_str(), "fps DISP:%u / USB:%u", &p.disp, &p.usb), 2) << text;
    return p;
}

class DisplayLoopTest : public qdx::test::SimCameraTest {
protected:
    void TearDown() override
    {
        loop.stop();
        SimCameraTest::TearDown();
    }

    // A line a second; the time-out only guards against a hang.
    void waitForRatesLines(std::size_t count)
    {
        ASSERT_TRUE(waitUntil([&] { return sink.rates().size() >= count; }, milliseconds(30000)))
            << "only " << sink.rates().size() << " rates lines";
    }

    void SetUp() override
    {
        SimCameraTest::SetUp();
        sink.capture = &capture;
        capture.addReader();
    }

    ViewerState state;
    DisplayImage image;
    CaptureImage capture;
    Recorder sink;
    DisplayLoop loop{state, image, sink, {&capture, &sink}};
};

// Guards the rate counting end to end, by counts rather than by how fast a
// loaded machine runs (RateMeterTest pins the figures on a clock of its own):
// over all lines USB adds up to at most the frames the camera sent and DISP
// to at most the pictures shown (a rate counted twice or over the wrong span
// exceeds them), DISP never above USB, and every shown frame reaches both the
// display target and the capture picture.
TEST_F(DisplayLoopTest, RatesFollowTheCamera)
{
    QDXSim_SetFrameInterval(50000);  // 20 frames a second
    startConnected();
    state.displayTarget = kPicturePage;
    loop.start();
    waitForRatesLines(4);
    ASSERT_TRUE(waitUntil([&] { return sink.pictureCount() > 20; }, milliseconds(30000)));
    loop.stop();
    const auto lines = sink.rates();
    unsigned usb = 0, disp = 0;
    for (const auto& [target, text] : lines) {
        EXPECT_EQ(target, kPicturePage);
        const Parsed rates = parseRates(text);
        EXPECT_LE(rates.disp, rates.usb + 1) << text;
        usb += rates.usb;
        disp += rates.disp;
    }
    EXPECT_GT(usb, 0u);
    EXPECT_LE(usb, static_cast<unsigned>(qdx::test::frameIndex()));
    const std::size_t shown = sink.events().size();
    EXPECT_LE(disp, shown);
    EXPECT_EQ(sink.pictureCount(), shown + 1) << "every frame shown, and the blue fill at the start";
    EXPECT_EQ(capture.count(), shown);
}

// Guards the start without a camera: a blue picture at once and a rates line
// of zeros every second instead of a stuck or stale display.
TEST_F(DisplayLoopTest, NoCameraShowsBlueAndZeroRates)
{
    QDXSim_SetPlugged(0, 0);
    ASSERT_EQ(QDX_Init(), 0);
    state.displayTarget = kCalibrationPage;
    loop.start();
    waitForRatesLines(2);
    for (const auto& [target, text] : sink.rates()) {
        EXPECT_EQ(target, kCalibrationPage);
        EXPECT_EQ(text, "fps DISP:0 / USB:0");
    }
    EXPECT_EQ(sink.pictureCount(), 1u) << "only the blue fill is shown";
    const uint8_t* front = image.front();
    for (int y = 0; y < kDisplaySide; ++y)
        for (int x = 0; x < kDisplaySide; ++x)
            ASSERT_EQ(pixel(front, x, y), (Bgr{255, 0, 0})) << x << ", " << y;
}

// Guards newest-frame-only: a display slower than the camera must skip to
// the newest frame each time, never work through a backlog.
TEST_F(DisplayLoopTest, SlowDisplayAlwaysTakesTheNewestFrame)
{
    std::mutex mutex;
    std::vector<std::pair<uint32_t, uint32_t>> shown;  // (frame taken, newest index when the previous was done)
    uint32_t newestAfterPrevious = 0;
    sink.onPicture = [&] {
        const uint32_t taken = loop.lastIndex();
        if (taken == 0xFFFFFFFF)
            return;  // the blue fill
        std::this_thread::sleep_for(milliseconds(150));
        std::lock_guard lock(mutex);
        shown.push_back({taken, newestAfterPrevious});
        newestAfterPrevious = static_cast<uint32_t>(qdx::test::frameIndex());
    };
    startConnected();
    state.displayTarget = kPicturePage;
    loop.start();
    ASSERT_TRUE(waitUntil([&] { std::lock_guard lock(mutex); return shown.size() >= 8; }, milliseconds(8000)));
    loop.stop();
    std::lock_guard lock(mutex);
    for (std::size_t i = 1; i < shown.size(); ++i)
        EXPECT_GE(shown[i].first, shown[i].second) << "frame " << i << " is older than the newest one available";
    EXPECT_GE(shown.back().first - shown.front().first, 2 * (shown.size() - 1)) << "no frames were skipped";
}

// Guards the frame check in the loop: frames with a wrong end marker (last
// word 0x009E) are neither drawn nor counted, though the library received them.
TEST_F(DisplayLoopTest, DamagedFramesAreNotShownOrCounted)
{
    QDXSim_InjectFrames(2, 1000000);
    startConnected();
    state.displayTarget = kPicturePage;
    loop.start();
    const auto received = [&] {
        const auto lines = sink.rates();
        return std::any_of(lines.begin(), lines.end(), [](const auto& line) { return parseRates(line.second).usb > 0; });
    };
    ASSERT_TRUE(waitUntil(received, milliseconds(30000))) << "the library received no frame";
    for (const auto& [target, text] : sink.rates())
        EXPECT_EQ(parseRates(text).disp, 0u) << text;
    EXPECT_EQ(sink.pictureCount(), 1u) << "only the blue fill is shown";
    EXPECT_EQ(capture.count(), 0u);
}

// Guards the USB rate across a reconnection, when the camera's index starts
// again from 0: counted by the library's frame numbers, which go on, it is
// never a wrapped or negative number, and frames are counted after it.
TEST_F(DisplayLoopTest, ReconnectionKeepsTheUsbRateCounting)
{
    startConnected();
    state.displayTarget = kPicturePage;
    loop.start();
    waitForFrames(40);  // the index is well above what a second brings after the restart
    waitForRatesLines(2);
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(waitUntil([] { return qdx::test::status() == 0; }));
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(waitUntil([] { return qdx::test::status() == 1; }));
    const std::size_t before = sink.rates().size();
    waitForRatesLines(before + 3);
    for (const auto& [target, text] : sink.rates())
        EXPECT_LE(parseRates(text).usb, 100u) << text;
    EXPECT_GT(parseRates(sink.rates().back().second).usb, 0u);
}

// Guards the Calibration tools' frame: the next frame the display thread
// takes, whole or "damaged" as the display found it, while the display counts
// every frame it takes and shows every whole one; no frame within the limit
// and a stop each end the wait.
TEST_F(DisplayLoopTest, CalibrationGrabAnswersWithTheDisplaysNextFrame)
{
    StreamHealth health;
    DisplayLoop grabbing(state, image, sink, {&state.calibrationGrab}, &health);
    startConnected();
    state.displayTarget = kPicturePage;
    grabbing.start();
    std::vector<uint8_t> frame;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(state.calibrationGrab.grab(frame), CaptureResult::Whole) << i;
        EXPECT_EQ(checkFrame(frame.data(), static_cast<unsigned>(frame.size())), kFrameWhole);
    }
    QDXSim_InjectFrames(2, 1000000);
    EXPECT_EQ(state.calibrationGrab.grab(frame), CaptureResult::Damaged);
    QDXSim_SetStalled(1);
    EXPECT_EQ(state.calibrationGrab.grab(frame, {}, milliseconds(300)), CaptureResult::NoFrame);
    std::stop_source stop;
    stop.request_stop();
    EXPECT_EQ(state.calibrationGrab.grab(frame, stop.get_token()), CaptureResult::Stopped);
    grabbing.stop();
    const StreamFigures f = health.figures(StreamHealth::Clock::now());
    EXPECT_GE(f.shown, 3);
    EXPECT_GE(f.damagedFrames, 1);
    EXPECT_EQ(f.taken, f.shown + f.damagedFrames);
}

// Guards the hand-over of shown frames: every consumer gets each frame once,
// in the order given (the capture picture is refreshed before the next one
// reads it), with the options the frame was shown with.
TEST_F(DisplayLoopTest, ConsumersGetEveryShownFrameInOrder)
{
    const auto frame = makeFrame();
    state.displayTarget = kPicturePage;
    loop.present(frame.data());
    state.calibrationView = 1;
    state.showBoundaryPixels = 1;
    loop.present(frame.data());
    EXPECT_EQ(sink.events(), (std::vector<std::string>{"colour, capture count 1", "grey with border, capture count 2"}));
    EXPECT_EQ(sink.pictureCount(), 2u);
}

}  // namespace
}  // namespace qdx::viewer::test
