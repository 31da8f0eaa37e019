// The Calibration page on an offscreen display with the simulated camera; the
// Picture page's side of each coupling is a recording fake.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "QDX_SIM.h"
#include "pages/CalibrationPage.h"
#include "shell/MainWindow.h"
#include "shell/ViewerProgram.h"
#include "viewer/shell/ScriptedInteraction.h"

namespace qdx::viewer::test {
namespace {

using namespace std::chrono_literals;

bool processUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = 5000ms)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class FakePicturePanel final : public PicturePanel {
public:
    void setSlider(int index, int value) override { sliders.at(static_cast<std::size_t>(index)) = value; }
    int slider(int index) const override { return sliders.at(static_cast<std::size_t>(index)); }
    void selectCombo(int index, int selection) override { combos.at(static_cast<std::size_t>(index)) = selection; }
    int combo(int index) const override { return combos.at(static_cast<std::size_t>(index)); }
    void applyEnablingRules() override { ++enablingRuns; }
    void applyDefaults() override {}
    void setVfpnAvailable(bool) override {}
    void showZoom(int selection) override { zoom = selection; }

    std::array<int, kPictureSliders> sliders{};
    std::array<int, kPictureCombos> combos{};
    int enablingRuns = 0;
    int zoom = -1;
};

// Register writes (request 0x19) the camera received for one register.
int writesTo(int reg)
{
    std::vector<unsigned char> log(8 * 8192);
    const int n = QDXSim_GetRequestLog(8192, log.data());
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const unsigned char* p = &log[8 * static_cast<std::size_t>(i)];
        count += p[1] == 0x19 && (p[4] | p[5] << 8) == reg;
    }
    return count;
}

int cameraRegister(int reg)
{
    int value = -1;
    QDXSim_GetRegister(reg, &value);
    return value;
}

class CalibrationPageTest : public ::testing::Test {
protected:
    void SetUp() override { QDXSim_Reset(); }

    void TearDown() override
    {
        window.reset();
        program.shutDown();
    }

    // withCamera: the library has opened the camera before the window is
    // built (setters fail quietly before), and the test body runs no events,
    // so the device monitor's updates do not mix with the page's own.
    void open(const QByteArray& ini = {}, bool withCamera = false)
    {
        if (!ini.isEmpty()) {
            QFile file(configPath);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(ini);
        }
        program.startUp();
        if (withCamera) {
            ASSERT_TRUE(processUntil([] {
                int status = 0;
                return QDX_GetStatus(&status) == 0 && (status & 1) != 0;
            }));
        }
        window = std::make_unique<MainWindow>(program, interaction, configPath);
        window->show();
        page = dynamic_cast<CalibrationPage*>(window->page(1));
        ASSERT_NE(page, nullptr);
        page->setPicturePanelSource([this] { return &picture; });
    }

    void openWithCamera() { open({}, true); }

    template <typename W = QWidget>
    W* control(int id)
    {
        for (QWidget* w : page->findChildren<QWidget*>())
            if (w->property("controlId").toInt() == id)
                return qobject_cast<W*>(w);
        return nullptr;
    }

    // As the operator confirms a combo entry.
    void choose(int comboId, int selection)
    {
        auto* box = control<QComboBox>(comboId);
        ASSERT_NE(box, nullptr) << comboId;
        box->setCurrentIndex(selection);
        emit box->activated(selection);
    }

    QString label(int sliderIndex) { return control<QLabel>(5201 + (sliderIndex == 4 ? 6 : sliderIndex))->text(); }

    QTemporaryDir dir;
    QString configPath = dir.filePath(QStringLiteral("QDX_Viewer.ini"));
    ViewerProgram program;
    ScriptedInteraction interaction;
    FakePicturePanel picture;
    std::unique_ptr<MainWindow> window;
    CalibrationPage* page = nullptr;
};

// Guards the page as built: wrong defaults or label formats, a frame count
// other than 1, a DP table that does not start empty, a writable result box,
// or a camera write while building.
TEST_F(CalibrationPageTest, BuiltPageShowsDefaultsAndSendsNothing)
{
    ASSERT_NO_FATAL_FAILURE(openWithCamera());
    EXPECT_EQ((QStringList{label(0), label(1), label(2), label(3), label(4)}),
              (QStringList{"0", "28.8ms", "x1.000", "50", "128"}));
    EXPECT_EQ(control<QLineEdit>(7020)->text(), QStringLiteral("1"));
    EXPECT_EQ(program.state().csvFrameCount.load(), 1);
    EXPECT_EQ(control<QSlider>(5104)->pageStep(), 409);
    for (int id : {2001, 2002}) {
        auto* box = control<QPlainTextEdit>(id);
        ASSERT_NE(box, nullptr) << id;
        EXPECT_TRUE(box->isReadOnly() && box->toPlainText().isEmpty()) << id;
    }
    EXPECT_EQ(page->dpTable().validCount(), 0);
    EXPECT_EQ(page->dpTable().x(63), 511);
    EXPECT_FALSE(control(3021)->isEnabled()) << "FPN Save without FPN Mode2";
    EXPECT_TRUE(control(3016)->isEnabled());
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), 0);
}

// Guards page activation: FPN correction must be off on this page, on the
// Picture page and in the camera every time, even after Mode2 was chosen, and
// the camera switches to data format 1.
TEST_F(CalibrationPageTest, EveryActivationTurnsFpnOffEverywhere)
{
    ASSERT_NO_FATAL_FAILURE(openWithCamera());
    for (int round = 0; round < 2; ++round) {
        window->tabs()->setCurrentIndex(1);
        choose(4105, 1);
        ASSERT_EQ(cameraRegister(38), 2);
        window->tabs()->setCurrentIndex(0);
        const int runs = picture.enablingRuns;
        window->tabs()->setCurrentIndex(1);
        EXPECT_EQ(page->combo(calibration::kFpnMode), 0) << round;
        EXPECT_EQ(control<QComboBox>(4105)->currentIndex(), 0);
        EXPECT_EQ(picture.combos[picture::kFpnCorr], 0);
        EXPECT_EQ(cameraRegister(38), 0);
        EXPECT_FALSE(control(3021)->isEnabled());
        EXPECT_GT(picture.enablingRuns, runs) << "the enabling rules did not run";
        int format = -1;
        EXPECT_EQ(QDX_Get_DataFormat(&format), 0);
        EXPECT_EQ(format, 1);
        EXPECT_EQ(program.state().calibrationView.load(), 1);
    }
}

struct Mode2Case {
    int cameraGain;
    bool cisValid;
    int gain;
    const char* label;
};

void PrintTo(const Mode2Case& c, std::ostream* os)
{
    *os << "gain " << c.cameraGain << (c.cisValid ? ", CIS valid" : ", CIS invalid");
}

class FpnMode2Test : public CalibrationPageTest, public ::testing::WithParamInterface<Mode2Case> {};

// Guards "ON (Mode2)": a RAW gain above 64 not capped on both pages and in the
// camera (or one at most 64 changed), Mode not forced to "MGC+AEC", Picture
// "FPN Corr." not on Mode2, the FPN "Save" enabled without valid CIS memory,
// and "OFF" not undoing it.
TEST_P(FpnMode2Test, GainCapModeAndSaveButton)
{
    const Mode2Case c = GetParam();
    ASSERT_NO_FATAL_FAILURE(openWithCamera());
    window->tabs()->setCurrentIndex(1);
    QDXSim_SetRegister(4, c.cameraGain, 0);
    program.panelShared().cisMemoryValid = c.cisValid;
    choose(4105, 1);
    EXPECT_EQ(page->slider(2), c.gain);
    EXPECT_EQ(label(2), QString::fromLatin1(c.label));
    EXPECT_EQ(picture.sliders[2], c.gain);
    EXPECT_EQ(cameraRegister(4), c.gain);
    EXPECT_EQ(program.panelShared().savedFpnGain, c.gain);
    EXPECT_EQ(picture.combos[picture::kMode], 1);
    EXPECT_EQ(cameraRegister(0), 1);
    EXPECT_EQ(picture.combos[picture::kFpnCorr], 2);
    EXPECT_EQ(cameraRegister(38), 2);
    EXPECT_EQ(control(3021)->isEnabled(), c.cisValid);
    // The FPN-mode rule: exposure locked, target free, RAW gain locked but readable.
    EXPECT_FALSE(control(5102)->isEnabled());
    EXPECT_TRUE(control(5104)->isEnabled());
    EXPECT_FALSE(control(5103)->isEnabled());
    EXPECT_TRUE(control(5203)->isEnabled() && control(5003)->isEnabled());

    choose(4105, 0);
    EXPECT_EQ(picture.combos[picture::kFpnCorr], 0);
    EXPECT_EQ(cameraRegister(38), 0);
    EXPECT_FALSE(control(3021)->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Gains, FpnMode2Test,
                         ::testing::Values(Mode2Case{40, true, 40, "x2.500"}, Mode2Case{200, false, 64, "x4.000"}),
                         [](const auto& c) {
                             return "Gain" + std::to_string(c.param.cameraGain) +
                                    (c.param.cisValid ? "CisValid" : "CisInvalid");
                         });

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
    auto* box = control<QLineEdit>(7020);
    auto* arrows = control(7019);
    ASSERT_TRUE(box && arrows);
    for (const Step& s : steps) {
        box->setText(QString::fromLatin1(s.text));
        if (s.arrow)
            arrows->findChild<QToolButton*>(s.arrow > 0 ? "up" : "down")->click();
        EXPECT_EQ(program.state().csvFrameCount.load(), s.count) << s.text << " " << s.arrow;
        EXPECT_EQ(box->text(), QString::fromLatin1(s.shown)) << s.text << " " << s.arrow;
    }
}

// Guards the couplings with the Picture page: sliders 0..3 not sent or not
// mirrored, "Threshold Level" reaching the camera, gamma sent twice or not
// shown there, the defect-pixel mode and the zoom not followed.
TEST_F(CalibrationPageTest, ChangesReachTheCameraAndThePicturePage)
{
    ASSERT_NO_FATAL_FAILURE(openWithCamera());
    window->tabs()->setCurrentIndex(1);
    control<QSlider>(5102)->setValue(300);
    EXPECT_EQ(cameraRegister(3), 300);
    EXPECT_EQ(picture.sliders[1], 300);
    EXPECT_EQ(label(1), QStringLiteral("21.6ms"));

    const int writes = QDXSim_GetRequestCount(0x19);
    control<QSlider>(5107)->setValue(77);
    EXPECT_EQ(page->slider(4), 77);
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), writes) << "the threshold was sent";
    EXPECT_EQ(picture.sliders[4], 0);

    choose(4102, 3);
    EXPECT_EQ(writesTo(33), 1);
    EXPECT_EQ(cameraRegister(33), 3);
    EXPECT_EQ(picture.combos[picture::kGamma], 3);

    choose(4103, 1);
    EXPECT_EQ(cameraRegister(37), 1);
    EXPECT_EQ(picture.combos[picture::kDpCorr], 1);

    choose(4101, 1);
    EXPECT_EQ(program.state().displayZoom.load(), 1);
    EXPECT_EQ(picture.zoom, 1);

    // The Picture page's side reaches this page without a camera write.
    const int before = QDXSim_GetRequestCount(0x19);
    page->setSlider(0, 12);
    page->selectCombo(calibration::kGammaMode, 2);
    EXPECT_EQ(label(0), QStringLiteral("12"));
    EXPECT_EQ(control<QComboBox>(4102)->currentIndex(), 2);
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), before);
}

// Guards "apply Calibration defaults": the threshold-only scope touching the
// other sliders, either scope leaving a mode set or unsent, or the defaults
// mirrored to the Picture page.
TEST_F(CalibrationPageTest, DefaultsInBothScopes)
{
    ASSERT_NO_FATAL_FAILURE(openWithCamera());
    window->tabs()->setCurrentIndex(1);
    control<QSlider>(5101)->setValue(9);
    control<QSlider>(5107)->setValue(3);
    choose(4102, 2);
    choose(4103, 1);
    choose(4104, 1);

    page->applyDefaults(false);
    EXPECT_EQ(page->slider(4), 128);
    EXPECT_EQ(page->slider(0), 9);
    for (int j = 0; j < kCalibrationCombos; ++j)
        EXPECT_EQ(page->combo(j), 0) << j;
    EXPECT_EQ(cameraRegister(33), 0);
    EXPECT_EQ(cameraRegister(37), 0);

    control<QSlider>(5102)->setValue(100);
    page->applyDefaults(true);
    EXPECT_EQ((QStringList{label(0), label(1), label(2), label(3), label(4)}),
              (QStringList{"0", "28.8ms", "x1.000", "50", "128"}));
    EXPECT_EQ(cameraRegister(2), 0);
    EXPECT_EQ(cameraRegister(3), 400);
    EXPECT_EQ(picture.sliders[1], 100) << "defaults are not mirrored";
}

// Guards the layouts: the compact page showing other than the chosen group,
// or the wide page hiding a group or keeping the selector.
TEST_F(CalibrationPageTest, CompactShowsOneGroupWideShowsAll)
{
    ASSERT_NO_FATAL_FAILURE(open());
    window->tabs()->setCurrentIndex(1);
    const std::array<int, 4> groups{7011, 7012, 7014, 7015};
    auto visibleGroups = [&] {
        std::vector<int> shown;
        for (int id : groups)
            if (control(id)->isVisible())
                shown.push_back(id);
        return shown;
    };
    EXPECT_EQ(visibleGroups(), std::vector<int>{7011});
    choose(7003, 2);
    EXPECT_EQ(visibleGroups(), std::vector<int>{7014});
    EXPECT_EQ(page->values().groupIndex, 2);
    EXPECT_TRUE(control(7003)->isVisible());

    window.reset();
    program.shutDown();
    ASSERT_NO_FATAL_FAILURE(open("[QDX_Viewer]\nWindowMode=2\n"));
    window->tabs()->setCurrentIndex(1);
    EXPECT_EQ(visibleGroups(), (std::vector<int>{7011, 7012, 7014, 7015}));
    EXPECT_FALSE(control(7003)->isVisible());
    auto x = [&](int id) { return control(id)->mapTo(page, QPoint()).x(); };
    EXPECT_EQ(x(7011), x(7012));
    EXPECT_LT(x(7011), x(7014));
    EXPECT_LT(x(7014), x(7015));
}

}  // namespace
}  // namespace qdx::viewer::test
