// The Calibration page's detection and table buttons in the window, with the
// simulated camera: what each button says, the dialogs and their remembered
// folders, a window that goes on working while a long command runs and
// closes whatever runs.
// The commands themselves are tested in core/TableCommandsTest.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTimer>

#include <sys/stat.h>

#include <fstream>

#include "viewer/GuiFixture.h"

#include "core/commands/ControlIds.h"
#include "core/device/CameraReads.h"
#include "core/model/PanelModel.h"
#include "pages/CalibrationPage.h"
#include "pages/CalibrationTools.h"
#include "pages/JobRunner.h"

namespace qdx::viewer::test {
namespace {

class CalibrationToolsTest : public ViewerWindowTest {
protected:
    void SetUp() override
    {
        ViewerWindowTest::SetUp();
        QDXSim_SetEepromWriteTime(0);
        ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
        // A sensor head with valid memory: its two "Save" buttons are offered.
        ASSERT_EQ(QDX_Init_CISFlash(0), QDX_OK);
        ASSERT_TRUE(processUntil([&] { return program.panels().cisMemoryValid(); }));
        window->tabs()->setCurrentIndex(kCalibrationPage);
    }

    CalibrationTools& tools() const { return qobject_cast<CalibrationPage*>(page(kCalibrationPage))->tools(); }

    // Clicks the button and waits for its command to end; the message shown.
    QString click(int id)
    {
        const std::size_t shown = interaction.messages.size();
        control<QPushButton>(1, id)->click();
        EXPECT_TRUE(processUntil([&] { return !tools().busy(); }, std::chrono::milliseconds(10000))) << id;
        return interaction.messages.size() > shown ? interaction.messages.back().text : QString();
    }

    QString text(int box) const { return control<QPlainTextEdit>(1, box)->toPlainText(); }
};

// Guards the wiring of every table button: its command runs on the camera
// of the moment and its message is the one the command gives, in an "info"
// box; the texts follow download and clear.
TEST_F(CalibrationToolsTest, EveryTableButtonShowsItsMessage)
{
    choose(control<QComboBox>(1, 4105), 1);  // FPN "ON (Mode2)" offers its "Save"
    const std::pair<int, const char*> buttons[] = {
        {3009, "Gamma save complete"},
        {3010, "Gamma clear complete"},
        {3014, "Defect Pixel Table upload complete"},
        {3015, "Defect Pixel Table download complete"},
        {3016, "Defect Pixel Table save complete"},
        {3017, "Defect Pixel Table clear complete"},
        {3019, "FPN Table upload complete"},
        {3020, "FPN Table download complete"},
        {3021, "FPN Table save complete"},
        {3022, "FPN Table clear complete"},
    };
    for (auto [id, message] : buttons) {
        EXPECT_EQ(click(id), QString::fromUtf8(message)) << id;
        EXPECT_EQ(interaction.messages.back().title, QStringLiteral("info"));
    }
    EXPECT_TRUE(text(2001).startsWith(QStringLiteral("Dark (0)")));
    EXPECT_TRUE(text(2002).startsWith(QStringLiteral("Avarage 0")));
    EXPECT_EQ(std::count(interaction.cursor.begin(), interaction.cursor.end(), true), 6) << "gamma and FPN only";
}

// Guards both detections from their buttons (the FPN one shown): a fresh
// frame's result in the table and its text, the buttons greyed and the
// progress line shown while the frame is awaited, the wait cursor around it.
TEST_F(CalibrationToolsTest, DetectionsFillTablesAndTexts)
{
    control<QSlider>(1, 5107)->setValue(0);
    choose(control<QComboBox>(1, 4104), 1);  // "Bright"
    control<QPushButton>(1, 3013)->click();
    EXPECT_TRUE(tools().busy());
    EXPECT_FALSE(control<QPushButton>(1, 3019)->isEnabled());
    EXPECT_TRUE(page(1)->findChild<QLabel*>(QStringLiteral("calibrationProgress"))->isVisible());
    ASSERT_TRUE(processUntil([&] { return !tools().busy(); }));
    EXPECT_TRUE(control<QPushButton>(1, 3019)->isEnabled());
    EXPECT_TRUE(text(2001).startsWith(QStringLiteral("Bright (64)\n--------------------\n2,2\n3,2\n")))
        << text(2001).left(60).toStdString();
    EXPECT_EQ(program.panels().dpTable().validCount(), 64);

    ASSERT_FALSE(control<QPushButton>(1, 3018)->isHidden());
    EXPECT_EQ(click(3018), QString());
    EXPECT_TRUE(text(2002).startsWith(QStringLiteral("Avarage ")));
    EXPECT_GT(program.panels().fpnTable().mean, 0);
    EXPECT_EQ(interaction.cursor, (std::vector<bool>{true, false, true, false}));
}

// Guards the gamma dialogs: cancel says so, no filter, no overwrite question,
// each dialog starting where the last one of its kind ended.
TEST_F(CalibrationToolsTest, GammaDialogsRememberTheirFolders)
{
    const QString file = dir.filePath(QStringLiteral("curve.txt"));
    EXPECT_EQ(click(3007), QStringLiteral("Gamma upload cancel"));
    EXPECT_EQ(click(3008), QStringLiteral("Gamma download cancel"));
    interaction.files = {file, file};
    EXPECT_EQ(click(3008), QStringLiteral("Gamma download complete"));
    EXPECT_EQ(click(3007), QStringLiteral("Gamma upload complete"));
    EXPECT_EQ(click(3008), QStringLiteral("Gamma download cancel"));
    EXPECT_EQ(click(3007), QStringLiteral("Gamma upload cancel"));
    ASSERT_EQ(interaction.dialogs.size(), 6u);
    const FileDialogRequest& download = interaction.dialogs[4];
    EXPECT_TRUE(download.save && !download.confirmOverwrite && download.filterText.isEmpty());
    EXPECT_EQ(download.folder, dir.path());
    EXPECT_EQ(download.proposedName, QStringLiteral("curve.txt"));
    EXPECT_EQ(interaction.dialogs[5].folder, dir.path());
    EXPECT_TRUE(interaction.dialogs[5].proposedName.isEmpty() && !interaction.dialogs[5].save);
}

// Guards the window during the longest command, FPN Save (1,288 EEPROM page
// writes): the event loop runs, the picture repaints, a second command is
// refused, and the sensor head gets the table with the camera's gain.
TEST_F(CalibrationToolsTest, FpnSaveKeepsTheWindowWorking)
{
    QDXSim_SetEepromWriteTime(1000);  // over a second in all
    choose(control<QComboBox>(1, 4105), 1);
    int ticks = 0, paints = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    struct PaintCounter : QObject {
        int* count;
        explicit PaintCounter(int* c) : count(c) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            *count += event->type() == QEvent::Paint;
            return false;
        }
    } counter(&paints);
    QWidget* picture = control(1, kPictureAreaId);
    picture->installEventFilter(&counter);

    control<QPushButton>(1, 3021)->click();
    const int writes = QDXSim_GetRequestCount(0x19);
    tools().run(3019);  // refused while the save runs
    ASSERT_TRUE(processUntil([&] { return !tools().busy(); }, std::chrono::milliseconds(20000)));
    picture->removeEventFilter(&counter);
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), writes) << "the upload was not refused";
    EXPECT_GT(ticks, 20);
    EXPECT_GT(paints, 5);
    ASSERT_EQ(interaction.messages.size(), 1u);
    EXPECT_EQ(interaction.messages[0].text, QStringLiteral("FPN Table save complete"));
    unsigned char gain[2] = {};
    QDXSim_ReadMemory(QDX_MEMORY_CIS, 0x28, 2, gain);
    int cameraGain = 0;
    QDXSim_GetRegister(QDX_REG_RAW_GAIN, &cameraGain);
    EXPECT_EQ(gain[0] << 8 | gain[1], cameraGain);
}

enum class LongJob { GammaFromFifo, FpnSave, DetectionWithoutFrames, CsvExport, ParameterSave };

std::string jobName(LongJob job)
{
    const char* names[] = {"GammaFromFifo", "FpnSave", "DetectionWithoutFrames", "CsvExport", "ParameterSave"};
    return names[static_cast<int>(job)];
}

class CalibrationExitTest : public CalibrationToolsTest, public ::testing::WithParamInterface<LongJob> {};

// Guards against a calibration job keeping Exit from closing the window: a
// gamma upload from a FIFO held its worker in open() for good, and the
// window's end waits for the worker. Guards against "Save Parameter" holding
// the window until the camera's EEPROM was written. Exit closes the window
// while any long job runs; the job then ends at once (a frame wait), runs to
// its end (an EEPROM save, whose table or parameter set must not be left
// half written) or leaves only whole files (the CSV export).
TEST_P(CalibrationExitTest, ExitClosesTheWindowWhateverRuns)
{
    const QString csv = dir.filePath(QStringLiteral("scan.csv"));
    switch (GetParam()) {
    case LongJob::GammaFromFifo: {
        const QString fifo = dir.filePath(QStringLiteral("gamma.txt"));
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        interaction.files = {fifo};
        control<QPushButton>(1, 3007)->click();
        break;
    }
    case LongJob::FpnSave:
        QDXSim_SetEepromWriteTime(1000);  // over a second for the 1,288 pages
        choose(control<QComboBox>(1, 4105), 1);
        ASSERT_EQ(QDX_Set_RawGain(40), QDX_OK);
        control<QPushButton>(1, 3021)->click();
        break;
    case LongJob::DetectionWithoutFrames:
        QDXSim_SetStalled(1);
        control<QPushButton>(1, 3013)->click();
        break;
    case LongJob::CsvExport:
        control<QLineEdit>(1, 7020)->setText(QStringLiteral("20"));
        interaction.files = {csv};
        window->command(kCmdSaveCsv);
        ASSERT_TRUE(processUntil([&] { return QFile::exists(dir.filePath(QStringLiteral("scan_001.csv"))); }));
        break;
    case LongJob::ParameterSave:
        QDXSim_SetEepromWriteTime(100000);
        ASSERT_EQ(QDX_Set_ExposureTime(123), QDX_OK);
        window->command(kCmdEepromSave);
        ASSERT_TRUE(window->jobs().busy()) << "the command waited for the camera";
        break;
    }
    const int pagesBefore = QDXSim_GetRequestCount(0x17);
    window->command(kCmdExit);
    ASSERT_TRUE(processUntil([&] { return !window->isVisible(); }, std::chrono::milliseconds(30000)));
    if (GetParam() == LongJob::FpnSave) {
        EXPECT_LT(QDXSim_GetRequestCount(0x17) - pagesBefore, 1288) << "the window waited for the save";
    }
    window.reset();  // the pages wait for their job here

    if (GetParam() == LongJob::FpnSave) {
        unsigned char gain[2] = {};
        QDXSim_ReadMemory(QDX_MEMORY_CIS, 0x28, 2, gain);
        EXPECT_EQ(gain[0] << 8 | gain[1], 40) << "the save was cut short";
    }
    if (GetParam() == LongJob::ParameterSave) {
        ASSERT_EQ(QDX_Set_ExposureTime(7), QDX_OK);
        EXPECT_EQ(QDX_Load_Param(0), QDX_OK) << "the save was cut short";
        int exposure = 0;
        EXPECT_EQ(QDX_Get_ExposureTime(&exposure), QDX_OK);
        EXPECT_EQ(exposure, 123);
    }
    if (GetParam() == LongJob::CsvExport) {
        program.shutDown();  // the file writer finishes what it was handed, as at the program's end
        const QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
        for (const QString& name : names) {
            if (name == QStringLiteral("QDX_Viewer.ini"))
                continue;
            ASSERT_TRUE(name.startsWith(QStringLiteral("scan_"))) << name.toStdString();
            QFile file(dir.filePath(name));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(file.readAll().count("\r\n"), 400) << name.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Jobs, CalibrationExitTest,
                         ::testing::Values(LongJob::GammaFromFifo, LongJob::FpnSave, LongJob::DetectionWithoutFrames,
                                           LongJob::CsvExport, LongJob::ParameterSave),
                         [](const auto& p) { return jobName(p.param); });

}  // namespace
}  // namespace qdx::viewer::test
