// SIGINT, SIGTERM and SIGHUP close the viewer as File > Exit does: in the
// window here, and the QDX_Viewer program itself.
#include <gtest/gtest.h>

#include <signal.h>

#include <QFileInfo>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "SimControl.h"
#include "SimulatedProcess.h"
#include "TempDir.h"
#include "core/commands/Commands.h"
#include "shell/QuitSignals.h"
#include "viewer/GuiFixture.h"
#include "viewer/capture/AviFiles.h"

namespace qdx::viewer::test {
namespace {

using QuitSignalsTest = ViewerWindowTest;

// Guards a SIGTERM that ended the viewer mid-recording with the AVI
// unfinished (header sizes 0, no index): the signal closes the window, which
// finishes the file first.
TEST_F(QuitSignalsTest, SignalClosesTheWindowAndFinishesTheRecording)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    QuitSignals quit;
    ASSERT_TRUE(quit.active());
    quit.closes(window.get());
    const QString path = dir.filePath(QStringLiteral("signalled.avi"));
    interaction.files.push_back(path);
    window->command(kCmdVideoCapture);
    const auto fileSize = [&] { return QFileInfo(path).size(); };
    ASSERT_TRUE(processUntil([&] { return fileSize() > 100000; }, std::chrono::milliseconds(10000)));

    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(processUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(quit.caught(), SIGTERM);
    const auto b = readBytes(path.toStdString());
    EXPECT_EQ(u32(b, 4), b.size() - 8) << "the RIFF size of a finished file";
    EXPECT_GE(u32(b, 140), 3u);
    EXPECT_EQ(ffprobe(path.toStdString())["nb_read_frames"], std::to_string(u32(b, 140)));
}

// Guards the program's own wiring: a signal to QDX_Viewer on the simulated
// camera ends it through its close path, with 128 + the signal as its exit
// status and the library stopped (its control socket removed).
TEST(QuitSignalsProgram, ProgramEndsOnASignalAsAShellExpects)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        qdx::test::TempDir dir;
        const std::string control = dir.file("control");
        // Under the thread sanitizer, Qt's own threads are left out as in this test's main.
        const char* tsan = std::getenv("TSAN_OPTIONS");
        qdx::test::SimulatedProcess viewer(
            {QDX_VIEWER_PROGRAM}, "", dir.file(""),
            {"QDX_SIM_CONTROL=" + control, "QT_QPA_PLATFORM=offscreen",
             "TSAN_OPTIONS=" + std::string(tsan ? tsan : "") + ":ignore_noninstrumented_modules=1"});
        ASSERT_TRUE(qdx::test::lookUntil([&] { return qdx::test::controlStatus(control)["delivered"] >= 10; }));
        viewer.signal(signal);
        const qdx::test::ProcessRun& run = viewer.finish();
        EXPECT_EQ(run.exitCode(), 128 + signal) << run.err;
        EXPECT_FALSE(std::filesystem::exists(control));
    }
}

}  // namespace
}  // namespace qdx::viewer::test
