// Playback in the viewer's window, offscreen, with Qt Multimedia decoding
// real files: the viewer's own recordings, and Motion-JPEG AVIs made by
// ffmpeg and BMPs made by QImage, so that other writers' files play too;
// frame counts and durations come from a reader other than ours (ffprobe).
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <QVideoFrame>

#include <sys/stat.h>

#include <thread>

#include "viewer/GuiFixture.h"

#include "capture/AviWriter.h"
#include "capture/JpegEncoder.h"
#include "core/commands/Commands.h"
#include "core/device/CameraReads.h"
#include "core/model/ViewerState.h"
#include "pages/PictureView.h"
#include "pages/VideoHost.h"
#include "playback/Playback.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Runs a tool to the end; its standard output, or empty with a test failure.
QByteArray runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << " failed (scripts/common.sh installs it): "
                      << process.readAllStandardError().toStdString();
        return {};
    }
    return process.readAllStandardOutput();
}

// A Motion-JPEG AVI of ffmpeg's test picture.
void makeVideo(const QString& path, int width, int height, int rate, int length)
{
    runTool(QStringLiteral("ffmpeg"),
            {"-v", "error", "-y", "-f", "lavfi", "-i",
             QStringLiteral("testsrc=size=%1x%2:rate=%3").arg(width).arg(height).arg(rate), "-t",
             QString::number(length), "-c:v", "mjpeg", path});
}

int framesByFfprobe(const QString& path)
{
    return runTool(QStringLiteral("ffprobe"), {"-v", "error", "-count_frames", "-select_streams", "v:0",
                                               "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path})
        .trimmed()
        .toInt();
}

double durationByFfprobe(const QString& path)
{
    return runTool(QStringLiteral("ffprobe"), {"-v", "error", "-select_streams", "v:0", "-show_entries",
                                               "stream=duration", "-of", "csv=p=0", path})
        .trimmed()
        .toDouble();
}

// A recording as the viewer writes it: its writer and encoder, 400 x 400
// pictures that change from frame to frame, at rate / scale frames a second.
void makeRecording(const QString& path, int frames, uint32_t rate, uint32_t scale)
{
    constexpr int kSide = 400;
    JpegEncoder encoder(kSide);
    AviWriter writer;
    ASSERT_TRUE(encoder.valid());
    ASSERT_EQ(writer.open(QFile::encodeName(path).toStdString()), 0);
    ASSERT_EQ(writer.setFrameSize(kSide, kSide), 0);
    std::vector<uint8_t> picture(kSide * kSide * 3);
    for (int frame = 0; frame < frames; ++frame) {
        for (std::size_t i = 0; i < picture.size(); ++i)
            picture[i] = static_cast<uint8_t>(i / 3 % kSide + frame * 16);
        const uint32_t length = encoder.encodeJpegToStream(picture.data());
        ASSERT_GT(length, 0u);
        ASSERT_EQ(writer.writeFrame(encoder.jpeg().data(), length), 0);
    }
    ASSERT_EQ(writer.setFrameRate(rate, scale), 0);
    ASSERT_EQ(writer.close(), 0);
}

class PlaybackTest : public ViewerWindowTest {
protected:
    Playback& playback() const { return window->playback(); }
    VideoHost* host() const { return control<VideoHost>(0, 7001); }
    QString file(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

    // Menu items, page buttons and the picture area as playing (or idle) has them.
    void expectControls(bool playing) const
    {
        EXPECT_TRUE(window->action(kCmdOpenAndPlay)->isEnabled());
        EXPECT_EQ(window->action(kCmdPausePlay)->isEnabled(), playing);
        EXPECT_EQ(window->action(kCmdPlayStop)->isEnabled(), playing);
        EXPECT_EQ(control<QPushButton>(0, 7016)->isEnabled(), playing);
        EXPECT_EQ(control<QPushButton>(0, 7017)->isEnabled(), playing);
        EXPECT_EQ(host()->isVisible(), playing);
        EXPECT_EQ(page(0)->pictureView()->isVisible(), !playing);
    }

    // Waits for the first picture of a video on screen. A failure here that
    // reads "File Open Error" means that Qt Multimedia cannot decode
    // Motion-JPEG AVIs on this machine, not that playback is wrong.
    void waitForFirstPicture()
    {
        const bool shown = processUntil([&] { return playback().framesShown() > 0 || playback().state() == 0; });
        ASSERT_TRUE(shown) << "no picture within 5 s";
        ASSERT_NE(playback().state(), 0)
            << "Qt Multimedia could not play an MJPEG AVI made by ffmpeg; its GStreamer back end needs "
               "gstreamer1.0-plugins-good (avidemux, jpegdec). Said: "
            << (interaction.messages.empty() ? std::string() : interaction.messages.back().text.toStdString());
    }

    void playVideo(const QString& path)
    {
        playback().start(path);
        waitForFirstPicture();
    }

    void expectOnlyMessage(const QString& text, MessageIcon icon) const
    {
        ASSERT_EQ(interaction.messages.size(), 1u);
        EXPECT_EQ(interaction.messages[0].title, QStringLiteral("Message"));
        EXPECT_EQ(interaction.messages[0].text, text);
        EXPECT_EQ(interaction.messages[0].icon, icon);
    }
};

// Guards the whole run of a recording: the dialog as the operator sees it,
// the video at its native size centred and doubled at 200% (chosen on either
// page, also behind the other tab), every frame ffprobe counts reaching the
// screen, and the end of the file reported once and leaving the live view
// with idle menus and buttons.
TEST_F(PlaybackTest, VideoPlaysEveryFrameInPlaceAndEndsInLiveView)
{
    const QString clip = file("clip.avi");
    makeVideo(clip, 320, 240, 10, 2);
    const int frames = framesByFfprobe(clip);
    ASSERT_EQ(frames, 20);
    ASSERT_NO_FATAL_FAILURE(open());
    expectControls(false);
    // The engine drops a frame that comes late, and the live view's work on
    // a busy machine could make it late: the camera sends nothing meanwhile.
    QDXSim_SetStalled(1);

    interaction.files.push_back(clip);
    window->command(kCmdOpenAndPlay);
    ASSERT_EQ(interaction.dialogs.size(), 1u);
    const FileDialogRequest& dialog = interaction.dialogs[0];
    expectFileDialog(dialog, false, "Open File", "Media File (*.avi, *.bmp)", "*.avi *.bmp", "avi");
    EXPECT_EQ(playback().state(), 1);
    EXPECT_EQ(stateText(), QStringLiteral("PLAY"));
    expectControls(true);

    ASSERT_NO_FATAL_FAILURE(waitForFirstPicture());
    EXPECT_EQ(host()->videoRect(), QRect(42, 82, 320, 240));
    EXPECT_EQ(host()->picture().size(), QSize(320, 240));
    choose(control<QComboBox>(0, 4101), 1);
    EXPECT_EQ(host()->videoRect(), QRect(84, 164, 640, 480));
    window->tabs()->setCurrentIndex(1);
    choose(control<QComboBox>(1, 4101), 0);
    EXPECT_EQ(playback().state(), 1) << "another tab does not stop playback";
    window->tabs()->setCurrentIndex(0);
    EXPECT_EQ(host()->videoRect(), QRect(42, 82, 320, 240));

    ASSERT_TRUE(processUntil([&] { return playback().state() == 0; }, seconds(10)));
    expectOnlyMessage(QStringLiteral("Reached End of File"), MessageIcon::Information);
    EXPECT_EQ(playback().framesShown(), frames);
    EXPECT_EQ(stateText(), QStringLiteral("LIVE"));
    expectControls(false);
}

// Guards the round trip of the viewer's own recordings: every frame the
// writer put in reaches the screen, at its place, and the file lasts
// frames x scale / rate as its header says. Then the engine's hand-over of
// a frame, which fails the whole stream when the frame is held 300 ms on
// the GUI thread: a conversion that slow (the first one on a real display
// sets up its graphics stack) may cost pictures, never the video.
TEST_F(PlaybackTest, TheViewersRecordingPlaysEveryFrameEvenAfterASlowConversion)
{
    const QString take = file("take.avi");
    ASSERT_NO_FATAL_FAILURE(makeRecording(take, 15, 1000, 100));
    ASSERT_EQ(framesByFfprobe(take), 15);
    EXPECT_NEAR(durationByFfprobe(take), 15 * 100 / 1000.0, 0.01);
    ASSERT_NO_FATAL_FAILURE(open());
    QDXSim_SetStalled(1);  // nothing makes a frame late (see above)
    ASSERT_NO_FATAL_FAILURE(playVideo(take));
    EXPECT_EQ(host()->videoRect(), QRect(2, 2, 400, 400));
    ASSERT_TRUE(processUntil([&] { return playback().state() == 0; }, seconds(10)));
    expectOnlyMessage(QStringLiteral("Reached End of File"), MessageIcon::Information);
    EXPECT_EQ(playback().framesShown(), 15);

    int conversions = 0;
    playback().setFrameConversion([&](const QVideoFrame& frame) {
        if (++conversions == 2)
            std::this_thread::sleep_for(milliseconds(500));
        return frame.toImage();
    });
    interaction.messages.clear();
    ASSERT_NO_FATAL_FAILURE(playVideo(take));
    ASSERT_TRUE(processUntil([&] { return playback().state() == 0; }, seconds(10)));
    expectOnlyMessage(QStringLiteral("Reached End of File"), MessageIcon::Information);
    EXPECT_GT(conversions, 2);
}

// Guards pause and resume (the count stands still while paused), a second
// file started while one plays (the still replaces the video, at its own
// place, with no length to count), the recording's state text coming back
// on stop, and the window closing while a file plays.
TEST_F(PlaybackTest, PauseStillAndStopDuringRecording)
{
    const QString clip = file("long.avi");
    makeVideo(clip, 160, 120, 5, 6);
    const QString still = file("PICTURE.BMP");
    QImage picture(100, 60, QImage::Format_RGB888);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixelColor(x, y, QColor(x * 2, y * 4, 255 - x));
    ASSERT_TRUE(picture.save(still, "BMP"));
    ASSERT_NO_FATAL_FAILURE(open());
    ASSERT_NO_FATAL_FAILURE(playVideo(clip));

    // The count as it stood at some second into the video, then paused.
    const QRegularExpression counting(QStringLiteral("^(PLAY|PAUSE) \\[(\\d+) / 6sec\\]$"));
    auto second = [&] { return counting.match(stateText()).captured(2).toInt(); };
    ASSERT_TRUE(processUntil([&] { return second() >= 1; })) << stateText().toStdString();
    const int played = second();
    window->command(kCmdPausePlay);
    EXPECT_EQ(playback().state(), 2);
    EXPECT_EQ(stateText(), QStringLiteral("PAUSE"));
    ASSERT_TRUE(processUntil([&] { return stateText() != QStringLiteral("PAUSE"); }));
    const QString paused = stateText();
    EXPECT_TRUE(paused.startsWith(QStringLiteral("PAUSE ["))) << paused.toStdString();
    EXPECT_TRUE(second() == played || second() == played + 1) << paused.toStdString() << " after " << played;
    processFor(milliseconds(1200));
    EXPECT_EQ(stateText(), paused) << "the position moved while paused";
    control<QPushButton>(0, 7016)->click();
    EXPECT_EQ(playback().state(), 1);
    EXPECT_EQ(stateText(), QStringLiteral("PLAY"));

    interaction.files.push_back(still);
    window->command(kCmdOpenAndPlay);
    EXPECT_EQ(playback().state(), 1);
    EXPECT_EQ(playback().kind(), MediaKind::Still);
    EXPECT_EQ(host()->picture().convertToFormat(QImage::Format_RGB888), picture);
    EXPECT_EQ(host()->videoRect(), QRect(152, 172, 100, 60));
    ASSERT_TRUE(processUntil([&] { return stateText() == QStringLiteral("PLAY [0 / 0sec]"); }))
        << stateText().toStdString();
    processFor(milliseconds(300));
    EXPECT_TRUE(interaction.messages.empty()) << "the video replaced ends without a message";

    program.state().recordingActive.store(1);
    control<QPushButton>(0, 7017)->click();
    program.state().recordingActive.store(0);
    EXPECT_EQ(playback().state(), 0);
    EXPECT_EQ(stateText(), QStringLiteral("LIVE (REC)"));
    expectControls(false);

    ASSERT_NO_FATAL_FAILURE(playVideo(clip));
    window->close();
    EXPECT_EQ(playback().state(), 0) << "closing the window stops playback";
    EXPECT_TRUE(interaction.messages.empty());
}

// Guards files the engine cannot open, also one it opens but never shows,
// and a FIFO (whose open used to hold the GUI thread until something wrote
// to it): each is reported as "File Open Error" once, with the error icon,
// and playback is idle again within seconds, never left waiting in "PLAY".
TEST_F(PlaybackTest, UnplayableFilesReportOpenErrorAndReturnToIdle)
{
    const QString good = file("good.avi");
    makeVideo(good, 64, 48, 10, 1);
    QFile source(good);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    const QByteArray avi = source.readAll();
    // Every index entry pointing far beyond the end: the engine opens the
    // file without complaint but never shows a picture nor reaches the end.
    QByteArray lostIndex = avi;
    const qsizetype index = lostIndex.indexOf("idx1");
    ASSERT_GT(index, 0);
    for (qsizetype entry = index + 8; entry + 16 <= lostIndex.size(); entry += 16)
        lostIndex.replace(entry + 8, 4, QByteArray("\0\0\0\x7f", 4));
    QByteArray noise(5000, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>((i * 7919) >> 3);
    const struct {
        const char* name;
        QByteArray content;
    } cases[] = {
        {"empty.avi", {}},
        {"noise.avi", noise},
        {"cut.avi", avi.left(1500)},
        {"lost-index.avi", lostIndex},
        {"broken.bmp", "BM" + noise},
        {"gone.avi", "-"},
        {"fifo.avi", "|"},
        {"fifo.bmp", "|"},
    };
    ASSERT_NO_FATAL_FAILURE(open());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = file(c.name);
        if (c.content == "|") {
            ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        } else if (c.content != "-") {
            QFile out(path);
            ASSERT_TRUE(out.open(QIODevice::WriteOnly));
            out.write(c.content);
        }
        interaction.messages.clear();
        playback().start(path);
        ASSERT_TRUE(processUntil([&] { return playback().state() == 0; }, seconds(10)));
        processFor(milliseconds(200));  // anything the engine still says
        expectOnlyMessage(QStringLiteral("MediaPlay : File Open Error"), MessageIcon::Error);
        EXPECT_EQ(stateText(), QStringLiteral("LIVE"));
        expectControls(false);
    }
}

// Guards the dialog offering the files to play: the filter's text separates
// its patterns with a comma, which the dialog would take as part of the
// first pattern, listing no AVI file at all.
TEST(MediaDialogTest, ListsAviAndBmpFilesUnderTheFilterText)
{
    QTemporaryDir dir;
    for (const char* name : {"clip.avi", "STILL.BMP", "notes.txt"})
        QFile(dir.filePath(QString::fromUtf8(name))).open(QIODevice::WriteOnly);
    QString shownFilter;
    QStringList listed;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        const auto* view = dialog ? dialog->findChild<QListView*>(QStringLiteral("listView")) : nullptr;
        if (!view || view->model()->rowCount(view->rootIndex()) < 2)
            return;  // the folder is read on a thread of its own
        shownFilter = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"))->currentText();
        for (int row = 0; row < view->model()->rowCount(view->rootIndex()); ++row)
            listed << view->model()->index(row, 0, view->rootIndex()).data().toString();
        dialog->reject();
    });
    poll.start(50);
    QTimer::singleShot(10000, [] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            dialog->close();
    });
    FileDialogRequest request;
    request.title = QStringLiteral("Open File");
    request.filterText = QStringLiteral("Media File (*.avi, *.bmp)");
    request.pattern = QStringLiteral("*.avi *.bmp");
    request.folder = dir.path();
    EXPECT_TRUE(WidgetInteraction().fileName(nullptr, request).isEmpty());
    EXPECT_EQ(shownFilter.toStdString(), "Media File (*.avi, *.bmp)");
    listed.sort();
    EXPECT_EQ(listed.join(QLatin1Char(',')).toStdString(), "STILL.BMP,clip.avi");
}

}  // namespace
}  // namespace qdx::viewer::test
