// "Save as CSV" from the window: the dialog it asks, the controls an export
// takes, the files the display thread writes, and the question before files
// of the same name are replaced.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>

#include "viewer/GuiFixture.h"

#include "core/commands/Commands.h"
#include "core/device/CameraReads.h"

namespace qdx::viewer::test {
namespace {

class SaveCsvTest : public ViewerWindowTest {
protected:
    void openCalibration()
    {
        ASSERT_NO_FATAL_FAILURE(open({}, true));
        window->tabs()->setCurrentIndex(kCalibrationPage);
    }
    bool csvControlsEnabled() const
    {
        return control(1, 7018)->isEnabled() && control(1, 7019)->isEnabled() && control(1, 7020)->isEnabled() &&
               window->action(kCmdSaveCsv)->isEnabled();
    }
    QString file(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
};

// Guards the command end to end: the save dialog's words, the controls taken
// while the export runs and given back at its end, and exactly the frame
// count's files, each 400 lines ended by CR LF.
TEST_F(SaveCsvTest, ButtonExportsTheFrameCountAndGivesTheControlsBack)
{
    ASSERT_NO_FATAL_FAILURE(openCalibration());
    control<QLineEdit>(1, 7020)->setText(QStringLiteral("2"));
    interaction.files.push_back(file("scan.csv"));
    qobject_cast<QPushButton*>(control(1, 7018))->click();

    ASSERT_EQ(interaction.dialogs.size(), 1u);
    const FileDialogRequest& asked = interaction.dialogs[0];
    expectFileDialog(asked, true, "Save File", "CSV File (*.csv)", "*.csv", "csv");
    EXPECT_TRUE(asked.proposedName.endsWith(QStringLiteral(".csv")) && asked.proposedName.size() == 27)
        << asked.proposedName.toStdString();
    EXPECT_TRUE(program.state().csvExport.active());
    EXPECT_FALSE(control(1, 7018)->isEnabled() || control(1, 7019)->isEnabled() || control(1, 7020)->isEnabled() ||
                 window->action(kCmdSaveCsv)->isEnabled());

    ASSERT_TRUE(processUntil([&] { return csvControlsEnabled(); }, std::chrono::milliseconds(10000)));
    EXPECT_TRUE(interaction.messages.empty());
    for (const char* name : {"scan_001.csv", "scan_002.csv"}) {
        QFile csv(file(name));
        ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << name;
        const QByteArray text = csv.readAll();
        EXPECT_EQ(text.count("\r\n"), 400) << name;
        EXPECT_EQ(text.count('\n'), 400) << name;
    }
    EXPECT_FALSE(QFile::exists(file("scan_003.csv")));
    EXPECT_FALSE(QFile::exists(file("scan.csv")));
}

// Guards files of an earlier export: they are replaced only after the
// operator agreed, and an export into a folder that cannot take the files
// ends with a warning instead of quietly.
TEST_F(SaveCsvTest, AsksBeforeReplacingAndWarnsWhenNothingCanBeWritten)
{
    ASSERT_NO_FATAL_FAILURE(openCalibration());
    QFile old(file("scan_001.csv"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("old");
    old.close();
    interaction.files.push_back(file("scan.csv"));
    interaction.answers.push_back(MessageAnswer::Cancel);
    window->command(kCmdSaveCsv);
    ASSERT_EQ(interaction.messages.size(), 1u);
    EXPECT_EQ(interaction.messages[0].buttons, MessageButtons::OkCancel);
    EXPECT_FALSE(program.state().csvExport.active());
    EXPECT_TRUE(csvControlsEnabled());

    interaction.files.push_back(file("missing-folder/scan.csv"));
    window->command(kCmdSaveCsv);
    ASSERT_TRUE(processUntil([&] { return interaction.messages.size() == 2; }, std::chrono::milliseconds(10000)));
    EXPECT_TRUE(interaction.messages[1].text.startsWith(QStringLiteral("Save as CSV : Error!")))
        << interaction.messages[1].text.toStdString();
    EXPECT_EQ(interaction.messages[1].icon, MessageIcon::Warning);
    EXPECT_TRUE(csvControlsEnabled());
    QFile kept(file("scan_001.csv"));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("old"));
}

// Guards an export that waited in silence for a camera gone (and went on with
// the next camera's frames): it ends at the unplug, saying which files of the
// set it wrote, and exactly those are there.
TEST_F(SaveCsvTest, UnplugEndsTheExportNamingTheFilesWritten)
{
    ASSERT_NO_FATAL_FAILURE(openCalibration());
    QDXSim_SetFrameInterval(100000);  // 20 files take two seconds: time to unplug
    control<QLineEdit>(1, 7020)->setText(QStringLiteral("20"));
    interaction.files.push_back(file("scan.csv"));
    window->command(kCmdSaveCsv);
    ASSERT_TRUE(processUntil([&] { return QFile::exists(file("scan_002.csv")); }, std::chrono::milliseconds(10000)));
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(processUntil([&] { return !interaction.messages.empty(); }, std::chrono::milliseconds(10000)));

    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^Save as CSV : Error!\\nThe camera was disconnected after (\\d+) of 20 "
                                          "files \\(.*scan_001\\.csv to .*scan_0(\\d\\d)\\.csv\\); the set is "
                                          "incomplete\\.$"))
            .match(interaction.messages[0].text);
    ASSERT_TRUE(m.hasMatch()) << interaction.messages[0].text.toStdString();
    EXPECT_EQ(m.captured(1), QString::number(m.captured(2).toInt()));
    const int written = m.captured(1).toInt();
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("scan_*.csv")}).size(), written);
    EXPECT_TRUE(csvControlsEnabled());
    // Frames of the camera back make no more files.
    unsigned long long before = 0, now = 0;
    QDXSim_GetBulkStats(&before, nullptr, nullptr);
    QDXSim_SetPlugged(0, 1);
    ASSERT_TRUE(processUntil([&] { return QDXSim_GetBulkStats(&now, nullptr, nullptr) == 0 && now >= before + 5; },
                             std::chrono::milliseconds(10000)));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("scan_*.csv")}).size(), written);
}

}  // namespace
}  // namespace qdx::viewer::test
