// The pages' model and the camera's rules, without widgets, against the
// simulated camera: what each choice sends, how the pages follow each other,
// and which controls may be used.
#include <gtest/gtest.h>

#include <ostream>

#include "api/SimCameraFixture.h"
#include "core/model/PanelModel.h"

namespace qdx::viewer::test {
namespace {

using qdx::test::requestLog;
using qdx::test::simRegister;

constexpr int kRegisterWrite = 0x19;

// Register writes the camera received for reg since the last reset.
int writesTo(int reg)
{
    int count = 0;
    for (const auto& p : requestLog())
        count += p.bRequest == kRegisterWrite && p.wIndex == reg;
    return count;
}

constexpr int kMode = pictureIndex(SettingId::Mode);
constexpr int kAlc = pictureIndex(SettingId::Alc);
constexpr int kFpn = pictureIndex(SettingId::FpnCorrection);
constexpr int kGamma = pictureIndex(SettingId::Gamma);
constexpr int kDp = pictureIndex(SettingId::DpCorrection);
constexpr int kFlip = pictureIndex(SettingId::ImageFlip);
constexpr int kRotation = pictureIndex(SettingId::ImageRotation);
constexpr int kRawGain = pictureIndex(SettingId::RawGain);

class PanelModelTest : public qdx::test::SimCameraTest {
protected:
    void SetUp() override
    {
        SimCameraTest::SetUp();
        qdx::test::startConnected();
        model.addObserver([this] { ++notifications; });
    }

    // The sensor head's memory as the device monitor reports it.
    void setCisValid(bool valid)
    {
        PanelUpdate update;
        update.cisMemoryValid = valid;
        model.apply(update);
    }

    ViewerState state;
    PanelModel model{state};
    int notifications = 0;
};

struct EnablingCase {
    int mode, alc, fpn;
    bool exposure, rawGain, rawGainLabel, automatic;
};

void PrintTo(const EnablingCase& c, std::ostream* os)
{
    *os << "Mode " << c.mode << ", ALC " << c.alc << ", FPN " << c.fpn;
}

class EnablingTest : public PanelModelTest, public ::testing::WithParamInterface<EnablingCase> {};

// Guards the enabling rules of the Picture page and how the Calibration page
// follows them: which of exposure, RAW gain (and its readable label) and the
// automatic-control settings may be used for each Mode, ALC and FPN setting.
TEST_P(EnablingTest, ControlsFollowModeAlcAndFpn)
{
    const EnablingCase c = GetParam();
    model.showCameraValue(SettingId::Mode, modeToCamera(c.mode));
    model.showCameraValue(SettingId::Alc, c.alc);
    model.choosePictureCombo(kFpn, c.fpn);  // leaves the Calibration FPN mode off
    model.showCameraValue(SettingId::Mode, modeToCamera(c.mode));
    const Enabling e = model.enabling();
    EXPECT_EQ(e.exposure, c.exposure);
    EXPECT_EQ(e.rawGain, c.rawGain);
    EXPECT_EQ(e.rawGainLabel, c.rawGainLabel);
    EXPECT_EQ(e.automatic, c.automatic);
    EXPECT_EQ(e.calExposure, c.exposure);
    EXPECT_EQ(e.calTarget, !c.exposure);
    EXPECT_EQ(e.calRawGain, c.rawGain);
    EXPECT_EQ(e.calRawGainLabel, c.rawGain);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, EnablingTest,
    ::testing::Values(EnablingCase{0, 0, 0, true, true, true, false}, EnablingCase{0, 1, 0, true, true, true, true},
                      EnablingCase{1, 0, 0, false, true, true, true}, EnablingCase{2, 0, 0, false, false, false, true},
                      EnablingCase{1, 0, 1, false, false, true, true}, EnablingCase{1, 1, 2, false, false, true, true},
                      EnablingCase{2, 0, 2, false, false, false, true}, EnablingCase{1, 0, 3, false, true, true, true},
                      EnablingCase{2, 1, 3, false, false, false, true}),
    [](const auto& p) {
        return "Mode" + std::to_string(p.param.mode) + "Alc" + std::to_string(p.param.alc) + "Fpn" +
               std::to_string(p.param.fpn);
    });

// Guards the rules that are not a function of one combo: the RAW gain label
// greyed under "AGC+AEC" whatever state came before (it stayed readable when
// FPN Mode1 was left for AGC+AEC), flip and rotation excluding each other,
// and the Calibration page's FPN Mode2 overriding the exposure controls.
TEST_F(PanelModelTest, EnablingDependsOnTheValuesNotOnTheirHistory)
{
    model.choosePictureCombo(kFpn, 1);
    EXPECT_TRUE(model.enabling().rawGainLabel);
    model.choosePictureCombo(kFpn, 0);
    model.choosePictureCombo(kMode, 2);
    EXPECT_FALSE(model.enabling().rawGainLabel);

    model.choosePictureCombo(kRotation, 1);
    EXPECT_FALSE(model.enabling().flip);
    EXPECT_TRUE(model.enabling().rotation);
    model.choosePictureCombo(kRotation, 0);
    model.choosePictureCombo(kFlip, 1);
    EXPECT_TRUE(model.enabling().flip);
    EXPECT_FALSE(model.enabling().rotation);

    model.chooseCalibrationCombo(kCalFpnMode, 1);
    model.choosePictureCombo(kMode, 0);  // manual exposure chosen on the Picture page under Mode2
    const Enabling e = model.enabling();
    EXPECT_TRUE(e.exposure);
    EXPECT_FALSE(e.calExposure);
    EXPECT_TRUE(e.calTarget);
    EXPECT_FALSE(e.calRawGain);
    EXPECT_TRUE(e.calRawGainLabel);
}

// Guards the Picture page's side of the rules (the rules themselves are
// SettingRulesTest's): "AGC+AEC" goes out as mode 3; what the rules change is
// shown and reaches the camera (ALC keeping "MGC+MEC", FPN Mode2 reading the
// camera's gain and capping it on both pages, a Mode change under Mode2);
// gamma, defect-pixel correction and the first four sliders appear on the
// Calibration page without a second write.
TEST_F(PanelModelTest, PictureChoicesCoupleAsTheRulesSay)
{
    model.choosePictureCombo(kMode, 2);
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_MODE), 3);
    model.choosePictureCombo(kMode, 0);
    model.choosePictureCombo(kAlc, 1);
    model.choosePictureCombo(kMode, 2);
    EXPECT_EQ(model.pictureCombo(kMode), 0);
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_MODE), 0);
    model.choosePictureCombo(kAlc, 0);

    QDXSim_SetRegister(QDX_REG_RAW_GAIN, 100, 0);
    model.choosePictureCombo(kFpn, 2);
    EXPECT_EQ(model.pictureCombo(kMode), 1);
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_MODE), 1);
    EXPECT_EQ(model.pictureSlider(kRawGain), 64);
    EXPECT_EQ(model.calibrationSlider(kRawGain), 64);
    EXPECT_EQ(simRegister(QDX_REG_RAW_GAIN), 64);
    EXPECT_EQ(model.savedFpnGain(), 64);
    QDXSim_SetRegister(QDX_REG_RAW_GAIN, 20, 0);
    model.choosePictureCombo(kMode, 0);
    EXPECT_EQ(model.calibrationSlider(kRawGain), 64);
    EXPECT_EQ(simRegister(QDX_REG_RAW_GAIN), 64) << "the saved gain, not the camera's";

    model.choosePictureCombo(kGamma, 2);
    model.choosePictureCombo(kDp, 1);
    EXPECT_EQ(model.calibrationCombo(kCalGammaMode), 2);
    EXPECT_EQ(model.calibrationCombo(kCalDpMode), 1);
    EXPECT_EQ(writesTo(33), 1);
    model.movePictureSlider(pictureIndex(SettingId::ExposureTime), 300);
    EXPECT_EQ(model.calibrationSlider(1), 300);
    EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 300);
    model.movePictureSlider(pictureIndex(SettingId::RedGain), -100);
    EXPECT_EQ(simRegister(QDX_REG_RED_GAIN), 256 + 100) << "sign and magnitude";
}

struct Mode2Case {
    int cameraGain;
    bool cisValid;
    int gain;
};

void PrintTo(const Mode2Case& c, std::ostream* os)
{
    *os << "camera gain " << c.cameraGain << (c.cisValid ? ", CIS valid" : ", CIS invalid");
}

class CalibrationFpnTest : public PanelModelTest, public ::testing::WithParamInterface<Mode2Case> {};

// Guards the Calibration page's "ON (Mode2)": the gain capped (or kept) on
// both pages and in the camera, "MGC+AEC" and Picture "Mode2" forced, the
// FPN "Save" offered only with a valid sensor-head memory, and "OFF" undoing
// the FPN correction but nothing else.
TEST_P(CalibrationFpnTest, Mode2CapsTheGainAndOffersSave)
{
    const Mode2Case c = GetParam();
    setCisValid(c.cisValid);
    QDXSim_SetRegister(QDX_REG_RAW_GAIN, c.cameraGain, 0);
    model.chooseCalibrationCombo(kCalFpnMode, 1);
    EXPECT_EQ(model.calibrationSlider(kRawGain), c.gain);
    EXPECT_EQ(model.pictureSlider(kRawGain), c.gain);
    EXPECT_EQ(simRegister(QDX_REG_RAW_GAIN), c.gain);
    EXPECT_EQ(model.savedFpnGain(), c.gain);
    EXPECT_EQ(model.pictureCombo(kMode), 1);
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_MODE), 1);
    EXPECT_EQ(model.pictureCombo(kFpn), 2);
    EXPECT_EQ(simRegister(QDX_REG_FPN_CORR), 2);
    EXPECT_EQ(model.enabling().fpnSave, c.cisValid);

    model.chooseCalibrationCombo(kCalFpnMode, 0);
    EXPECT_EQ(model.pictureCombo(kFpn), 0);
    EXPECT_EQ(simRegister(QDX_REG_FPN_CORR), 0);
    EXPECT_EQ(model.pictureCombo(kMode), 1);
    EXPECT_FALSE(model.enabling().fpnSave);
}

INSTANTIATE_TEST_SUITE_P(Gains, CalibrationFpnTest,
                         ::testing::Values(Mode2Case{40, true, 40}, Mode2Case{200, false, 64}),
                         [](const auto& p) { return "Gain" + std::to_string(p.param.cameraGain); });

// Guards the Calibration page's other controls: its sliders reach the camera
// and the Picture page, the detection threshold never reaches either, and
// gamma is written once and shown on the Picture page.
TEST_F(PanelModelTest, CalibrationChoicesReachTheCameraAndThePicturePage)
{
    model.moveCalibrationSlider(1, 300);
    EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 300);
    EXPECT_EQ(model.pictureSlider(1), 300);
    const int writes = QDXSim_GetRequestCount(kRegisterWrite);
    model.moveCalibrationSlider(kThresholdSlider, 77);
    EXPECT_EQ(model.calibrationSlider(kThresholdSlider), 77);
    EXPECT_EQ(QDXSim_GetRequestCount(kRegisterWrite), writes);
    EXPECT_EQ(model.pictureSlider(kThresholdSlider), 0);
    model.chooseCalibrationCombo(kCalGammaMode, 3);
    EXPECT_EQ(writesTo(33), 1);
    EXPECT_EQ(simRegister(QDX_REG_GAMMA), 3);
    EXPECT_EQ(model.pictureCombo(kGamma), 3);
    model.chooseCalibrationCombo(kCalDpType, 1);
    EXPECT_EQ(QDXSim_GetRequestCount(kRegisterWrite), writes + 1) << "the defect type is the viewer's own";
}

// Guards page activation: every Calibration activation turns FPN correction
// off on both pages and in the camera and selects grey data; a Picture
// activation selects colour, sends FPN correction again once the window is
// ready, and aborts a running CSV export.
TEST_F(PanelModelTest, ActivationSwitchesDataFormatAndFpn)
{
    for (int round = 0; round < 2; ++round) {
        model.chooseCalibrationCombo(kCalFpnMode, 1);
        model.activateCalibration();
        EXPECT_EQ(model.calibrationCombo(kCalFpnMode), 0);
        EXPECT_EQ(model.pictureCombo(kFpn), 0);
        EXPECT_EQ(simRegister(QDX_REG_FPN_CORR), 0);
        int format = -1;
        EXPECT_EQ(QDX_Get_DataFormat(&format), QDX_OK);
        EXPECT_EQ(format, 1);
        EXPECT_EQ(state.calibrationView.load(), 1);
        EXPECT_EQ(state.displayTarget.load(), kCalibrationPage);
    }

    model.showCameraValue(SettingId::FpnCorrection, 3);
    const int fpnWrites = writesTo(38);
    EXPECT_FALSE(model.activatePicture());
    EXPECT_EQ(writesTo(38), fpnWrites) << "not before the window is ready";
    state.ready.set(ReadyGate::MainWindow);
    ASSERT_TRUE(state.csvExport.start("scan.csv", 5));
    EXPECT_TRUE(model.activatePicture());
    EXPECT_EQ(writesTo(38), fpnWrites + 1);
    EXPECT_EQ(simRegister(QDX_REG_FPN_CORR), 3);
    EXPECT_FALSE(state.csvExport.active());
    EXPECT_EQ(state.csvExport.remaining(), 0);
    int format = -1;
    QDX_Get_DataFormat(&format);
    EXPECT_EQ(format, 0);
    EXPECT_EQ(state.calibrationView.load(), 0);
}

// Guards the defaults: the Picture defaults write all 37 settings and leave
// the Calibration page alone; the Calibration defaults reset its modes (gamma
// and defect-pixel correction written off) and, in the narrow scope, only the
// threshold among its sliders.
TEST_F(PanelModelTest, DefaultsInEveryScope)
{
    model.movePictureSlider(1, 100);
    model.moveCalibrationSlider(kThresholdSlider, 3);
    model.chooseCalibrationCombo(kCalGammaMode, 2);
    model.chooseCalibrationCombo(kCalDpType, 1);
    const int before = QDXSim_GetRequestCount(kRegisterWrite);
    model.applyPictureDefaults();
    EXPECT_EQ(QDXSim_GetRequestCount(kRegisterWrite) - before, kPictureSliders + kPictureCombos);
    EXPECT_EQ(model.pictureSlider(1), 400);
    EXPECT_EQ(model.pictureSlider(pictureIndex(SettingId::MatrixGg)), 128);
    EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 400);
    EXPECT_EQ(model.calibrationSlider(1), 100) << "defaults are not mirrored";

    model.applyCalibrationDefaults(false);
    EXPECT_EQ(model.calibrationSlider(kThresholdSlider), 128);
    EXPECT_EQ(model.calibrationSlider(1), 100);
    for (int j = 0; j < kCalibrationCombos; ++j)
        EXPECT_EQ(model.calibrationCombo(j), 0) << j;
    model.applyCalibrationDefaults(true);
    EXPECT_EQ(model.calibrationSlider(1), 400);
    EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 400);
}

// Guards what the device monitor's reads do: camera values shown where the
// table says (mode 3 as "AGC+AEC", any FPN mode as "ON (Mode2)" on the
// Calibration page), the FPN rules' changes shown and sent (on arrival and
// through the change mask), the sensor head's memory deciding both "Save"
// buttons, and one notification a read.
TEST_F(PanelModelTest, MonitorReadsShowValuesAndApplyTheFpnRules)
{
    PanelUpdate arrival;
    arrival.entries = {{SettingId::Mode, 3}, {SettingId::ExposureTime, 200},
                       {SettingId::FpnCorrection, 2, FpnRule::OnArrival}};
    arrival.cameraInfo[1] = "SN-7";
    arrival.cisMemoryValid = false;
    notifications = 0;
    model.apply(arrival);
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(model.pictureCombo(kMode), 1) << "FPN Mode2 forces MGC+AEC";
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_MODE), 1);
    EXPECT_EQ(model.pictureSlider(kRawGain), 64);
    EXPECT_EQ(model.calibrationSlider(kRawGain), 64);
    EXPECT_EQ(simRegister(QDX_REG_RAW_GAIN), 64);
    EXPECT_EQ(model.calibrationSlider(1), 200);
    EXPECT_EQ(model.calibrationCombo(kCalFpnMode), 1);
    EXPECT_EQ(model.cameraInfo(1), "SN-7");
    EXPECT_FALSE(model.enabling().dpSave);
    EXPECT_FALSE(model.enabling().fpnSave);

    PanelUpdate changed;
    changed.entries = {{SettingId::Mode, 3}, {SettingId::FpnCorrection, 2, FpnRule::OnChange, 40}};
    model.apply(changed);
    EXPECT_EQ(model.savedFpnGain(), 40);
    EXPECT_EQ(model.pictureSlider(kRawGain), 40);
    EXPECT_EQ(simRegister(QDX_REG_RAW_GAIN), 40);
    model.showCameraValue(SettingId::Mode, 3);
    EXPECT_EQ(model.pictureCombo(kMode), 2);
}

}  // namespace
}  // namespace qdx::viewer::test
