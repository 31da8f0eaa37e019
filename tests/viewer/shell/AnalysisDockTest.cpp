// The Analysis window in the main window, on the simulated camera's live
// picture: what it shows is checked against the frame it analysed, read here
// word by word.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QTabWidget>

#include <cmath>

#include "viewer/GuiFixture.h"

#include "analysis/AnalysisDock.h"
#include "core/commands/Commands.h"
#include "core/model/PictureFit.h"
#include "pages/PictureView.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;

// The 12-bit luma of camera pixel (x, y), straight from the frame's words.
int lumaAt(const uint8_t* frame, int x, int y)
{
    return frameWord(frame, static_cast<std::size_t>(y) * kCameraSide * 2 + static_cast<std::size_t>(x / 2) * 4 +
                                (x % 2 ? 3 : 1)) >> 4;
}

class AnalysisDockTest : public ViewerWindowTest {
protected:
    void openAnalysis()
    {
        ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
        window->action(kCmdAnalysis)->trigger();
        dock = window->analysisDock();
        ASSERT_TRUE(dock && dock->isVisible());
        ASSERT_TRUE(processUntil([&] { return value("Pixels") != QStringLiteral("\u2014"); }));
    }

    // The value label of a caption.
    QString value(const char* caption) const
    {
        for (QLabel* label : dock->findChildren<QLabel*>())
            if (label->accessibleDescription() == QLatin1String(caption))
                return label->text();
        ADD_FAILURE() << "no value " << caption;
        return {};
    }

    // Lets a few more frames through, then holds the camera still, so that
    // the window and the test read the same last frame.
    const AnalysisSnapshot& settle()
    {
        AnalysisFeed& feed = program.analysisFeed();
        QDXSim_SetStalled(0);
        const AnalysisSnapshot* first = nullptr;
        EXPECT_TRUE(processUntil([&] { return (first = feed.latest()) != nullptr; }));
        const uint64_t from = first ? first->number : 0;
        EXPECT_TRUE(processUntil([&] { return feed.latest()->number >= from + 2; }));
        QDXSim_SetStalled(1);
        processFor(milliseconds(300));
        dock->refresh();
        return *feed.latest();
    }

    PictureView* view() const { return page(window->tabs()->currentIndex())->pictureView(); }

    void mouse(QEvent::Type type, QPoint at, Qt::MouseButton button = Qt::NoButton)
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease || button == Qt::NoButton
                                          ? Qt::MouseButtons()
                                          : Qt::MouseButtons(Qt::LeftButton);
        QMouseEvent event(type, QPointF(at), view()->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(view(), &event);
    }

    void drag(QPoint from, QPoint to)
    {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::NoButton);
        mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton);
    }

    AnalysisDock* dock = nullptr;
};

// Guards the pixel inspector's mapping and readout: at 100% and 200% the
// pixel under the mouse, its words and 12-bit values, and on the Calibration
// page the grey it is shown in.
TEST_F(AnalysisDockTest, InspectorReadsThePixelUnderTheMouse)
{
    ASSERT_NO_FATAL_FAILURE(openAnalysis());
    const AnalysisSnapshot* shot = &settle();
    mouse(QEvent::MouseMove, {37, 120});
    EXPECT_EQ(value("Camera pixel"), QStringLiteral("(37, 120)"));
    const int y = lumaAt(shot->frame.get(), 37, 120);
    EXPECT_TRUE(value("Y").endsWith(QStringLiteral("(12-bit %1)").arg(y))) << value("Y").toStdString();
    const uint16_t cb = frameWord(shot->frame.get(), (120 * kCameraSide * 2) + 18 * 4);
    EXPECT_TRUE(value("Cb").startsWith(QStringLiteral("0x%1").arg(cb, 4, 16, QLatin1Char('0'))));
    const Bgr shown = yuvToBgr(y, (cb >> 4) - 2048, (frameWord(shot->frame.get(), 120 * kCameraSide * 2 + 18 * 4 + 2) >> 4) - 2048);
    EXPECT_EQ(value("Shown R, G, B"), QStringLiteral("%1, %2, %3").arg(shown.r).arg(shown.g).arg(shown.b));

    mouse(QEvent::MouseMove, {500, 30});
    EXPECT_EQ(value("Camera pixel"), QStringLiteral("\u2014")) << "beside the picture at 100%";
    program.state().displayZoom = 1;
    mouse(QEvent::MouseMove, {807, 1});
    EXPECT_EQ(value("Camera pixel"), QStringLiteral("(403, 0) (boundary, hidden)"));
    EXPECT_EQ(value("Shown R, G, B"), QStringLiteral("0, 0, 0"));

    window->tabs()->setCurrentIndex(kCalibrationPage);
    shot = &settle();
    mouse(QEvent::MouseMove, {75, 241});
    EXPECT_EQ(value("Camera pixel"), QStringLiteral("(37, 120)"));
    const int grey = lumaAt(shot->frame.get(), 37, 120) >> 4;
    EXPECT_EQ(value("Shown R, G, B"), QStringLiteral("%1, %1, %1").arg(grey));
}

// Guards the fitted picture's one mapping from view to camera pixels: at
// window sizes of either shape the corners and centre probe the right camera
// pixels, the view paints there the colour the inspector reads, black beside
// the picture, and a drag sets the region in camera pixels.
TEST_F(AnalysisDockTest, FittedPictureProbesAndPaintsTheSameCameraPixels)
{
    ASSERT_NO_FATAL_FAILURE(openAnalysis());
    choose(control<QComboBox>(0, 4101), kZoomFit);
    settle();
    for (const QSize size : {QSize(1700, 1000), QSize(2400, 1300), QSize(1500, 1550)}) {
        window->resize(size);
        ASSERT_TRUE(processUntil([&] { return window->size() == size && view()->width() > 404; }));
        processFor(milliseconds(50));  // the layout settles
        const int w = view()->width(), h = view()->height(), side = std::min(w, h);
        const QPoint topLeft((w - side) / 2, (h - side) / 2);
        const double scale = side / 404.0;
        const auto pixelText = [&](QPoint at) {
            mouse(QEvent::MouseMove, at);
            return value("Camera pixel").section(QLatin1Char(' '), 0, 1);
        };
        SCOPED_TRACE(testing::Message() << w << " x " << h);
        EXPECT_EQ(pixelText(topLeft), QStringLiteral("(0, 0)"));
        EXPECT_EQ(pixelText(topLeft + QPoint(side - 1, side - 1)), QStringLiteral("(403, 403)"));
        EXPECT_EQ(pixelText(topLeft + QPoint(side / 2, side / 2)), QStringLiteral("(202, 202)"));
        const QPoint beside = w > h ? topLeft - QPoint(1, 0) : topLeft - QPoint(0, 1);
        EXPECT_EQ(pixelText(beside), QStringLiteral("\u2014"));

        const QImage painted = view()->grab().toImage();
        EXPECT_EQ(painted.pixel(beside) & 0xffffffu, 0u);
        for (const int camera : {12, 202, 391}) {
            const QPoint at = topLeft + QPoint(int((camera + 0.5) * scale), int((camera + 0.5) * scale));
            ASSERT_EQ(pixelText(at), QStringLiteral("(%1, %1)").arg(camera));
            const QStringList rgb = value("Shown R, G, B").split(QStringLiteral(", "));
            ASSERT_EQ(rgb.size(), 3);
            const QColor seen = painted.pixelColor(at);
            EXPECT_NEAR(seen.red(), rgb[0].toInt(), 3) << camera;
            EXPECT_NEAR(seen.green(), rgb[1].toInt(), 3) << camera;
            EXPECT_NEAR(seen.blue(), rgb[2].toInt(), 3) << camera;
        }
    }
    const int side = std::min(view()->width(), view()->height());
    const QPoint topLeft((view()->width() - side) / 2, (view()->height() - side) / 2);
    const double scale = side / 404.0;
    const auto at = [&](int x, int y) { return topLeft + QPoint(int((x + 0.5) * scale), int((y + 0.5) * scale)); };
    drag(at(149, 159), at(50, 60));
    settle();
    EXPECT_EQ(value("Region"), QStringLiteral("100 x 100 at (50, 60)"));
}

// Guards the drags: a dragged rectangle becomes the region of interest (its
// statistics those of exactly that rectangle), a dragged line gives the
// profile along it, and closing the window stops the analysis.
TEST_F(AnalysisDockTest, DragsSetTheRegionAndTheProfileLine)
{
    ASSERT_NO_FATAL_FAILURE(openAnalysis());
    drag({149, 159}, {50, 60});  // corners in either order
    const AnalysisSnapshot& shot = settle();
    EXPECT_EQ(value("Region"), QStringLiteral("100 x 100 at (50, 60)"));
    EXPECT_EQ(value("Pixels"), QStringLiteral("10000"));
    double sum = 0, squares = 0;
    int low = kLumaFull, high = 0;
    for (int y = 60; y < 160; ++y)
        for (int x = 50; x < 150; ++x) {
            const int v = lumaAt(shot.frame.get(), x, y);
            sum += v;
            squares += double(v) * v;
            low = std::min(low, v);
            high = std::max(high, v);
        }
    const double mean = sum / 10000;
    EXPECT_EQ(value("Mean"), QString::number(mean, 'f', 1));
    EXPECT_EQ(value("Standard deviation"), QString::number(std::sqrt(squares / 10000 - mean * mean), 'f', 2));
    EXPECT_EQ(value("Minimum"), QString::number(low));
    EXPECT_EQ(value("Maximum"), QString::number(high));

    for (QComboBox* box : dock->findChildren<QComboBox*>())
        if (box->accessibleName() == QStringLiteral("Drag on picture sets"))
            box->setCurrentIndex(1);
    drag({10, 300}, {110, 300});
    const AnalysisSnapshot& lined = settle();
    ASSERT_EQ(lined.profile.size(), 101u);
    for (int i = 0; i <= 100; i += 25)
        EXPECT_EQ(lined.profile[static_cast<std::size_t>(i)], lumaAt(lined.frame.get(), 10 + i, 300)) << i;
    EXPECT_TRUE(value("Line").startsWith(QStringLiteral("(10, 300) to (110, 300), 101 pixels")));
    EXPECT_EQ(value("Region"), QStringLiteral("100 x 100 at (50, 60)")) << "a line leaves the region alone";

    window->action(kCmdAnalysis)->trigger();
    EXPECT_TRUE(dock->isHidden());
    EXPECT_FALSE(window->action(kCmdAnalysis)->isChecked());
    EXPECT_FALSE(program.analysisFeed().active());
    EXPECT_FALSE(view()->hasMouseTracking());
}

}  // namespace
}  // namespace qdx::viewer::test
