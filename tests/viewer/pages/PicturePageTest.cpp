// The Picture page and the device monitor on an offscreen display, with the
// simulated camera and a stand-in for the Calibration page's operations.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QTabWidget>
#include <QCoreApplication>
#include <QLabel>
#include <QSlider>
#include <QTemporaryDir>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <tuple>

#include "QDX_API.h"
#include "QDX_SIM.h"
#include "pages/PicturePage.h"
#include "shell/Commands.h"
#include "shell/Interaction.h"
#include "shell/MainWindow.h"
#include "shell/ViewerProgram.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr int kRegisterWrite = 0x19;  // vendor request that writes an FPGA register

bool processUntil(const std::function<bool()>& pred, milliseconds timeout = milliseconds(5000))
{
    const auto deadline = Clock::now() + timeout;
    while (!pred()) {
        if (Clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// What the Picture page and the monitor asked of the Calibration page.
class FakeCalibration final : public CalibrationPanel {
public:
    void setSlider(int i, int v) override { sliders.at(static_cast<std::size_t>(i)) = v, ++sliderCalls; }
    int slider(int i) const override { return sliders.at(static_cast<std::size_t>(i)); }
    void selectCombo(int i, int s) override { combos.at(static_cast<std::size_t>(i)) = s; }
    int combo(int i) const override { return combos.at(static_cast<std::size_t>(i)); }
    void applyFpnModeRule() override { ++fpnRuleCalls; }
    void followEnabling(bool exposure, bool rawGain) override { followed = {exposure, rawGain}; }
    void cisMemoryValidChanged(bool valid) override { cisValid = valid, ++cisCalls; }
    void applyDefaults(bool) override {}
    void showZoom(int) override {}

    std::array<int, kCalibrationSliders> sliders{-1, -1, -1, -1, -1};
    std::array<int, kCalibrationCombos> combos{-1, -1, -1, -1};
    std::pair<bool, bool> followed{true, true};
    int sliderCalls = 0, fpnRuleCalls = 0, cisCalls = 0;
    bool cisValid = true;
};

class RecordingInteraction final : public Interaction {
public:
    MessageAnswer message(QWidget*, const QString&, const QString& text, MessageIcon, MessageButtons) override
    {
        messages << text;
        return MessageAnswer::Ok;
    }
    QString fileName(QWidget*, const FileDialogRequest&) override { return {}; }
    void setWaitCursor(bool on) override { cursor << on; }

    QStringList messages;
    QList<bool> cursor;
};

class PicturePageTest : public ::testing::Test {
protected:
    void SetUp() override { QDXSim_Reset(); }

    void TearDown() override
    {
        window.reset();
        program.shutDown();
    }

    void open()
    {
        program.startUp();
        window = std::make_unique<MainWindow>(program, interaction, dir.filePath(QStringLiteral("QDX_Viewer.ini")));
        page = qobject_cast<PicturePage*>(window->page(kPicturePage));
        ASSERT_NE(page, nullptr);
        page->setCalibrationPanel(&calibration);
        window->show();
    }

    // The monitor's full read has reached the pages.
    void openAndWaitForCamera()
    {
        open();
        ASSERT_TRUE(processUntil([&] { return page->cameraInfo(5) != QStringLiteral("1.0"); }));
        processUntil([] { return false; }, milliseconds(150));  // the rest of that delivery
    }

    template <typename W>
    W* control(int id) const
    {
        for (W* w : page->findChildren<W*>())
            if (w->property("controlId").toInt() == id)
                return w;
        ADD_FAILURE() << "no control " << id;
        return nullptr;
    }

    QString label(int k) const { return control<QLabel>(5201 + k)->text(); }
    bool sliderEnabled(int k) const { return control<QSlider>(5101 + k)->isEnabled(); }
    bool labelEnabled(int k) const { return control<QLabel>(5201 + k)->isEnabled(); }

    // As the operator confirming an entry in combo index j.
    void choose(int j, int selection)
    {
        QComboBox* box = control<QComboBox>(4102 + j);
        box->setCurrentIndex(selection);
        emit box->activated(selection);
    }

    static int camera(int (*get)(int*))
    {
        int v = -1;
        get(&v);
        return v;
    }

    QTemporaryDir dir;
    ViewerProgram program;
    RecordingInteraction interaction;
    FakeCalibration calibration;
    std::unique_ptr<MainWindow> window;
    PicturePage* page = nullptr;
};

// Guards the page as built: every label shows its default in its own unit,
// building sends nothing to the camera, and a click beside the thumb steps by
// a tenth of the range (1 on "Image Fine Adj.", 409 on the target) and sends it.
TEST_F(PicturePageTest, BuiltWithDefaultLabelsAndSendsNothing)
{
    open();
    const QStringList expected = {
        "0", "28.8ms", "x1.000", "50", "0", "0", "0", "0", "0.000dB", "0.000dB", "1.00", "0.00",
        "0.00", "0.00", "1.00", "0.00", "0.00", "0.00", "1.00", "0.000dB", "0.000dB", "0.000dB", "0"};
    for (int k = 0; k < kPictureSliders; ++k)
        EXPECT_EQ(label(k), expected[k]) << "slider " << k;
    EXPECT_EQ(QDXSim_GetRequestCount(kRegisterWrite), 0);
    EXPECT_EQ(control<QLabel>(7002)->text(), QStringLiteral("LIVE"));

    control<QSlider>(5123)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    control<QSlider>(5104)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(page->slider(22), 1);
    EXPECT_EQ(page->slider(3), 50 + 409);
    EXPECT_EQ(camera(QDX_Get_CIS_ClockPhase), 1);
    EXPECT_EQ(camera(QDX_Get_ControlTarget), 459);
    EXPECT_EQ(calibration.sliders[3], 459) << "the target is shown on both pages";
}

// Guards the enabling rules and their cache: every Mode/ALC/FPN combination,
// visited forwards and backwards so that each is reached from different
// states, leaves exactly the controls of the rule table usable.
TEST_F(PicturePageTest, EnablingFollowsTheTableFromAnyPreviousState)
{
    open();
    std::vector<std::tuple<int, int, int>> cases;
    for (int m = 0; m < 3; ++m)
        for (int a = 0; a < 2; ++a)
            for (int f = 0; f < 4; ++f)
                cases.emplace_back(m, a, f);
    auto all = cases;
    all.insert(all.end(), cases.rbegin(), cases.rend());
    for (auto [m, a, f] : all) {
        page->selectCombo(0, m);
        page->selectCombo(1, a);
        page->selectCombo(10, f);
        page->applyEnablingRules();
        const bool fpnLocks = f == 1 || f == 2;
        const bool rawManual = m != 2 && !fpnLocks;
        const std::string at = "Mode " + std::to_string(m) + " ALC " + std::to_string(a) + " FPN " + std::to_string(f);
        EXPECT_EQ(sliderEnabled(1), m == 0) << at;
        EXPECT_EQ(labelEnabled(1), m == 0) << at;
        EXPECT_EQ(sliderEnabled(2), rawManual) << at;
        EXPECT_EQ(labelEnabled(2), rawManual || (fpnLocks && m != 2)) << at << ": the locked gain stays readable";
        for (int k = 3; k <= 7; ++k)
            EXPECT_EQ(sliderEnabled(k), m != 0 || a != 0) << at << " slider " << k;
        for (int id = 4104; id <= 4106; ++id)
            EXPECT_EQ(control<QComboBox>(id)->isEnabled(), m != 0 || a != 0) << at << " combo " << id;
        EXPECT_EQ(calibration.followed, std::make_pair(m == 0, rawManual)) << at;
    }

    // Flip and rotation exclude each other, through the operator's choice.
    choose(7, 1);
    EXPECT_FALSE(control<QComboBox>(4108)->isEnabled());
    EXPECT_TRUE(control<QComboBox>(4109)->isEnabled());
    choose(7, 0);
    EXPECT_TRUE(control<QComboBox>(4108)->isEnabled());
    EXPECT_EQ(camera(QDX_Get_ImageRotation), 0);
}

// Guards the couplings of the operator's choices: "AGC+AEC" goes out as mode
// 3; ALC "ON" keeps "MGC+MEC"; FPN Mode2 caps the camera's gain at 64 on both
// pages and in the camera, and Mode changes under it restore the saved gain;
// gamma and the first four sliders follow on the Calibration page.
TEST_F(PicturePageTest, OperatorChoicesCoupleAsTheRulesSay)
{
    open();
    choose(0, 2);
    EXPECT_EQ(camera([](int* v) { return QDX_Get_ControlMode(0, v); }), 3);
    choose(0, 0);
    choose(1, 1);
    choose(0, 2);
    EXPECT_EQ(page->combo(0), 0) << "ALC on keeps MGC+MEC";
    EXPECT_EQ(control<QComboBox>(4102)->currentIndex(), 0);
    EXPECT_EQ(camera([](int* v) { return QDX_Get_ControlMode(0, v); }), 0);
    choose(1, 0);

    QDX_Set_RawGain(100);
    choose(10, 2);
    EXPECT_EQ(page->combo(0), 1);
    EXPECT_EQ(page->slider(2), 64);
    EXPECT_EQ(label(2), QStringLiteral("x4.000"));
    EXPECT_EQ(calibration.sliders[2], 64);
    EXPECT_EQ(camera(QDX_Get_RawGain), 64);
    EXPECT_FALSE(sliderEnabled(2));
    EXPECT_TRUE(labelEnabled(2));
    EXPECT_GT(calibration.fpnRuleCalls, 0);

    // A saved gain below the cap comes back after "AGC+AEC" forced 64.
    choose(10, 0);
    choose(0, 0);
    control<QSlider>(5103)->setValue(40);
    choose(10, 2);
    EXPECT_EQ(page->slider(2), 40);
    choose(0, 2);
    EXPECT_EQ(page->slider(2), 64);
    EXPECT_FALSE(labelEnabled(2)) << "under AGC+AEC the locked gain greys";
    choose(0, 1);
    EXPECT_EQ(page->slider(2), 40);
    EXPECT_EQ(calibration.sliders[2], 40);
    EXPECT_EQ(camera(QDX_Get_RawGain), 40);

    choose(5, 2);
    EXPECT_EQ(calibration.combos[0], 2);
    EXPECT_EQ(camera(QDX_Get_Gamma), 2);
    control<QSlider>(5102)->setValue(300);
    EXPECT_EQ(calibration.sliders[1], 300);
    EXPECT_EQ(camera(QDX_Get_ExposureTime), 300);
    const int calls = calibration.sliderCalls;
    control<QSlider>(5109)->setValue(-100);
    EXPECT_EQ(calibration.sliderCalls, calls) << "Red Gain is the Picture page's alone";
}

// Guards the monitor's arrival and the camera's own changes: the camera's
// values fill both pages; automatic exposure moves "Exposure Time" on both
// pages through the change mask; a changed register the viewer does not
// follow (crashed the monitor once) only runs the enabling; FPN Mode2
// reported by the camera forces "MGC+AEC" and caps the gain.
TEST_F(PicturePageTest, MonitorShowsTheCamerasValuesAndItsOwnChanges)
{
    QDXSim_SetRegister(2, 77, 0);
    QDXSim_SetRegister(3, 200, 0);
    openAndWaitForCamera();
    EXPECT_EQ(page->slider(0), 77);
    EXPECT_EQ(calibration.sliders[0], 77);
    EXPECT_EQ(label(1), QStringLiteral("14.4ms"));
    EXPECT_EQ(calibration.sliders[1], 200);

    QDXSim_SetScene(2);  // darkness: automatic exposure opens up
    choose(0, 1);
    ASSERT_TRUE(processUntil([&] { return page->slider(1) > 200; }));
    ASSERT_TRUE(processUntil([&] { return page->slider(1) == camera(QDX_Get_ExposureTime); }));
    EXPECT_EQ(control<QSlider>(5102)->value(), page->slider(1));
    EXPECT_EQ(calibration.sliders[1], page->slider(1));

    // Bits of registers the viewer does not follow (AWB; byte 4 bit 0) read
    // nothing but still end in the enabling rules.
    const int rulesBefore = calibration.fpnRuleCalls;
    QDXSim_SetRegister(16, 0, 1);
    QDXSim_SetRegister(32, 0, 1);
    ASSERT_TRUE(processUntil([&] { return calibration.fpnRuleCalls > rulesBefore; }));

    choose(0, 0);
    QDXSim_SetRegister(4, 100, 0);
    QDXSim_SetRegister(38, 2, 1);
    ASSERT_TRUE(processUntil([&] { return page->combo(10) == 2; }));
    processUntil([] { return false; }, milliseconds(100));
    EXPECT_EQ(page->combo(0), 1);
    EXPECT_EQ(calibration.combos[3], 1);
    EXPECT_EQ(page->slider(2), 64);
    EXPECT_EQ(camera(QDX_Get_RawGain), 64);
    EXPECT_EQ(program.panelShared().savedFpnGain, 64);
}

// Guards the FPGA version line: major.minor with the variant from bits 11..8,
// and "VFPN Corr." usable from major version 2.
class FpgaVersionTest : public PicturePageTest,
                        public ::testing::WithParamInterface<std::tuple<int, const char*, bool>> {};

TEST_P(FpgaVersionTest, ShowsVariantAndVfpnAvailability)
{
    const auto [version, text, vfpn] = GetParam();
    QDXSim_SetRegister(255, version, 0);
    openAndWaitForCamera();
    EXPECT_EQ(window->page(0)->cameraInfo(5), QString::fromUtf8(text));
    EXPECT_EQ(window->page(1)->cameraInfo(5), QString::fromUtf8(text));
    EXPECT_EQ(control<QComboBox>(4115)->isEnabled(), vfpn);
    EXPECT_EQ(control<QLabel>(4015)->isEnabled(), vfpn);
}

INSTANTIATE_TEST_SUITE_P(Versions, FpgaVersionTest,
                         ::testing::Values(std::make_tuple(0x123, "2.3 (B)", true),
                                           std::make_tuple(0x012, "1.2 (A)", false)),
                         [](const auto& p) { return "Fpga" + std::to_string(std::get<0>(p.param)); });

// Guards Camera Info through plugging: the blank sensor-head memory ("Yes",
// no S/N, "No", "No", both Save buttons told), emptied lines and a blue
// picture on removal, and every line written again on the next arrival.
TEST_F(PicturePageTest, CameraInfoFollowsPluggingAndTheSensorHead)
{
    openAndWaitForCamera();
    auto lines = [&](int p) {
        QStringList texts;
        for (int i = 0; i < 6; ++i)
            texts << window->page(p)->cameraInfo(i);
        return texts;
    };
    const QStringList blankHead = {"Yes", "", "No", "No", "1.4", "2.1 (A)"};
    EXPECT_EQ(lines(0), blankHead);
    EXPECT_EQ(lines(1), blankHead);
    EXPECT_EQ(calibration.cisCalls, 1);
    EXPECT_FALSE(calibration.cisValid);
    EXPECT_FALSE(program.panelShared().cisMemoryValid);

    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(processUntil([&] { return lines(0) == QStringList{"", "", "", "", "", ""}; }));
    EXPECT_EQ(lines(1), lines(0));
    const uint8_t* picture = program.displayImage()->front();
    EXPECT_EQ(picture[0], 255) << "the picture turns blue";
    EXPECT_EQ(picture[2], 0);

    const unsigned char header[] = {'Q', 'D', 'X', 0, 1, 0};
    const char serial[] = "SN-0042";
    QDXSim_WriteMemory(1, 0x0000, sizeof header, header);
    QDXSim_WriteMemory(1, 0x0010, sizeof serial, reinterpret_cast<const unsigned char*>(serial));
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(processUntil([&] { return !lines(0).last().isEmpty(); }));
    processUntil([] { return false; }, milliseconds(150));
    EXPECT_EQ(lines(0), (QStringList{"Yes", "SN-0042", "Yes", "Yes", "1.4", "2.1 (A)"}));
    EXPECT_EQ(lines(1), lines(0));
    EXPECT_TRUE(calibration.cisValid);
    EXPECT_EQ(calibration.cisCalls, 2);
}

// Guards one-push white balance: the wait cursor around it; a camera that
// never finishes ends it after five seconds with the gains unchanged; a
// camera that finishes has its new red and blue gains shown.
TEST_F(PicturePageTest, WhiteBalanceGivesUpAfterFiveSecondsOrShowsTheNewGains)
{
    openAndWaitForCamera();
    QDXSim_SetStalled(1);  // no frames: the camera never finishes
    const auto start = Clock::now();
    page->runWhiteBalance();
    const auto took = Clock::now() - start;
    EXPECT_GE(took, milliseconds(5000));
    EXPECT_LT(took, milliseconds(7000));
    EXPECT_EQ(page->slider(8), 0);
    EXPECT_EQ(page->slider(9), 0);
    EXPECT_EQ(interaction.cursor, (QList<bool>{true, false}));

    QDXSim_SetStalled(0);
    QDXSim_SetScene(1);
    QDX_Set_AWB(0);
    page->runWhiteBalance();
    int red = 0, blue = 0;
    QDX_Get_GainRB(0, &red);
    QDX_Get_GainRB(1, &blue);
    EXPECT_EQ(page->slider(8), red);
    EXPECT_EQ(page->slider(9), blue);
    EXPECT_EQ(camera(QDX_Get_AWB), 0) << "the camera finished";
}

// Guards the Picture page's activation during a CSV export: the export is
// aborted with its notice, and "Save as CSV" stays greyed on this page (where
// an export of luma values cannot run) instead of being offered again.
TEST_F(PicturePageTest, ActivationAbortsACsvExport)
{
    open();
    window->tabs()->setCurrentIndex(kCalibrationPage);
    program.state().csvFramesRemaining = 5;
    program.state().csvExportActive = 1;
    window->tabs()->setCurrentIndex(kPicturePage);
    EXPECT_EQ(interaction.messages, QStringList{QStringLiteral("CSV File Save Aborted.")});
    EXPECT_EQ(program.state().csvExportActive.load(), 0);
    EXPECT_EQ(program.state().csvFramesRemaining.load(), 0);
    EXPECT_FALSE(window->action(kCmdSaveCsv)->isEnabled());
}

}  // namespace
}  // namespace qdx::viewer::test
