// The Picture page's widgets with the simulated camera: what they show, what
// the operator's input reaches (the camera, the Calibration page), and the
// device monitor's values arriving in both pages. The rules themselves are
// tested on the model (core/PanelModelTest).
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

#include "viewer/GuiFixture.h"

#include "api/SimCameraFixture.h"

#include "core/commands/Commands.h"
#include "pages/PicturePage.h"
#include "live/DisplayImage.h"
#include "pages/PictureView.h"
#include "viewer/FrameBuilder.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;

using qdx::test::simRegister;

class PicturePageTest : public ViewerWindowTest {
protected:
    QString label(int p, int k) const { return control<QLabel>(p, 5201 + k)->text(); }
    PicturePage* picture() const { return qobject_cast<PicturePage*>(page(kPicturePage)); }
};

// Guards the page as built: every label shows its default in its own unit,
// building sends nothing to the camera, and a click beside the thumb steps by
// a tenth of the range (1 on "Image Fine Adj.", 409 on the target), is sent,
// and moves the same slider on the Calibration page.
TEST_F(PicturePageTest, BuiltWithDefaultLabelsAndSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(open({}, true));
    const QStringList expected = {
        "0", "28.8ms", "x1.000", "50", "0", "0", "0", "0", "0.000dB", "0.000dB", "1.00", "0.00",
        "0.00", "0.00", "1.00", "0.00", "0.00", "0.00", "1.00", "0.000dB", "0.000dB", "0.000dB", "0"};
    for (int k = 0; k < kPictureSliders; ++k)
        EXPECT_EQ(label(0, k), expected[k]) << "slider " << k;
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), 0);
    EXPECT_EQ(control<QLabel>(0, 7002)->text(), QStringLiteral("LIVE"));

    control<QSlider>(0, 5123)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    control<QSlider>(0, 5104)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(simRegister(QDX_REG_CIS_CLOCK_PHASE), 1);
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_TARGET), 459);
    EXPECT_EQ(control<QSlider>(1, 5104)->value(), 459) << "the target is shown on both pages";
    EXPECT_EQ(label(1, 3), QStringLiteral("459"));
}

// Guards the wiring of the rules to the widgets of both pages: FPN Mode2
// chosen here shows "MGC+AEC", the capped gain on both pages, a locked but
// readable RAW gain here and on the Calibration page; rotation greys flip.
TEST_F(PicturePageTest, ChoicesShowOnBothPagesWithTheirEnabling)
{
    ASSERT_NO_FATAL_FAILURE(open({}, true));
    QDXSim_SetRegister(QDX_REG_RAW_GAIN, 100, 0);
    choose(control<QComboBox>(0, 4112), 2);
    EXPECT_EQ(control<QComboBox>(0, 4102)->currentIndex(), 1);
    EXPECT_EQ(control<QSlider>(0, 5103)->value(), 64);
    EXPECT_EQ(label(0, 2), QStringLiteral("x4.000"));
    EXPECT_EQ(label(1, 2), QStringLiteral("x4.000"));
    EXPECT_FALSE(control(0, 5103)->isEnabled());
    EXPECT_TRUE(control(0, 5203)->isEnabled() && control(0, 5003)->isEnabled());
    EXPECT_FALSE(control(0, 5102)->isEnabled());
    EXPECT_TRUE(control(0, 5104)->isEnabled() && control(0, 4104)->isEnabled());
    EXPECT_FALSE(control(1, 5103)->isEnabled());
    EXPECT_TRUE(control(1, 5104)->isEnabled());

    choose(control<QComboBox>(0, 4109), 1);
    EXPECT_FALSE(control(0, 4108)->isEnabled());
    EXPECT_FALSE(control(0, 4008)->isEnabled());
    EXPECT_EQ(simRegister(QDX_REG_IMAGE_ROTATION), 1);
}

// Guards the monitor's arrival and the camera's own changes reaching the
// widgets: the camera's values fill both pages, the FPGA version greys "VFPN
// Corr.", and automatic exposure moves "Exposure Time" on both pages through
// the change mask.
TEST_F(PicturePageTest, MonitorShowsTheCamerasValuesAndItsOwnChanges)
{
    QDXSim_SetRegister(QDX_REG_BLACK_LEVEL, 77, 0);
    QDXSim_SetRegister(QDX_REG_EXPOSURE_TIME, 200, 0);
    QDXSim_SetRegister(QDX_REG_FPGA_VER, 0x012, 0);
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    EXPECT_EQ(label(0, 0), QStringLiteral("77"));
    EXPECT_EQ(label(1, 0), QStringLiteral("77"));
    EXPECT_EQ(label(0, 1), QStringLiteral("14.4ms"));
    EXPECT_EQ(control<QSlider>(1, 5102)->value(), 200);
    EXPECT_EQ(page(1)->cameraInfo(5), QStringLiteral("1.2 (A)"));
    EXPECT_FALSE(control(0, 4115)->isEnabled());
    EXPECT_FALSE(control(0, 4015)->isEnabled());

    QDXSim_SetScene(2);  // darkness: automatic exposure opens up
    choose(control<QComboBox>(0, 4102), 1);
    auto* exposure = control<QSlider>(0, 5102);
    ASSERT_TRUE(processUntil([&] { return exposure->value() > 200; }));
    ASSERT_TRUE(processUntil([&] { return exposure->value() == simRegister(QDX_REG_EXPOSURE_TIME); }));
    EXPECT_EQ(control<QSlider>(1, 5102)->value(), exposure->value());
}

// Guards Camera Info through plugging: the blank sensor-head memory ("Yes",
// no S/N, "No", "No") with both table "Save" buttons greyed, dashes and a
// blue picture on removal, and every line written again on the next arrival.
TEST_F(PicturePageTest, CameraInfoFollowsPluggingAndTheSensorHead)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    auto lines = [&](int p) {
        QStringList texts;
        for (int i = 0; i < 6; ++i)
            texts << page(p)->cameraInfo(i);
        return texts;
    };
    const QStringList blankHead = {"Yes", "", "No", "No", "1.4", "2.1 (A)"};
    EXPECT_EQ(lines(0), blankHead);
    EXPECT_EQ(lines(1), blankHead);
    EXPECT_FALSE(control(1, 3016)->isEnabled());
    EXPECT_FALSE(control(1, 3021)->isEnabled());

    QDXSim_SetPlugged(0, 0);
    const QString dash = QString::fromUtf8(kNoCameraValue);
    ASSERT_TRUE(processUntil([&] { return lines(0) == QStringList{dash, dash, dash, dash, dash, dash}; }));
    EXPECT_EQ(lines(1), lines(0));
    const uint8_t* shown = program.displayImage()->front();
    EXPECT_EQ(pixel(shown, 0, 0), (Bgr{255, 0, 0})) << "the picture turns blue";
    // Painted as stored: a format that reads the bytes in another order paints it red.
    EXPECT_EQ(page(0)->pictureView()->grab().toImage().pixelColor(404, 404), QColor(Qt::blue));

    const unsigned char header[] = {'Q', 'D', 'X', 0, 1, 0};
    const char serial[] = "SN-0042";
    QDXSim_WriteMemory(1, 0x0000, sizeof header, header);
    QDXSim_WriteMemory(1, 0x0010, sizeof serial, reinterpret_cast<const unsigned char*>(serial));
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(processUntil([&] { return lines(0).last() != dash; }));
    processFor(milliseconds(150));
    EXPECT_EQ(lines(0), (QStringList{"Yes", "SN-0042", "Yes", "Yes", "1.4", "2.1 (A)"}));
    EXPECT_EQ(lines(1), lines(0));
    EXPECT_TRUE(control(1, 3016)->isEnabled());
}

// Guards against a viewer without a camera showing the built-in Camera Info
// texts ("Yes", "??????????????", "1.0", ...) as if a camera had answered,
// and a blue picture with no word of why: dashes and the waiting notice on
// both pages until the simulated camera is plugged in, its values and no
// notice then, and both back when it goes.
TEST_F(PicturePageTest, WithoutACameraInfoShowsDashesAndThePictureSaysWhy)
{
    QDXSim_SetPlugged(0, 0);
    ASSERT_NO_FATAL_FAILURE(open());
    const QString dash = QString::fromUtf8(kNoCameraValue);
    const auto lines = [&](int p) {
        QStringList texts;
        for (int i = 0; i < kCameraInfoLines; ++i)
            texts << page(p)->cameraInfo(i);
        return texts;
    };
    const QStringList dashes(kCameraInfoLines, dash);
    const QString waiting = QStringLiteral("No camera. Waiting for one to be connected\u2026");
    for (int p = 0; p < 2; ++p) {
        EXPECT_EQ(lines(p), dashes);
        EXPECT_EQ(page(p)->noCameraNotice(), waiting);
    }

    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(processUntil([&] { return lines(0).last() != dash; }));
    processFor(milliseconds(150));  // the rest of that delivery
    EXPECT_EQ(lines(0), (QStringList{"Yes", "", "No", "No", "1.4", "2.1 (A)"}));
    EXPECT_EQ(page(0)->noCameraNotice(), QString());
    EXPECT_EQ(page(1)->noCameraNotice(), QString());

    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(processUntil([&] { return lines(0) == dashes; }));
    EXPECT_EQ(page(0)->noCameraNotice(), waiting);
}

// Guards "Exec": the wait cursor and a greyed button while the camera works,
// the window still handling events meanwhile, and the new red and blue gains
// shown (not sent back) when it has finished.
TEST_F(PicturePageTest, WhiteBalanceRunsWhileTheWindowStaysResponsive)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    QDXSim_SetScene(1);
    auto* exec = control<QPushButton>(0, 3007);
    exec->click();
    EXPECT_FALSE(exec->isEnabled());
    EXPECT_TRUE(picture()->whiteBalanceRunning());
    ASSERT_TRUE(processUntil([&] { return !picture()->whiteBalanceRunning(); }));
    EXPECT_TRUE(exec->isEnabled());
    EXPECT_EQ(interaction.cursor, (std::vector<bool>{true, false}));
    int red = 0, blue = 0;
    QDX_Get_GainRB(0, &red);
    QDX_Get_GainRB(1, &blue);
    EXPECT_NE(red, 0);
    EXPECT_EQ(control<QSlider>(0, 5109)->value(), red);
    EXPECT_EQ(control<QSlider>(0, 5110)->value(), blue);
}

// Guards the Picture page's activation during a CSV export: the export is
// aborted with its notice, the Calibration page's CSV controls are offered
// again, and "Save as CSV" stays greyed on this page (where an export of luma
// values cannot run).
TEST_F(PicturePageTest, ActivationAbortsACsvExport)
{
    ASSERT_NO_FATAL_FAILURE(open());
    window->tabs()->setCurrentIndex(kCalibrationPage);
    QDXSim_SetStalled(1);  // the export waits for its first frame
    ASSERT_TRUE(program.panels().startCsvExport(dir.filePath(QStringLiteral("scan.csv")).toStdString(), 5));
    EXPECT_FALSE(control(1, 7018)->isEnabled());
    window->tabs()->setCurrentIndex(kPicturePage);
    ASSERT_EQ(interaction.messages.size(), 1u);
    EXPECT_EQ(interaction.messages[0].text, QStringLiteral("CSV File Save Aborted."));
    EXPECT_EQ(interaction.messages[0].title, QStringLiteral("info"));
    EXPECT_FALSE(program.state().csvExport.active());
    EXPECT_EQ(program.state().csvExport.remaining(), 0);
    EXPECT_FALSE(window->action(kCmdSaveCsv)->isEnabled());
    EXPECT_TRUE(control(1, 7018)->isEnabled() && control(1, 7019)->isEnabled() && control(1, 7020)->isEnabled());
}

// Guards against a 100% picture repainted only in its square while the view
// still shows something else around it: after a 200% picture, or the blue
// picture of a camera gone, the rest of the view must be repainted too.
TEST(PictureViewTest, RepaintsAroundThePictureWhereThatChanged)
{
    DisplayImage image;
    PictureView view(image, nullptr);
    QRegion painted;
    struct PaintSpy : QObject {
        QRegion* painted;
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Paint)
                *painted += static_cast<QPaintEvent*>(event)->region();
            return false;
        }
    } spy;
    spy.painted = &painted;
    view.installEventFilter(&spy);
    view.show();
    ASSERT_TRUE(processUntil([&] { return painted == QRegion(view.rect()); }));

    const std::vector<uint8_t> frame = makeFrame();
    const QRegion square(0, 0, kCameraSide, kCameraSide), whole(view.rect());
    const auto repainted = [&](auto publish) {
        painted = {};
        publish();
        view.showNewPicture();
        processUntil([&] { return !painted.isEmpty(); });
        for (int i = 0; i < 3; ++i)  // a repaint the paint asks for is posted
            QCoreApplication::sendPostedEvents();
        return painted;
    };
    const auto at100 = [&] { image.render(frame.data(), {.zoom200 = false}); };
    const auto at200 = [&] { image.render(frame.data(), {.zoom200 = true}); };
    EXPECT_EQ(repainted(at100), square);
    EXPECT_EQ(repainted(at200), whole);
    EXPECT_EQ(repainted(at100), whole);
    EXPECT_EQ(repainted(at100), square);
    EXPECT_EQ(repainted([&] { image.fillBlue(); }), whole);
    EXPECT_EQ(repainted(at100), whole);
}

}  // namespace
}  // namespace qdx::viewer::test
