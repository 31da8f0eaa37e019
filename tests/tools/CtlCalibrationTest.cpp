// qdxctl's calibration commands: dp and fpn detect, table get|set|save|clear,
// over the viewer's calibration code against the simulated camera.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "CtlFixture.h"

namespace qdx::ctl::test {
namespace {

// Guards the command-line round trip: a detected table file goes into the
// chosen camera table and comes back unchanged, the FPN table reaches the
// sensor head's memory, the viewer's messages and exit statuses, and a file
// that is no table sends nothing.
TEST_F(CtlTest, DetectUploadDownloadAndSave)
{
    QDXSim_SetScene(1);  // a flat field with the sensor's stuck pixels
    QDXSim_SetEepromWriteTime(0);
    TempDir dir;
    const CtlRun dp = runCtl({"dp", "detect", "--type", "bright", "--threshold", "250", dir.file("dp.bin")});
    ASSERT_EQ(dp.status, kExitOk) << dp.err;
    EXPECT_EQ(dp.out.substr(0, 35), "Bright (12)\r\n--------------------\r\n");
    EXPECT_EQ(fileBytes(dir.file("dp.bin")).size(), 256u);

    CtlRun run = runCtl({"table", "set", "dp", "--type", "bright", dir.file("dp.bin")});
    EXPECT_EQ(run.out, "Defect Pixel Table upload complete\n");
    run = runCtl({"table", "get", "dp", "--type", "bright", dir.file("back.bin")});
    EXPECT_EQ(run.out, "Defect Pixel Table download complete\n");
    EXPECT_EQ(fileBytes(dir.file("back.bin")), fileBytes(dir.file("dp.bin")));

    const CtlRun fpn = runCtl({"fpn", "detect", dir.file("fpn.bin")});
    ASSERT_EQ(fpn.status, kExitOk) << fpn.err;
    EXPECT_EQ(fpn.out.rfind("Avarage ", 0), 0u) << fpn.out;
    EXPECT_EQ(fileBytes(dir.file("fpn.bin")).size(), 82416u);
    run = runCtl({"--set", "raw-gain=40", "table", "save", "fpn"});
    EXPECT_EQ(run.out, "FPN Table save complete\n") << run.err;
    unsigned char gain[2] = {};
    QDXSim_ReadMemory(QDX_MEMORY_CIS, 0x28, 2, gain);
    EXPECT_EQ(gain[1], 40);

    run = runCtl({"table", "get", "gamma", dir.file("g.txt")});
    EXPECT_EQ(run.out, "Gamma download complete\n");
    EXPECT_EQ(runCtl({"table", "set", "gamma", dir.file("g.txt")}).out, "Gamma upload complete\n");

    const int requests = QDXSim_GetRequestCount(-1);
    run = runCtl({"table", "set", "fpn", dir.file("dp.bin")});
    EXPECT_EQ(run.status, kExitFailure);
    EXPECT_NE(run.err.find("a table file holds 82416"), std::string::npos) << run.err;
    EXPECT_EQ(runCtl({"table", "set", "lut", dir.file("dp.bin")}).status, kExitUsage);
    EXPECT_EQ(runCtl({"table", "save", "dp", dir.file("dp.bin")}).status, kExitUsage);
    EXPECT_EQ(QDXSim_GetRequestCount(-1), requests);
}

}  // namespace
}  // namespace qdx::ctl::test
