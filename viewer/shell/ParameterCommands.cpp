// The main window's parameter commands: the settings file (load, save) and
// the parameter store in the camera's EEPROM (load, save, defaults). After
// anything that may have changed the camera's settings both pages read them
// all again, so that they show what the camera now has.
#include <QFile>

#include <cstdio>

#include "MainWindow.h"
#include "ViewerProgram.h"
#include "core/EepromActions.h"
#include "core/PanelModel.h"
#include "core/PanelUpdate.h"
#include "core/SettingsFile.h"
#include "core/TimestampName.h"
#include "pages/Interaction.h"

namespace qdx::viewer {
namespace {

FileDialogRequest settingsFileDialog(bool save)
{
    FileDialogRequest request;
    request.save = save;
    request.title = save ? QStringLiteral("Save File") : QStringLiteral("Open File");
    request.filterText = QStringLiteral("QDX Setting Data (*.qdx)");
    request.pattern = QStringLiteral("*.qdx");
    request.defaultSuffix = QStringLiteral("qdx");
    if (save)
        request.proposedName = QString::fromStdString(makeTimestampName() + ".qdx");
    return request;
}

// The wait cursor while the camera is busy; off before anything is shown.
class BusyCursor {
public:
    explicit BusyCursor(Interaction& interaction) : interaction_(interaction) { interaction_.setWaitCursor(true); }
    ~BusyCursor() { interaction_.setWaitCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Interaction& interaction_;
};

// The reason behind an "Error!" for whoever started the viewer from a shell.
void explain(const std::string& why)
{
    if (!why.empty())
        std::fprintf(stderr, "QDX_Viewer: %s\n", why.c_str());
}

}  // namespace

void MainWindow::registerParameterCommands()
{
    const auto tell = [this](const std::string& text, bool ok) {
        interaction_.message(this, QStringLiteral("Message"), QString::fromStdString(text),
                             ok ? MessageIcon::Information : MessageIcon::Warning, MessageButtons::Ok);
    };
    const auto readAllSettings = [this] {
        PanelUpdate update;
        readAll(update);
        program_.panels().apply(update);
    };

    const auto fileCommand = [this, tell, readAllSettings](bool save) {
        const QString path = interaction_.fileName(this, settingsFileDialog(save));
        if (path.isEmpty())
            return;
        SettingsFileOutcome outcome;
        {
            BusyCursor busy(interaction_);
            const std::string file = QFile::encodeName(path).toStdString();
            outcome = save ? saveSettingsFile(file) : loadSettingsFile(file);
            // A valid file has been sent even when the camera refused a part of it.
            if (outcome.cameraChanged)
                readAllSettings();
        }
        explain(outcome.why);
        const std::string title = save ? "Save Parameter" : "Load Parameter";
        tell(title + (outcome.result == 0 ? " : Complete." : " : Error!"), outcome.result == 0);
    };
    commands_.add(kCmdLoadParameterFile, [fileCommand] { fileCommand(false); }, true);
    commands_.add(kCmdSaveParameterFile, [fileCommand] { fileCommand(true); }, true);

    for (const EepromAction& action : eepromActions()) {
        commands_.add(action.command, [this, &action, tell, readAllSettings] {
            EepromResult result;
            {
                BusyCursor busy(interaction_);
                result = runEepromAction(action);
            }
            tell(result.text, result.outcome != EepromResult::Error);
            // The defaults follow a load of the default set, or stand in for a missing one.
            const bool defaults = action.command == kCmdLoadDefault && result.outcome != EepromResult::Error;
            if (!defaults && !result.cameraChanged)
                return;
            BusyCursor busy(interaction_);
            if (defaults && result.outcome == EepromResult::NotFound)
                program_.panels().applyPictureDefaults();
            if (defaults)
                program_.panels().applyCalibrationDefaults(result.outcome == EepromResult::NotFound);
            readAllSettings();
        });
    }
}

}  // namespace qdx::viewer
