// The Calibration page's widgets with the simulated camera and the real
// Picture page beside it. The rules themselves are tested on the model
// (core/PanelModelTest).
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>
#include <QTabWidget>
#include <QToolButton>

#include <vector>

#include "viewer/GuiFixture.h"

#include "api/SimCameraFixture.h"

#include "pages/CalibrationPage.h"

namespace qdx::viewer::test {
namespace {

using qdx::test::simRegister;

class CalibrationPageTest : public ViewerWindowTest {
protected:
    QString label(int sliderIndex) const { return control<QLabel>(1, 5201 + (sliderIndex == 4 ? 6 : sliderIndex))->text(); }
    CalibrationPage* calibration() const { return qobject_cast<CalibrationPage*>(page(kCalibrationPage)); }
};

// Guards the page as built: wrong defaults or label formats, a frame count
// other than 1, a DP table that does not start empty, a writable result box,
// or a camera write while building.
TEST_F(CalibrationPageTest, BuiltPageShowsDefaultsAndSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(open({}, true));
    EXPECT_EQ((QStringList{label(0), label(1), label(2), label(3), label(4)}),
              (QStringList{"0", "28.8ms", "x1.000", "50", "128"}));
    EXPECT_EQ(control<QLineEdit>(1, 7020)->text(), QStringLiteral("1"));
    EXPECT_EQ(program.state().csvFrameCount.load(), 1);
    EXPECT_EQ(control<QSlider>(1, 5104)->pageStep(), 409);
    for (int id : {2001, 2002}) {
        auto* box = control<QPlainTextEdit>(1, id);
        ASSERT_NE(box, nullptr) << id;
        EXPECT_TRUE(box->isReadOnly() && box->toPlainText().isEmpty()) << id;
    }
    EXPECT_EQ(program.panels().dpTable().validCount(), 0);
    EXPECT_EQ(program.panels().dpTable().x(63), 511);
    EXPECT_FALSE(control(1, 3021)->isEnabled()) << "FPN Save without FPN Mode2";
    EXPECT_TRUE(control(1, 3016)->isEnabled());
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), 0);
}

// Guards the FPN mode's widgets on both pages: "ON (Mode2)" locks exposure
// and gain here (the gain readable), offers "Save" and shows "Mode2" on the
// Picture page; the next activation of this page shows everything off again.
TEST_F(CalibrationPageTest, FpnModeShowsOnBothPagesUntilTheNextActivation)
{
    ASSERT_NO_FATAL_FAILURE(open({}, true));
    PanelUpdate valid;  // as the monitor reports a valid sensor-head memory
    valid.cisMemoryValid = true;
    program.panels().apply(valid);
    for (int round = 0; round < 2; ++round) {
        window->tabs()->setCurrentIndex(kCalibrationPage);
        choose(control<QComboBox>(1, 4105), 1);
        EXPECT_EQ(control<QComboBox>(0, 4112)->currentText(), QStringLiteral("Mode2"));
        EXPECT_EQ(control<QComboBox>(0, 4102)->currentText(), QStringLiteral("MGC+AEC"));
        EXPECT_TRUE(control(1, 3021)->isEnabled());
        EXPECT_FALSE(control(1, 5102)->isEnabled());
        EXPECT_TRUE(control(1, 5104)->isEnabled());
        EXPECT_FALSE(control(1, 5103)->isEnabled());
        EXPECT_TRUE(control(1, 5203)->isEnabled() && control(1, 5003)->isEnabled());
        window->tabs()->setCurrentIndex(kPicturePage);
        window->tabs()->setCurrentIndex(kCalibrationPage);
        EXPECT_EQ(control<QComboBox>(1, 4105)->currentIndex(), 0) << round;
        EXPECT_EQ(control<QComboBox>(0, 4112)->currentIndex(), 0);
        EXPECT_FALSE(control(1, 3021)->isEnabled());
        EXPECT_EQ(simRegister(QDX_REG_FPN_CORR), 0);
    }
}

// Guards the CSV frame count: arrows running past 1..20, a typed number beyond
// 20 counted as such, or the box rewritten when its text changes.
TEST_F(CalibrationPageTest, CsvFrameCountStaysWithinOneToTwenty)
{
    ASSERT_NO_FATAL_FAILURE(open());
    struct Step {
        const char* text;
        int arrow;  // +1 up, -1 down, 0 only typed
        int count;
        const char* shown;
    };
    const Step steps[] = {
        {"20", +1, 20, "20"}, {"1", -1, 1, "1"},   {"35", 0, 20, "35"}, {"abc", 0, 1, "abc"},
        {"7", +1, 8, "8"},    {"35", -1, 20, "20"}, {"0", 0, 1, "0"},
    };
    auto* box = control<QLineEdit>(1, 7020);
    auto* arrows = control(1, 7019);
    ASSERT_TRUE(box && arrows);
    for (const Step& s : steps) {
        box->setText(QString::fromLatin1(s.text));
        if (s.arrow)
            arrows->findChild<QToolButton*>(s.arrow > 0 ? "up" : "down")->click();
        EXPECT_EQ(program.state().csvFrameCount.load(), s.count) << s.text << " " << s.arrow;
        EXPECT_EQ(box->text(), QString::fromLatin1(s.shown)) << s.text << " " << s.arrow;
    }
}

// Guards the wiring to the camera and the Picture page's widgets: a slider
// sent and mirrored with its label, the threshold sent nowhere, the gamma and
// zoom choices shown on the Picture page.
TEST_F(CalibrationPageTest, ChangesReachTheCameraAndThePicturePage)
{
    ASSERT_NO_FATAL_FAILURE(open({}, true));
    window->tabs()->setCurrentIndex(kCalibrationPage);
    control<QSlider>(1, 5102)->setValue(300);
    EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 300);
    EXPECT_EQ(label(1), QStringLiteral("21.6ms"));
    EXPECT_EQ(control<QSlider>(0, 5102)->value(), 300);
    EXPECT_EQ(control<QLabel>(0, 5202)->text(), QStringLiteral("21.6ms"));

    const int writes = QDXSim_GetRequestCount(0x19);
    control<QSlider>(1, 5107)->setValue(77);
    EXPECT_EQ(label(4), QStringLiteral("77"));
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), writes) << "the threshold was sent";

    choose(control<QComboBox>(1, 4102), 3);
    EXPECT_EQ(simRegister(QDX_REG_GAMMA), 3);
    EXPECT_EQ(control<QComboBox>(0, 4107)->currentText(), QStringLiteral("Curve3"));
    choose(control<QComboBox>(1, 4101), 1);
    EXPECT_EQ(program.state().displayZoom.load(), 1);
    EXPECT_EQ(control<QComboBox>(0, 4101)->currentIndex(), 1);
}

// Guards the layouts: the compact page showing other than the chosen group,
// or the wide page hiding a group or keeping the selector.
TEST_F(CalibrationPageTest, CompactShowsOneGroupWideShowsAll)
{
    ASSERT_NO_FATAL_FAILURE(open());
    window->tabs()->setCurrentIndex(kCalibrationPage);
    const std::array<int, 4> groups{7011, 7012, 7014, 7015};
    auto visibleGroups = [&] {
        std::vector<int> shown;
        for (int id : groups)
            if (control(1, id)->isVisible())
                shown.push_back(id);
        return shown;
    };
    EXPECT_EQ(visibleGroups(), std::vector<int>{7011});
    choose(control<QComboBox>(1, 7003), 2);
    EXPECT_EQ(visibleGroups(), std::vector<int>{7014});
    EXPECT_EQ(calibration()->group(), 2);
    EXPECT_TRUE(control(1, 7003)->isVisible());

    ASSERT_NO_FATAL_FAILURE(reopen("[QDX_Viewer]\nWindowMode=2\n"));
    window->tabs()->setCurrentIndex(kCalibrationPage);
    EXPECT_EQ(visibleGroups(), (std::vector<int>{7011, 7012, 7014, 7015}));
    EXPECT_FALSE(control(1, 7003)->isVisible());
    auto x = [&](int id) { return control(1, id)->mapTo(page(1), QPoint()).x(); };
    EXPECT_EQ(x(7011), x(7012));
    EXPECT_LT(x(7011), x(7014));
    EXPECT_LT(x(7014), x(7015));
}

}  // namespace
}  // namespace qdx::viewer::test
