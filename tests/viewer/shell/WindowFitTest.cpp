// The main window against the screen it opens on, and full screen, on an
// offscreen display with the simulated camera.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenuBar>
#include <QScrollBar>
#include <QStatusBar>

#include "viewer/GuiFixture.h"

#include "analysis/AnalysisDock.h"
#include "core/commands/Commands.h"
#include "core/model/PictureFit.h"
#include "pages/PictureView.h"
#include "shell/ContentScrollArea.h"

namespace qdx::viewer::test {
namespace {

class WindowFitTest : public ViewerWindowTest {
protected:
    void TearDown() override
    {
        ViewerWindowTest::TearDown();
        setScreenSize(kTestScreen);
    }

    // Shown and laid out, scroll bars included.
    void settleLayout()
    {
        ASSERT_TRUE(processUntil([&] { return window->isVisible(); }));
        processFor(std::chrono::milliseconds(100));
    }
};

// Guards full screen: F11 shows the picture alone over the whole screen, and
// Esc or F11 brings the window back exactly as it was: geometry, menu bar,
// status line and the Analysis window.
TEST_F(WindowFitTest, FullScreenRoundTripRestoresTheWindow)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    window->action(kCmdAnalysis)->trigger();
    window->setGeometry(60, 40, 1900, 1100);
    window->activateWindow();
    ASSERT_TRUE(processUntil([&] { return window->isActiveWindow() && window->geometry().size() == QSize(1900, 1100); }));
    const QRect before = window->geometry();
    for (const int leaveKey : {Qt::Key_Escape, Qt::Key_F11}) {
        SCOPED_TRACE(leaveKey);
        keyOn(window.get(), Qt::Key_F11);
        ASSERT_TRUE(processUntil([&] { return window->isFullScreen() && window->fullScreenView(); }));
        PictureView* full = window->fullScreenView();
        ASSERT_TRUE(processUntil([&] { return full->size() == window->size(); }));
        EXPECT_TRUE(full->isVisible() && full->fit());
        EXPECT_FALSE(window->menuBar()->isVisible());
        EXPECT_FALSE(window->statusBar()->isVisible());
        EXPECT_FALSE(window->analysisDock()->isVisible());
        // The live picture, fitted and centred: black beside it.
        ASSERT_TRUE(processUntil([&] {
            const QImage shown = full->grab().toImage();
            return (shown.pixel(full->width() / 2, full->height() / 2) & 0xffffffu) != 0;
        }));
        const PictureFit place = full->placement();
        if (place.left > 0 || place.top > 0) {
            const QPoint beside = place.left > 0 ? QPoint(place.left - 1, full->height() / 2)
                                                 : QPoint(full->width() / 2, place.top - 1);
            EXPECT_EQ(full->grab().toImage().pixel(beside) & 0xffffffu, 0u);
        }

        keyOn(window.get(), leaveKey);
        ASSERT_TRUE(processUntil([&] { return !window->isFullScreen() && !window->fullScreenView(); }));
        ASSERT_TRUE(processUntil([&] { return window->geometry() == before; }))
            << window->geometry().x() << "," << window->geometry().y() << " " << window->width() << " x "
            << window->height();
        EXPECT_TRUE(window->menuBar()->isVisible());
        EXPECT_TRUE(window->statusBar()->isVisible());
        EXPECT_TRUE(window->analysisDock()->isVisible());
        EXPECT_TRUE(window->action(kCmdAnalysis)->isChecked());
        EXPECT_FALSE(page(0)->pictureView()->fit()) << "the page keeps its zoom";
    }
}

struct ScreenCase {
    const char* name;
    const char* ini;
    QSize screen;
    bool fitted;   // the window mode is larger than the screen
    bool scrolls;  // the controls alone are larger than the screen
};

class ScreenFitTest : public WindowFitTest, public ::testing::WithParamInterface<ScreenCase> {};

// Guards against a window mode opening larger than the screen: none opens
// beyond its available area, nor with scroll bars where its controls have room
// (the wide one had them on a 1920 x 1080 screen); a mode too large shows its
// picture fitted, one with room keeps 100%.
TEST_P(ScreenFitTest, WindowOpensWithinTheScreen)
{
    const ScreenCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(setScreenSize(c.screen));
    ASSERT_NO_FATAL_FAILURE(open(c.ini));
    ASSERT_NO_FATAL_FAILURE(settleLayout());
    EXPECT_LE(window->frameGeometry().width(), c.screen.width());
    EXPECT_LE(window->frameGeometry().height(), c.screen.height());
    auto* area = window->findChild<ContentScrollArea*>();
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->horizontalScrollBar()->isVisible(), c.scrolls);
    EXPECT_EQ(area->verticalScrollBar()->isVisible(), c.scrolls);
    EXPECT_EQ(program.state().displayZoom.load(), c.fitted ? kZoomFit : kZoom100);
    EXPECT_EQ(control<QComboBox>(0, 4101)->currentText(),
              c.fitted ? QStringLiteral("Fit to Window") : QStringLiteral("100%"));
    PictureView* view = page(0)->pictureView();
    EXPECT_EQ(view->fit(), c.fitted);
    EXPECT_GE(std::min(view->width(), view->height()), c.fitted ? 202 : 808);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, ScreenFitTest,
    ::testing::Values(ScreenCase{"CompactOnSmall", "[QDX_Viewer]\nWindowMode=0\n", {1280, 720}, true, false},
                      ScreenCase{"WideOnFullHd", "[QDX_Viewer]\nWindowMode=2\n", {1920, 1080}, true, false},
                      ScreenCase{"WideOnLaptop", "[QDX_Viewer]\nWindowMode=2\n", {1366, 768}, true, true},
                      ScreenCase{"CompactWithRoom", "[QDX_Viewer]\nWindowMode=0\n", {1920, 1080}, false, false},
                      ScreenCase{"WideWithRoom", "[QDX_Viewer]\nWindowMode=2\n", {2560, 1600}, false, false}),
    [](const ::testing::TestParamInfo<ScreenCase>& tested) { return std::string(tested.param.name); });

}  // namespace
}  // namespace qdx::viewer::test
