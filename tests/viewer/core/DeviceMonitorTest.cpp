// What the device monitor reads from the simulated camera: every setting on
// arrival in the camera's order, the settings its change mask names, Camera
// Info and the versions.
#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "api/SimCameraFixture.h"
#include "core/device/CameraReads.h"
#include "core/model/PanelUpdate.h"

namespace qdx::viewer::test {
namespace {

using qdx::test::requestsSince;

constexpr int kRegisterRead = 0x18;

class DeviceMonitorTest : public qdx::test::SimCameraTest {
protected:
    void SetUp() override
    {
        SimCameraTest::SetUp();
        qdx::test::startConnected();
    }

    // The registers read since the request count stood at before, in order.
    static std::vector<int> registersRead(int before)
    {
        std::vector<int> regs;
        for (const auto& p : requestsSince(before))
            if (p.bRequest == kRegisterRead)
                regs.push_back(p.wIndex);
        return regs;
    }

    static std::vector<SettingId> settingsOf(const PanelUpdate& update)
    {
        std::vector<SettingId> ids;
        for (const auto& entry : update.entries)
            ids.push_back(entry.setting);
        return ids;
    }
};

// Guards the full read on arrival: every register in the order the camera
// expects (the target after the hysteresis, AWB read but not shown, the clock
// phase last), each shown setting once with the camera's value, and the FPN
// rule attached to FPN correction only.
TEST_F(DeviceMonitorTest, FullReadTakesEverySettingInTheCamerasOrder)
{
    QDXSim_SetRegister(QDX_REG_EXPOSURE_TIME, 200, 0);
    QDXSim_SetRegister(QDX_REG_FPN_CORR, 2, 0);
    const int before = QDXSim_GetRequestCount(-1);
    PanelUpdate update;
    readAll(update);
    std::vector<int> expected = {QDX_REG_CONTROL_MODE,  QDX_REG_ALC,           QDX_REG_BLACK_LEVEL,
                                 QDX_REG_EXPOSURE_TIME, QDX_REG_RAW_GAIN,      QDX_REG_HYSTERESIS_A1,
                                 QDX_REG_HYSTERESIS_A2, QDX_REG_HYSTERESIS_B1, QDX_REG_HYSTERESIS_B2,
                                 QDX_REG_CONTROL_TARGET, QDX_REG_CONTROL_SPEED, QDX_REG_CONTROL_AREA1,
                                 QDX_REG_CONTROL_AREA2, QDX_REG_AWB};
    for (int reg = QDX_REG_RED_GAIN; reg <= QDX_REG_CR_GAIN; ++reg)
        expected.push_back(reg);
    for (int reg = QDX_REG_GAMMA; reg <= QDX_REG_VFPN_CORR; ++reg)
        expected.push_back(reg);
    expected.push_back(QDX_REG_CIS_CLOCK_PHASE);
    EXPECT_EQ(registersRead(before), expected);

    ASSERT_EQ(update.entries.size(), static_cast<std::size_t>(kSettingCount - 1));
    const auto ids = settingsOf(update);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), SettingId::OnePushAwb), 0);
    for (const auto& entry : update.entries) {
        EXPECT_EQ(entry.fpnRule != FpnRule::None, entry.setting == SettingId::FpnCorrection);
        if (entry.setting == SettingId::ExposureTime) {
            EXPECT_EQ(entry.value, 200);
        }
        if (entry.setting == SettingId::FpnCorrection) {
            EXPECT_EQ(entry.value, 2);
        }
    }
}

// Guards the change mask: only the settings whose bits are set are read, in
// register order; bits of registers no page shows (AWB, register 32) read
// nothing; FPN correction carries the camera's RAW gain for its rule; and the
// mask is cleared by the read.
TEST_F(DeviceMonitorTest, ChangeMaskReadsOnlyTheChangedSettings)
{
    PanelUpdate drain;
    readChanges(drain);
    QDXSim_SetRegister(QDX_REG_FPN_CORR, 2, 1);
    QDXSim_SetRegister(QDX_REG_AWB, 0, 1);
    QDXSim_SetRegister(32, 0, 1);
    QDXSim_SetRegister(QDX_REG_EXPOSURE_TIME, 321, 1);
    QDXSim_SetRegister(QDX_REG_RAW_GAIN, 90, 0);
    PanelUpdate update;
    readChanges(update);
    EXPECT_EQ(settingsOf(update), (std::vector<SettingId>{SettingId::ExposureTime, SettingId::FpnCorrection}));
    ASSERT_EQ(update.entries.size(), 2u);
    EXPECT_EQ(update.entries[0].value, 321);
    EXPECT_EQ(update.entries[1].fpnRule, FpnRule::OnChange);
    EXPECT_EQ(update.entries[1].rawGain, 90);

    PanelUpdate again;
    readChanges(again);
    EXPECT_TRUE(again.empty());
}

// Guards Camera Info: a blank sensor-head memory ("Yes", no S/N, "No", "No")
// reported once as invalid, lines written only when they change, a valid
// memory with its serial number, and dashes in every line when the camera goes.
TEST_F(DeviceMonitorTest, CameraInfoFollowsTheSensorHead)
{
    MonitorMemory memory;
    memory.forget();
    PanelUpdate first;
    readCameraInfo(memory, first);
    EXPECT_EQ(first.cameraInfo[0], "Yes");
    EXPECT_EQ(first.cameraInfo[1], "");
    EXPECT_EQ(first.cameraInfo[2], "No");
    EXPECT_EQ(first.cameraInfo[3], "No");
    EXPECT_EQ(first.cisMemoryValid, false);
    PanelUpdate same;
    readCameraInfo(memory, same);
    EXPECT_TRUE(same.empty()) << "nothing changed, nothing to rewrite";

    const unsigned char header[] = {'Q', 'D', 'X', 0, 1, 0};
    const char serial[] = "SN-0042";
    QDXSim_WriteMemory(1, 0x0000, sizeof header, header);
    QDXSim_WriteMemory(1, 0x0010, sizeof serial, reinterpret_cast<const unsigned char*>(serial));
    PanelUpdate valid;
    readCameraInfo(memory, valid);
    EXPECT_EQ(valid.cameraInfo[1], "SN-0042");
    EXPECT_EQ(valid.cameraInfo[2], "Yes");
    EXPECT_EQ(valid.cisMemoryValid, true);

    PanelUpdate gone;
    clearCameraInfo(memory, gone);
    for (const auto& line : gone.cameraInfo)
        EXPECT_EQ(line, kNoCameraValue);
}

class FpgaVersionTest : public DeviceMonitorTest,
                        public ::testing::WithParamInterface<std::tuple<int, const char*, bool>> {};

// Guards the version lines: major.minor with the variant from bits 11..8,
// and "VFPN Corr." usable from major version 2.
TEST_P(FpgaVersionTest, ShowsVariantAndVfpnAvailability)
{
    const auto [version, text, vfpn] = GetParam();
    QDXSim_SetRegister(QDX_REG_FPGA_VER, version, 0);
    PanelUpdate update;
    readVersions(update);
    EXPECT_EQ(update.cameraInfo[4], "1.4");
    EXPECT_EQ(update.cameraInfo[5], text);
    EXPECT_EQ(update.vfpnAvailable, vfpn);
}

INSTANTIATE_TEST_SUITE_P(Versions, FpgaVersionTest,
                         ::testing::Values(std::make_tuple(0x123, "2.3 (B)", true),
                                           std::make_tuple(0x012, "1.2 (A)", false)),
                         [](const auto& p) { return "Fpga" + std::to_string(std::get<0>(p.param)); });

}  // namespace
}  // namespace qdx::viewer::test
