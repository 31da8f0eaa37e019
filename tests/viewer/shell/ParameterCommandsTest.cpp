// The parameter commands of the main window's menu, driven as the operator
// drives them, on the simulated camera: the settings file and the parameter
// store in the camera's EEPROM, with every message word for word.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>

#include <fstream>
#include <optional>
#include <set>

#include "viewer/GuiFixture.h"

#include "api/SimCameraFixture.h"
#include "core/commands/Commands.h"
#include "core/model/PanelModel.h"
#include "pages/JobRunner.h"

// Texts in failure messages as text.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace qdx::viewer::test {
namespace {

using qdx::test::registerWrites;
using qdx::test::simRegister;

constexpr int kExposure = pictureIndex(SettingId::ExposureTime);
constexpr int kNotTheCamerasValue = 7;
constexpr MessageIcon kInfo = MessageIcon::Information;
constexpr MessageIcon kWarning = MessageIcon::Warning;

class ParameterCommandsTest : public ViewerWindowTest {
protected:
    void SetUp() override
    {
        ViewerWindowTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera("[QDX_Viewer]\nExpertMode=1\n"));
    }

    PanelModel& panels() { return program.panels(); }

    // Waits until the camera work of the commands chosen so far has ended.
    void settle() { ASSERT_TRUE(processUntil([&] { return !window->jobs().busy(); })); }

    // Chooses the menu item and expects exactly one message box: "Message", OK.
    void run(int command, const QString& text, MessageIcon icon)
    {
        interaction.messages.clear();
        window->action(command)->trigger();
        ASSERT_NO_FATAL_FAILURE(settle());
        ASSERT_EQ(interaction.messages.size(), 1u);
        EXPECT_EQ(interaction.messages[0].title, QStringLiteral("Message"));
        EXPECT_EQ(interaction.messages[0].text, text);
        EXPECT_EQ(interaction.messages[0].icon, icon);
        EXPECT_EQ(interaction.messages[0].buttons, MessageButtons::Ok);
    }

    // The pages show an exposure the camera does not have until they read it again.
    void markPanels() { panels().showCameraValue(SettingId::ExposureTime, kNotTheCamerasValue); }
    bool panelsReread() { return panels().pictureSlider(kExposure) == simRegister(QDX_REG_EXPOSURE_TIME); }
};

void unplug()
{
    QDXSim_SetPlugged(0, 0);
    ASSERT_TRUE(processUntil([] { return !cameraOpen(); }));
}

// Guards the EEPROM commands' texts and what follows them. A load returns the
// number of registers it failed to write, which the library's codes for "not
// found" and "read failed" overlap: those two used to read as "No Saved
// Parameter Found" and to apply the application defaults over a stored set.
// Now "not found" needs a stored header that really is invalid, and the pages
// are read again after any load that may have changed the camera.
TEST_F(ParameterCommandsTest, EepromCommandsSayWhatHappenedWordForWord)
{
    // The sensor head's memory is not read while the memory requests are made to fail.
    QDXSim_SetCisPresent(0);
    const struct {
        const char* name;
        std::function<void()> prepare;
        int command;
        const char* text;
        MessageIcon icon;
        std::optional<bool> reread;  // whether the pages read the camera again afterwards
    } cases[] = {
        {"save", [] {}, kCmdEepromSave, "Save Parameter : Complete.", kInfo, false},
        {"load", [] {}, kCmdEepromLoad, "Load Parameter : Complete.", kInfo, true},
        {"load blank", [] { const unsigned char blank[16] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
                            QDXSim_WriteMemory(QDX_MEMORY_FX2, 0x4000, sizeof blank, blank); },
         kCmdEepromLoad, "No Saved Parameter Found in EEPROM.", kInfo, false},
        {"load read fails", [] { QDX_Save_Param(0); QDXSim_FailRequestsAfter(QDX_REQUEST_MEMORY_READ, 1, 1); },
         kCmdEepromLoad, "Load Parameter : Error!", kWarning, true},
        {"load writes fail", [] { QDXSim_FailRequestsAfter(QDX_REQUEST_REGISTER_WRITE, 3, 2); }, kCmdEepromLoad,
         "Load Parameter : Error!", kWarning, true},
        {"save default", [] {}, kCmdSaveDefault, "Save Parameter as Default : Complete.", kInfo, false},
        {"load default", [] {}, kCmdLoadDefault, "Load Default Parameter : Complete.", kInfo, true},
        {"clear default", [] {}, kCmdClearDefault, "Clear Default Parameter : Complete.", kInfo, false},
        {"save default fails", [] { QDXSim_SetMemoryState(QDX_MEMORY_FX2, 2, -1); }, kCmdSaveDefault,
         "Save Parameter as Default : Error!", kWarning, false},
        {"clear fails", [] {}, kCmdClearDefault, "Clear Default Parameter : Error!", kWarning, false},
        {"save unplugged", [] { QDXSim_SetMemoryState(QDX_MEMORY_FX2, 0, 0); unplug(); },
         kCmdEepromSave, "Save Parameter : Error!", kWarning, std::nullopt},
        {"load unplugged", [] {}, kCmdEepromLoad, "Load Parameter : Error!", kWarning, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.prepare();
        markPanels();
        interaction.cursor.clear();
        ASSERT_NO_FATAL_FAILURE(run(c.command, QString::fromUtf8(c.text), c.icon));
        if (c.reread) {
            EXPECT_EQ(panelsReread(), *c.reread);
        }
        ASSERT_FALSE(interaction.cursor.empty());
        EXPECT_EQ(std::count(interaction.cursor.begin(), interaction.cursor.end(), true),
                  std::count(interaction.cursor.begin(), interaction.cursor.end(), false));
        EXPECT_FALSE(interaction.cursor.back()) << "the wait cursor is left on";
    }
}

// Guards "Load Default Parameter": a stored set that cannot be read is an
// error and nothing is sent (the application defaults used to replace it);
// without a stored set the two-line notice, the Picture defaults and after
// them the Calibration defaults go to the camera, and the pages show it.
TEST_F(ParameterCommandsTest, ApplicationDefaultsStandInOnlyForAMissingDefaultSet)
{
    panels().movePictureSlider(kExposure, 100);
    panels().moveCalibrationSlider(kThresholdSlider, 50);
    ASSERT_EQ(QDX_Save_Default_Param(0), QDX_OK);
    QDXSim_SetCisPresent(0);
    QDXSim_FailRequestsAfter(QDX_REQUEST_MEMORY_READ, 1, 1);
    const int before = registerWrites();
    ASSERT_NO_FATAL_FAILURE(run(kCmdLoadDefault, QStringLiteral("Load Default Parameter : Error!"), kWarning));
    EXPECT_EQ(registerWrites(), before);
    EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 100);

    ASSERT_EQ(QDX_Clear_Default_Param(0), QDX_OK);
    const int count = QDXSim_GetRequestCount(-1);
    ASSERT_NO_FATAL_FAILURE(run(
        kCmdLoadDefault, QStringLiteral("No Default Parameter Found in EEPROM.\nUse Application Default Setting."),
        kInfo));
    std::vector<int> written;
    for (const auto& packet : qdx::test::requestsSince(count))
        if (packet.bRequest == QDX_REQUEST_REGISTER_WRITE)
            written.push_back(packet.wIndex);
    // Every Picture setting, then black level, exposure, gain, target, gamma and defect-pixel correction.
    ASSERT_EQ(written.size(), static_cast<std::size_t>(kPictureSliders + kPictureCombos + 6));
    EXPECT_EQ(std::vector<int>(written.end() - 6, written.end()), (std::vector<int>{2, 3, 4, 5, 33, 37}));
    EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 400);
    EXPECT_EQ(panels().pictureSlider(kExposure), 400);
    EXPECT_EQ(panels().calibrationSlider(kThresholdSlider), 128);
}

// Guards the settings file commands: their dialogs, a save and a load that
// brings the pages back to the file's values, a refused file sending
// nothing, cancel doing nothing, and no dialog at all without a camera.
TEST_F(ParameterCommandsTest, SettingsFileCommandsSaveAndLoadThroughTheirDialogs)
{
    const QString path = dir.filePath(QStringLiteral("a.qdx"));
    interaction.files = {path};
    ASSERT_NO_FATAL_FAILURE(run(kCmdSaveParameterFile, QStringLiteral("Save Parameter : Complete."), kInfo));
    panels().movePictureSlider(kExposure, 100);
    markPanels();
    interaction.files = {path};
    ASSERT_NO_FATAL_FAILURE(run(kCmdLoadParameterFile, QStringLiteral("Load Parameter : Complete."), kInfo));
    EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 400);
    EXPECT_EQ(panels().pictureSlider(kExposure), 400);

    ASSERT_EQ(interaction.dialogs.size(), 2u);
    const auto described = [](const FileDialogRequest& r) {
        return QStringList{QString::number(r.save), r.title, r.filterText, r.pattern, r.defaultSuffix, r.folder};
    };
    EXPECT_EQ(described(interaction.dialogs[0]),
              (QStringList{"1", "Save File", "QDX Setting Data (*.qdx)", "*.qdx", "qdx", ""}));
    // The open dialog starts where the settings file was saved.
    EXPECT_EQ(described(interaction.dialogs[1]),
              (QStringList{"0", "Open File", "QDX Setting Data (*.qdx)", "*.qdx", "qdx", dir.path()}));
    EXPECT_TRUE(interaction.dialogs[1].proposedName.isEmpty());
    static const QRegularExpression stamped(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_\\d{3}\\.qdx$"));
    EXPECT_TRUE(stamped.match(interaction.dialogs[0].proposedName).hasMatch());

    std::ofstream(path.toStdString(), std::ios::trunc) << "#QDX_Setting_Data_(Do_not_edit_manually)\n1\n2\n";
    interaction.files = {path};
    const int before = registerWrites();
    ASSERT_NO_FATAL_FAILURE(run(kCmdLoadParameterFile, QStringLiteral("Load Parameter : Error!"), kWarning));
    EXPECT_EQ(registerWrites(), before);

    interaction.messages.clear();
    window->action(kCmdSaveParameterFile)->trigger();
    ASSERT_NO_FATAL_FAILURE(settle());
    EXPECT_TRUE(interaction.messages.empty()) << "a cancelled dialog says nothing";

    ASSERT_NO_FATAL_FAILURE(unplug());
    const std::size_t dialogs = interaction.dialogs.size();
    for (int command : {kCmdLoadParameterFile, kCmdSaveParameterFile})
        ASSERT_NO_FATAL_FAILURE(run(command, QStringLiteral("No Connected Camera!"), kWarning));
    EXPECT_EQ(interaction.dialogs.size(), dialogs);
}

// Guards the ways to a command besides its menu item: the pages' "Data
// Write" and "Data Read" buttons, and the keyboard shortcuts, of which no two
// menu items share one (Qt would then fire neither).
TEST_F(ParameterCommandsTest, PageButtonsAndShortcutsReachTheirCommands)
{
    for (int p : {kPicturePage, kCalibrationPage}) {
        interaction.messages.clear();
        control<QPushButton>(p, 3002)->click();
        EXPECT_FALSE(control<QPushButton>(p, 3003)->isEnabled()) << "greyed while the save runs";
        ASSERT_NO_FATAL_FAILURE(settle());
        control<QPushButton>(p, 3003)->click();
        ASSERT_NO_FATAL_FAILURE(settle());
        ASSERT_EQ(interaction.messages.size(), 2u) << p;
        EXPECT_EQ(interaction.messages[0].text, QStringLiteral("Save Parameter : Complete."));
        EXPECT_EQ(interaction.messages[1].text, QStringLiteral("Load Parameter : Complete."));
    }

    std::set<QString> seen;
    for (QAction* menu : window->menuBar()->actions())
        for (QAction* item : menu->menu()->actions())
            if (!item->shortcut().isEmpty()) {
                EXPECT_TRUE(seen.insert(item->shortcut().toString()).second)
                    << item->shortcut().toString().toStdString();
            }
    EXPECT_GE(seen.size(), 10u);

    window->activateWindow();
    ASSERT_TRUE(processUntil([&] { return window->isActiveWindow(); }));
    QWindowSystemInterface::handleKeyEvent(window->windowHandle(), QEvent::KeyPress, Qt::Key_L, Qt::ControlModifier);
    QWindowSystemInterface::handleKeyEvent(window->windowHandle(), QEvent::KeyRelease, Qt::Key_L, Qt::ControlModifier);
    ASSERT_TRUE(processUntil([&] { return !interaction.dialogs.empty(); }));
    EXPECT_EQ(interaction.dialogs[0].title, QStringLiteral("Open File"));
}

}  // namespace
}  // namespace qdx::viewer::test
