// The calibration commands against the simulated camera: the fresh-frame
// capture, every table command's message with the camera there and gone,
// what the EEPROM saves store, and the corrections the tables make.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "TempDir.h"
#include "api/SimCameraFixture.h"
#include "core/calibration/Calibration.h"
#include "core/calibration/TableCommands.h"
#include "core/files/GammaFile.h"
#include "live/CalibrationCapture.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;
using qdx::test::waitUntil;

std::vector<uint8_t> memory(int type, unsigned address, int length)
{
    std::vector<uint8_t> bytes(static_cast<std::size_t>(length));
    QDXSim_ReadMemory(type, address, length, bytes.data());
    return bytes;
}

class TableCommandsTest : public qdx::test::SimCameraTest {
protected:
    void SetUp() override
    {
        SimCameraTest::SetUp();
        QDXSim_SetEepromWriteTime(0);
        ASSERT_NO_FATAL_FAILURE(qdx::test::startConnected());
    }

    // A frame of the camera as it is now: the second new one, since the
    // first may have been on its way before the last change.
    std::vector<uint8_t> freshFrame()
    {
        std::vector<uint8_t> frame;
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(captureFreshFrame(frame), CaptureResult::Whole);
        return frame;
    }

    static int luma(const std::vector<uint8_t>& frame, int x, int y)
    {
        const std::size_t at = (static_cast<std::size_t>(y) * QDX_FRAME_WIDTH * 2 + 2 * static_cast<std::size_t>(x) + 1) * 2;
        return (frame[at] | frame[at + 1] << 8) >> 4;
    }

    qdx::test::TempDir dir;
};

// Guards the capture's three endings: no new frame is given up after the
// limit, a damaged frame is not used, a stop request ends the wait.
TEST_F(TableCommandsTest, CaptureGivesUpRefusesDamageAndStops)
{
    std::vector<uint8_t> frame;
    EXPECT_EQ(captureFreshFrame(frame), CaptureResult::Whole);
    QDXSim_InjectFrames(2, 1000);
    EXPECT_EQ(captureFreshFrame(frame), CaptureResult::Damaged);
    EXPECT_STREQ(captureMessage(CaptureResult::Damaged), "capture data error");
    QDXSim_SetStalled(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(captureFreshFrame(frame, {}, milliseconds(300)), CaptureResult::NoFrame);
    EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(300));
    EXPECT_STREQ(captureMessage(CaptureResult::NoFrame), "capture error");
    std::stop_source stop;
    std::jthread stopper([&] {
        std::this_thread::sleep_for(milliseconds(50));
        stop.request_stop();
    });
    EXPECT_EQ(captureFreshFrame(frame, stop.get_token()), CaptureResult::Stopped);
}

// Guards every command's message, word for word, with the camera there and
// after it is unplugged (each then stops at its first failure), and that a
// gamma download that fails writes no file.
TEST_F(TableCommandsTest, EveryCommandSaysHowItWent)
{
    const std::string gammaFile = dir.file("in.txt");
    std::ofstream(gammaFile, std::ios::binary) << gammaText(identityGamma());
    DpTable dp;
    auto fpn = std::make_unique<FpnTable>();
    struct Case {
        const char* name;
        std::function<TableOutcome()> run;
        const char* present;
        const char* absent;
    };
    const Case cases[] = {
        {"gamma upload", [&] { return gammaUpload(gammaFile); }, "Gamma upload complete", "Gamma(0) upload error"},
        {"gamma download", [&] { return gammaDownload(dir.file("out.txt")); }, "Gamma download complete",
         "Gamma(0) download error"},
        {"gamma save", [] { return gammaSave(); }, "Gamma save complete", "Gamma save error"},
        {"gamma clear", [] { return gammaClear(); }, "Gamma clear complete", "Gamma clear error"},
        {"dp upload", [&] { return dpUpload(DefectKind::Bright, dp); }, "Defect Pixel Table upload complete",
         "Defect Pixel Table upload error"},
        {"dp download", [&] { return dpDownload(DefectKind::Dark, dp); }, "Defect Pixel Table download complete",
         "Defect Pixel Table download error"},
        {"dp save", [] { return dpSave(DefectKind::Dark); }, "Defect Pixel Table save complete",
         "Defect Pixel Table read error"},
        {"dp clear", [&] { return dpClear(DefectKind::Dark, dp); }, "Defect Pixel Table clear complete",
         "Defect Pixel Table clear error"},
        {"fpn upload", [&] { return fpnUpload(*fpn); }, "FPN Table upload complete", "FPN Table upload error"},
        {"fpn download", [&] { return fpnDownload(*fpn); }, "FPN Table download complete",
         "FPN Table download error"},
        {"fpn save", [] { return fpnSave(); }, "FPN Table save complete", "FPN Table read error"},
        {"fpn clear", [&] { return fpnClear(*fpn); }, "FPN Table clear complete", "FPN Table clear error"},
    };
    for (const Case& c : cases) {
        const TableOutcome outcome = c.run();
        EXPECT_TRUE(outcome.ok) << c.name;
        EXPECT_STREQ(outcome.message, c.present) << c.name;
    }
    std::filesystem::remove(dir.file("out.txt"));
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(waitUntil([] { return qdx::test::status() == 0; }));
    for (const Case& c : cases) {
        const TableOutcome outcome = c.run();
        EXPECT_FALSE(outcome.ok) << c.name;
        EXPECT_STREQ(outcome.message, c.absent) << c.name;
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.txt")));
}

// Guards the gamma path: an unusable file sends nothing; what is uploaded is
// what the camera holds, saved into the FX2 EEPROM table by table, and Clear
// then Download gives the linear curve's file; an unwritable file is an error.
TEST_F(TableCommandsTest, GammaFilesCameraAndEeprom)
{
    std::string text;
    for (int i = 0; i < kGammaEntries; ++i)
        text += std::to_string(i) + "," + std::to_string(4 * i) + "," + std::to_string(70000 + i) + "\r\n";
    std::ofstream(dir.file("short.txt"), std::ios::binary) << text.substr(0, text.rfind("4095,"));
    std::ofstream(dir.file("curve.txt"), std::ios::binary) << text;

    const int writes = QDXSim_GetRequestCount(0x19);
    EXPECT_STREQ(gammaUpload(dir.file("short.txt")).message, "Gamma upload load error");
    EXPECT_STREQ(gammaUpload(dir.file("none.txt")).message, "Gamma upload load error");
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), writes);

    ASSERT_TRUE(gammaUpload(dir.file("curve.txt")).ok);
    GammaTables camera{};
    for (int t = 0; t < kGammaTables; ++t)
        ASSERT_EQ(QDX_Get_Gamma_Table(t, camera[static_cast<std::size_t>(t)].data()), QDX_OK);
    GammaTables expected{};
    ASSERT_TRUE(parseGammaText(text, expected));
    EXPECT_EQ(camera, expected);
    EXPECT_EQ(camera[2][0] << 8 | camera[2][1], 4464);
    ASSERT_TRUE(gammaSave().ok);
    const unsigned stored[] = {0x8000, 0xA000, 0xC000};
    for (std::size_t t = 0; t < 3; ++t)
        EXPECT_EQ(memory(QDX_MEMORY_FX2, stored[t], kGammaTableBytes),
                  std::vector<uint8_t>(camera[t].begin(), camera[t].end()))
            << "table " << t;

    ASSERT_TRUE(gammaClear().ok);
    ASSERT_TRUE(gammaDownload(dir.file("linear.txt")).ok);
    std::ifstream in(dir.file("linear.txt"), std::ios::binary);
    const std::string linear{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(linear, gammaText(identityGamma()));
    EXPECT_STREQ(gammaDownload(dir.file("no/such/folder.txt")).message, "Gamma download save error");
}

// Guards the sensor-head saves: the camera's working tables land in the CIS
// EEPROM unchanged, the FPN table with the RAW gain of the moment at 0x0028,
// only the chosen defect table is written, and a gain that cannot be read
// saves nothing at all.
TEST_F(TableCommandsTest, SavesStoreTheCameraTablesAndTheGain)
{
    DpTable dp;
    dp.bytes()[0] = 0x00, dp.bytes()[1] = 0x10, dp.bytes()[2] = 0x00, dp.bytes()[3] = 0x20;
    ASSERT_TRUE(dpUpload(DefectKind::Bright, dp).ok);
    ASSERT_TRUE(dpSave(DefectKind::Bright).ok);
    EXPECT_EQ(memory(QDX_MEMORY_CIS, 0x300, 256), std::vector<uint8_t>(dp.bytes().begin(), dp.bytes().end()));
    EXPECT_EQ(memory(QDX_MEMORY_CIS, 0x200, 256), std::vector<uint8_t>(256, 0xFF));

    auto fpn = std::make_unique<FpnTable>();
    for (std::size_t i = 0; i < fpn->bytes().size(); ++i)
        fpn->bytes()[i] = static_cast<uint8_t>(i * 7 + i / 204);
    ASSERT_TRUE(fpnUpload(*fpn).ok);
    ASSERT_EQ(QDX_Set_RawGain(40), QDX_OK);

    // The gain read (the first register read after the table's 1,288) fails.
    QDXSim_FailRequestsAfter(0x18, 1288, 1);
    EXPECT_STREQ(fpnSave().message, "FPN Table read error");
    EXPECT_EQ(memory(QDX_MEMORY_CIS, 0x2000, 64), std::vector<uint8_t>(64, 0xFF));
    EXPECT_EQ(memory(QDX_MEMORY_CIS, 0x28, 2), std::vector<uint8_t>(2, 0xFF));

    ASSERT_TRUE(fpnSave().ok);
    EXPECT_EQ(memory(QDX_MEMORY_CIS, 0x2000, FpnTable::kBytes),
              std::vector<uint8_t>(fpn->bytes().begin(), fpn->bytes().end()));
    EXPECT_EQ(memory(QDX_MEMORY_CIS, 0x28, 2), (std::vector<uint8_t>{0, 40}));
}

// Guards the whole defect-pixel round trip: the stuck pixels found in the
// sensor's luma vanish from the picture once both tables are uploaded and
// correction is on.
TEST_F(TableCommandsTest, DetectedDefectsVanishAfterUpload)
{
    QDXSim_SetScene(1);
    ASSERT_EQ(QDX_Set_DataFormat(1), QDX_OK);
    const auto raw = freshFrame();
    DpTable dark, bright;
    ASSERT_EQ(detectDefectPixels(raw.data(), 10, DefectKind::Dark, dark), 12);
    ASSERT_EQ(detectDefectPixels(raw.data(), 250, DefectKind::Bright, bright), 12);
    ASSERT_TRUE(dpUpload(DefectKind::Dark, dark).ok);
    ASSERT_TRUE(dpUpload(DefectKind::Bright, bright).ok);

    ASSERT_EQ(QDX_Set_DataFormat(0), QDX_OK);
    auto defectsStandOut = [&](const std::vector<uint8_t>& frame) {
        int standing = 0;
        for (const DpTable* table : {&dark, &bright})
            for (int i = 0; i < 12; ++i) {
                const int x = table->x(i), y = table->y(i);
                const int around = (luma(frame, x - 1, y) + luma(frame, x + 1, y)) / 2;
                standing += std::abs(luma(frame, x, y) - around) > 400;
            }
        return standing;
    };
    EXPECT_EQ(defectsStandOut(freshFrame()), 24) << "correction off";
    ASSERT_EQ(QDX_Set_DP_Corr(1), QDX_OK);
    EXPECT_EQ(defectsStandOut(freshFrame()), 0) << "correction on";
}

// Guards the FPN round trip: a table detected from a flat field, uploaded
// and applied in Mode2 at the gain it was taken at, lowers the picture's
// pixel-to-pixel spread to well under half.
TEST_F(TableCommandsTest, DetectedFixedPatternLowersTheSpread)
{
    QDXSim_SetScene(1);
    ASSERT_EQ(QDX_Set_ExposureTime(100), QDX_OK);
    ASSERT_EQ(QDX_Set_RawGain(64), QDX_OK);  // x4, the most Mode2 allows
    ASSERT_EQ(QDX_Set_DataFormat(1), QDX_OK);
    auto table = std::make_unique<FpnTable>();
    detectFixedPattern(freshFrame().data(), *table);
    EXPECT_GT(table->mean, 1000);
    ASSERT_TRUE(fpnUpload(*table).ok);

    ASSERT_EQ(QDX_Set_DataFormat(0), QDX_OK);
    auto spread = [&](const std::vector<uint8_t>& frame) {
        double sum = 0, squares = 0;
        int n = 0;
        for (int y = 8; y < 396; ++y)
            for (int x = 8; x < 396; ++x) {
                const double v = luma(frame, x, y);
                sum += v, squares += v * v, ++n;
            }
        return std::sqrt(squares / n - (sum / n) * (sum / n));
    };
    const double before = spread(freshFrame());
    ASSERT_EQ(QDX_Set_FPN_Corr(2), QDX_OK);
    const double after = spread(freshFrame());
    EXPECT_LT(after, 0.5 * before) << "before " << before << ", after " << after;
}

}  // namespace
}  // namespace qdx::viewer::test
