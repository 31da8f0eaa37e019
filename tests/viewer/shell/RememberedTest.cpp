// What the window remembers across two starts of the program (its place and
// size, the Analysis dock, the zoom, the dialogs' folders, the still format)
// in QDX_Viewer.conf under XDG_CONFIG_HOME, a hostile file there, and Quick
// Still (Shift+F5) saving without a dialog.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>

#include "analysis/AnalysisDock.h"
#include "core/commands/Commands.h"
#include "core/commands/ControlIds.h"
#include "viewer/GuiFixture.h"

namespace qdx::viewer::test {
namespace {

constexpr int kZoomBoxId = 4101;

class RememberedTest : public ViewerWindowTest {
protected:
    QString confPath() const { return dir.filePath(QStringLiteral("qdx/QDX_Viewer.conf")); }

    // The Still Capture dialog answered with path, and its file written.
    void saveStill(const QString& path)
    {
        interaction.files.push_back(path);
        window->action(kCmdStillCapture)->trigger();
        ASSERT_TRUE(processUntil([&] { return window->statusBar()->currentMessage() == "Saved " + path; }));
    }

    // Closed as the operator closes it, then the program and window anew. A
    // new program starts at 100%, whatever the old one showed.
    void restart()
    {
        window->close();
        window.reset();
        program.shutDown();
        program.panels().chooseZoom(0);
        open({}, true);
    }
};

struct PlaceCase {
    const char* name;
    QRect place;
};

class RememberedPlaceTest : public RememberedTest, public testing::WithParamInterface<PlaceCase> {};

// Guards against a restart forgetting the place, dock, zoom and still folder.
// A place off the screen or larger than it comes back within the screen.
TEST_P(RememberedPlaceTest, ComesBackAsLeftAndOnTheScreen)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    open({}, true);
    QDir(dir.path()).mkdir(QStringLiteral("stills"));
    const QString stills = dir.filePath(QStringLiteral("stills"));
    ASSERT_NO_FATAL_FAILURE(saveStill(stills + "/first.png"));
    window->addDockWidget(Qt::LeftDockWidgetArea, window->analysisDock());
    window->action(kCmdAnalysis)->trigger();
    window->setGeometry(GetParam().place);
    choose(control<QComboBox>(kPicturePage, kZoomBoxId), 1);
    const QRect left = window->geometry();

    restart();
    EXPECT_TRUE(QFileInfo(confPath()).isFile());
    EXPECT_TRUE(processUntil([&] { return area.contains(window->frameGeometry()); }));
    if (area.contains(GetParam().place)) {
        EXPECT_EQ(window->geometry(), left);
    }
    EXPECT_TRUE(window->analysisDock()->isVisible());
    EXPECT_TRUE(window->action(kCmdAnalysis)->isChecked());
    EXPECT_EQ(window->dockWidgetArea(window->analysisDock()), Qt::LeftDockWidgetArea);
    EXPECT_EQ(control<QComboBox>(kPicturePage, kZoomBoxId)->currentText(), QStringLiteral("200%"));
    window->action(kCmdStillCapture)->trigger();  // cancelled
    ASSERT_EQ(interaction.dialogs.size(), 2u);
    EXPECT_EQ(interaction.dialogs[1].folder, stills);
    EXPECT_TRUE(interaction.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Places, RememberedPlaceTest,
                         testing::Values(PlaceCase{"OnTheScreen", QRect(40, 30, 600, 450)},
                                         PlaceCase{"OffAndLarger", QRect(-5000, 4000, 4000, 3000)}),
                         [](const auto& test) { return std::string(test.param.name); });

enum class Hostile { Fifo, Device, Huge, Garbage };

std::string hostileName(Hostile kind)
{
    constexpr const char* kNames[] = {"Fifo", "Device", "Huge", "Garbage"};
    return kNames[static_cast<int>(kind)];
}

class HostileConfTest : public RememberedTest, public testing::WithParamInterface<Hostile> {};

// Guards against a FIFO, device or huge conf file hanging the start or being replaced.
// Garbage just counts as nothing remembered.
TEST_P(HostileConfTest, IsIgnoredAndTheWindowOpens)
{
    QDir(dir.path()).mkdir(QStringLiteral("qdx"));
    const std::string conf = QFile::encodeName(confPath()).toStdString();
    switch (GetParam()) {
    case Hostile::Fifo:
        ASSERT_EQ(::mkfifo(conf.c_str(), 0600), 0);
        break;
    case Hostile::Device:
        ASSERT_EQ(::mknod(conf.c_str(), S_IFCHR | 0600, makedev(1, 5)), 0);  // as /dev/zero
        break;
    case Hostile::Huge:
        std::ofstream(conf) << "[view]\nzoom=200%\n" << std::string(300 * 1024, '#');
        break;
    case Hostile::Garbage:
        std::ofstream(conf) << "[window\ngeometry=@ByteArray(\\xff\\x00)\nstate=\x01\x02\n=\n[view]zoom=\xff\n";
        break;
    }
    struct stat before {};
    ASSERT_EQ(::lstat(conf.c_str(), &before), 0);
    open({}, true);
    EXPECT_EQ(control<QComboBox>(kPicturePage, kZoomBoxId)->currentText(), QStringLiteral("100%"));
    EXPECT_TRUE(window->analysisDock()->isHidden());
    window->close();
    struct stat after {};
    ASSERT_EQ(::lstat(conf.c_str(), &after), 0);
    if (GetParam() != Hostile::Garbage) {
        EXPECT_EQ(after.st_ino, before.st_ino);
        EXPECT_EQ(after.st_size, before.st_size);
    }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileConfTest,
                         testing::Values(Hostile::Fifo, Hostile::Device, Hostile::Huge, Hostile::Garbage),
                         [](const auto& test) { return hostileName(test.param); });

// Guards against a second Quick Still press replacing the first one waiting for its frame.
// Also: no dialog, unique names, the format last chosen, a folder since gone refused.
TEST_F(RememberedTest, QuickStillSavesOneFilePerPressWithoutADialog)
{
    open({}, true);
    QDir(dir.path()).mkdir(QStringLiteral("quick"));
    const QDir quick(dir.filePath(QStringLiteral("quick")));
    ASSERT_NO_FATAL_FAILURE(saveStill(quick.filePath(QStringLiteral("chosen.tif"))));
    window->activateWindow();
    ASSERT_TRUE(processUntil([&] { return QApplication::activeWindow() == window.get(); }));
    keyOn(window.get(), Qt::Key_F5, Qt::ShiftModifier);
    keyOn(window.get(), Qt::Key_F5, Qt::ShiftModifier);
    window->tabs()->setCurrentIndex(kCalibrationPage);
    control<QPushButton>(kCalibrationPage, kQuickStillButtonId)->click();

    static const QRegularExpression name(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_\\d{3}(_\\d+)?\\.tif$"));
    const auto quickStills = [&] { return quick.entryList({QStringLiteral("2*.tif")}, QDir::Files); };
    ASSERT_TRUE(processUntil([&] { return quickStills().size() == 3; }));
    const auto status = [&] { return window->statusBar()->currentMessage(); };
    ASSERT_TRUE(processUntil([&] { return status().startsWith("Saved " + quick.path()); }));
    for (const QString& file : quickStills()) {
        EXPECT_TRUE(name.match(file).hasMatch()) << file.toStdString();
        std::ifstream tif(QFile::encodeName(quick.filePath(file)).toStdString(), std::ios::binary);
        std::string magic(4, '\0');
        tif.read(magic.data(), 4);
        EXPECT_EQ(magic, std::string("II*\0", 4)) << file.toStdString();
    }
    EXPECT_EQ(interaction.dialogs.size(), 1u);
    EXPECT_TRUE(interaction.messages.empty());

    ASSERT_TRUE(QDir(quick.path()).removeRecursively());
    window->action(kCmdQuickStill)->trigger();
    EXPECT_TRUE(status().startsWith("Quick Still: cannot save into " + quick.path())) << status().toStdString();
    processFor(std::chrono::milliseconds(300));
    EXPECT_FALSE(quick.exists());
    EXPECT_EQ(interaction.dialogs.size(), 1u);
    EXPECT_TRUE(interaction.messages.empty());
}

}  // namespace
}  // namespace qdx::viewer::test
