// Video capture in the window on the simulated camera: the questions and the
// texts, and the file read back by ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>

#include "viewer/GuiFixture.h"
#include "viewer/capture/AviFiles.h"

#include "core/commands/Commands.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;

class VideoCaptureTest : public ViewerWindowTest {
protected:
    QStringList buttonTexts() const
    {
        return {control<QPushButton>(0, 3004)->text(), control<QPushButton>(1, 3004)->text()};
    }
    QString menuText() const { return window->action(kCmdVideoCapture)->text(); }
    bool boundaryEnabled() const { return window->action(kCmdBoundaryPixels)->isEnabled(); }
    // The frames so far as the progress beside the state text says ("00:03  91 frames").
    int framesSoFar() const
    {
        const auto* label = page(0)->findChild<QLabel*>(QStringLiteral("recordingProgress"));
        const QStringList words = label ? label->text().split(QLatin1Char(' '), Qt::SkipEmptyParts) : QStringList();
        return words.size() == 3 && words[2] == QStringLiteral("frames") ? words[1].toInt() : -1;
    }
    // Waits until `more` frames have been recorded after the call. The
    // progress is shown twice a second, so the count first has to move once
    // to be sure it stems from after the call.
    bool recordsFrames(int more)
    {
        const int shown = framesSoFar();
        int before = -1;
        return processUntil([&] { return (before = framesSoFar()) > shown; }, milliseconds(10000)) &&
               processUntil([&] { return framesSoFar() >= before + more; }, milliseconds(10000));
    }

    // Starts a recording into `name` in the test's folder, OK to the question.
    std::string start(const QString& name)
    {
        const QString file = dir.filePath(name);
        interaction.files.push_back(file);
        window->command(kCmdVideoCapture);
        return file.toStdString();
    }
    void expectIdleTexts()
    {
        EXPECT_EQ(stateText(), "LIVE");
        EXPECT_EQ(buttonTexts(), (QStringList{"Video Capture", "Video Capture"}));
        EXPECT_EQ(menuText(), "Start Video Capture");
        EXPECT_TRUE(boundaryEnabled());
    }
};

// A recording from start to stop: the questions, the dialog, the texts while
// it runs, and a file whose frames turn grey when the Calibration page shows.
TEST_F(VideoCaptureTest, RecordingSwitchesTextsAndFollowsThePage)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    const std::string path = start(QStringLiteral("rec.avi"));
    ASSERT_GE(interaction.messages.size(), 1u);
    EXPECT_EQ(interaction.messages[0].text, "Start Video Capture");
    EXPECT_EQ(interaction.messages[0].buttons, MessageButtons::OkCancel);
    ASSERT_EQ(interaction.dialogs.size(), 1u);
    const FileDialogRequest& dialog = interaction.dialogs[0];
    EXPECT_EQ(dialog.title, "Save File");
    EXPECT_EQ(dialog.filterText, "AVI File (*.avi);;Lossless 12-bit (FFV1, .mkv) (*.mkv)");
    EXPECT_EQ(dialog.defaultSuffix, "avi");
    EXPECT_EQ(dialog.folder, ".");
    EXPECT_TRUE(dialog.proposedName.endsWith(".avi") && dialog.proposedName.size() == 27) << dialog.proposedName.toStdString();

    EXPECT_EQ(stateText(), "LIVE (REC)");
    EXPECT_EQ(buttonTexts(), (QStringList{"Stop Capture", "Stop Capture"}));
    EXPECT_EQ(menuText(), "Stop Video Capture");
    EXPECT_FALSE(boundaryEnabled());
    ASSERT_TRUE(recordsFrames(5));
    window->tabs()->setCurrentIndex(kCalibrationPage);
    ASSERT_TRUE(recordsFrames(5));

    interaction.answers = {MessageAnswer::Cancel};  // "Stop Video Capture"? not yet
    window->command(kCmdVideoCapture);
    EXPECT_EQ(interaction.messages.back().text, "Stop Video Capture");
    EXPECT_EQ(stateText(), "LIVE (REC)");
    window->tabs()->setCurrentIndex(kPicturePage);
    window->command(kCmdVideoCapture);
    expectIdleTexts();
    EXPECT_EQ(interaction.messages.size(), 3u) << "no notice after a sound recording";

    const auto b = readBytes(path);
    auto probe = ffprobe(path);
    EXPECT_EQ(probe["width"], "400");
    EXPECT_EQ(probe["nb_read_frames"], std::to_string(u32(b, 140))) << probe["error"];
    EXPECT_GE(u32(b, 140), 10u);  // at least the frames the progress showed
    EXPECT_EQ(u32(b, 128), 100u) << "the measured rate, in hundredths";
    const auto times = readBytes(path + ".csv");
    EXPECT_EQ(std::count(times.begin(), times.end(), '\n'), u32(b, 140) + 1) << "a header and a line a frame";
    const std::vector<bool> grey = greyFrames(path, 400);
    ASSERT_FALSE(grey.empty());
    EXPECT_FALSE(grey.front()) << "the Picture page records colour";
    EXPECT_NE(std::find(grey.begin(), grey.end(), true), grey.end()) << "the Calibration page records grey";
}

// Cancelling the file dialog creates nothing and changes nothing.
TEST_F(VideoCaptureTest, CancelledDialogChangesNothing)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    window->command(kCmdVideoCapture);  // OK, then the dialog is cancelled
    EXPECT_EQ(interaction.dialogs.size(), 1u);
    expectIdleTexts();
    EXPECT_EQ(interaction.messages.size(), 1u);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.avi")}).size(), 0);
}

// Closing the window mid-recording finishes the file first; with the
// boundary pixels shown the pictures are 404 x 404.
TEST_F(VideoCaptureTest, ClosingTheWindowFinishesTheFile)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    window->command(kCmdBoundaryPixels);
    const std::string path = start(QStringLiteral("closed.avi"));
    ASSERT_EQ(stateText(), "LIVE (REC)");
    ASSERT_TRUE(recordsFrames(3));
    window->close();
    const auto b = readBytes(path);
    EXPECT_EQ(u32(b, 4), b.size() - 8);
    EXPECT_GE(u32(b, 140), 3u);
    auto probe = ffprobe(path);
    EXPECT_EQ(probe["nb_read_frames"], std::to_string(u32(b, 140))) << probe["error"];
    EXPECT_EQ(probe["width"], "404");
}

// Guards against the lossless choice recording nothing (the display thread's
// frames not reaching its queue), an .mkv written as AVI, and a window closed
// mid-recording that leaves the file under its temporary name.
TEST_F(VideoCaptureTest, LosslessChoiceRecordsTwelveBitFfv1)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    window->command(kCmdBoundaryPixels);
    const std::string path = start(QStringLiteral("closed.mkv"));
    ASSERT_EQ(stateText(), "LIVE (REC)");
    ASSERT_TRUE(recordsFrames(3));
    window->close();
    auto probe = ffprobe(path);
    EXPECT_EQ(probe["codec_name"], "ffv1") << probe["error"];
    EXPECT_EQ(probe["width"], "404");
    EXPECT_GE(std::stoi("0" + probe["nb_read_frames"]), 3);
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*closed.mkv*")}, QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("closed.mkv")});
}

// A write that fails (the file size limit stands in for a full disk) ends the
// recording by itself: idle texts, a warning, a file with the frames before.
TEST_F(VideoCaptureTest, FailedWriteEndsTheRecordingWithAWarning)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 200000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    const std::string path = start(QStringLiteral("cut.avi"));
    const bool ended = processUntil([&] { return stateText() == "LIVE"; }, milliseconds(10000));
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    ASSERT_TRUE(ended);
    expectIdleTexts();
    ASSERT_EQ(interaction.messages.size(), 2u);
    EXPECT_EQ(interaction.messages[1].text,
              "Video Capture : Error!\nA frame could not be written. Recording stopped.");
    EXPECT_EQ(interaction.messages[1].icon, MessageIcon::Warning);
    const auto b = readBytes(path);
    EXPECT_GE(u32(b, 140), 1u);
    EXPECT_EQ(ffprobe(path)["nb_read_frames"], std::to_string(u32(b, 140)));
}

// Guards a recording that ran on through an unplug without a word while its
// file played the gap away: the progress says the camera is gone, and the
// stop warns when and how long, with the frames before and after.
TEST_F(VideoCaptureTest, UnplugDuringRecordingIsWarnedAtTheStop)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    const std::string path = start(QStringLiteral("gap.avi"));
    ASSERT_TRUE(recordsFrames(5));
    const auto* progress = page(0)->findChild<QLabel*>(QStringLiteral("recordingProgress"));
    ASSERT_NE(progress, nullptr);
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(processUntil([&] { return progress->text().endsWith(QStringLiteral("(camera disconnected)")); }));
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(processUntil([&] { return framesSoFar() >= 0; }, milliseconds(10000)));
    ASSERT_TRUE(recordsFrames(5));
    window->command(kCmdVideoCapture);  // OK to "Stop Video Capture"
    expectIdleTexts();

    ASSERT_EQ(interaction.messages.size(), 3u);
    const ShownMessage& warning = interaction.messages[2];
    EXPECT_EQ(warning.icon, MessageIcon::Warning);
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Video Capture : The camera was disconnected at [\\d.]+ s for [\\d.]+ s; "
                                          "(\\d+) frames before, (\\d+) after\\.$"))
            .match(warning.text);
    ASSERT_TRUE(m.hasMatch()) << warning.text.toStdString();
    const uint32_t frames = u32(readBytes(path), 140);
    EXPECT_GE(m.captured(1).toUInt(), 5u);
    EXPECT_GE(m.captured(2).toUInt(), 5u);
    EXPECT_EQ(m.captured(1).toUInt() + m.captured(2).toUInt(), frames);
    EXPECT_EQ(ffprobe(path)["nb_read_frames"], std::to_string(frames));
}

}  // namespace
}  // namespace qdx::viewer::test
