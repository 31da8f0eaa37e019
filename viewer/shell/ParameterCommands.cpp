// The main window's parameter commands: the settings file (load, save) and
// the parameter store in the camera's EEPROM (load, save, defaults). They
// talk to the camera on the window's job thread, one after another, so the
// window keeps working. After anything that may have changed the camera's
// settings both pages read them all again, so that they show what the
// camera now has.
#include <QFile>

#include <cstdio>

#include "MainWindow.h"
#include "core/device/CameraReads.h"
#include "core/device/EepromActions.h"
#include "core/files/SettingsFile.h"
#include "core/files/TimestampName.h"
#include "core/model/PanelModel.h"
#include "core/model/PanelUpdate.h"
#include "pages/Interaction.h"
#include "pages/JobRunner.h"
#include "program/ViewerProgram.h"

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
    request.kind = QStringLiteral("settings");
    if (save)
        request.proposedName = QString::fromStdString(makeTimestampName() + ".qdx");
    return request;
}

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
    // The camera's work on the window's job thread, the wait cursor meanwhile:
    // the window goes on working. done(result) then runs here, the cursor off.
    const auto onCamera = [this](auto work, auto done) {
        interaction_.setWaitCursor(true);
        jobs_->run(std::move(work), [this, done = std::move(done)](auto result) {
            interaction_.setWaitCursor(false);
            done(std::move(result));
            showCommandState();
        });
        showCommandState();  // the other camera commands wait meanwhile
    };

    const auto fileCommand = [this, tell, onCamera](bool save) {
        const QString path = interaction_.fileName(this, settingsFileDialog(save));
        if (path.isEmpty())
            return;
        struct Done {
            SettingsFileOutcome outcome;
            PanelUpdate settings;  // read again when the camera changed
        };
        onCamera(
            [save, file = QFile::encodeName(path).toStdString()](std::stop_token) {
                Done done;
                done.outcome = save ? saveSettingsFile(file) : loadSettingsFile(file);
                // A valid file has been sent even when the camera refused a part of it.
                if (done.outcome.cameraChanged)
                    readAll(done.settings);
                return done;
            },
            [this, tell, save](const Done& done) {
                if (done.outcome.cameraChanged)
                    program_.panels().apply(done.settings);
                explain(done.outcome.why);
                const std::string title = save ? "Save Parameter" : "Load Parameter";
                tell(title + (done.outcome.result == 0 ? " : Complete." : " : Error!"), done.outcome.result == 0);
            });
    };
    commands_.add(kCmdLoadParameterFile, [fileCommand] { fileCommand(false); }, true);
    commands_.add(kCmdSaveParameterFile, [fileCommand] { fileCommand(true); }, true);

    // The pages show the camera's settings again, read on the job thread.
    const auto readAllSettings = [this, onCamera] {
        onCamera(
            [](std::stop_token) {
                PanelUpdate update;
                readAll(update);
                return update;
            },
            [this](const PanelUpdate& update) { program_.panels().apply(update); });
    };
    for (const EepromAction& action : eepromActions()) {
        commands_.add(action.command, [this, &action, tell, onCamera, readAllSettings] {
            onCamera([&action](std::stop_token) { return runEepromAction(action); },
                     [this, &action, tell, readAllSettings](const EepromResult& result) {
                         tell(result.text, result.outcome != EepromResult::Error);
                         // The defaults follow a load of the default set, or stand in for a missing one.
                         const bool defaults =
                             action.command == kCmdLoadDefault && result.outcome != EepromResult::Error;
                         if (!defaults && !result.cameraChanged)
                             return;
                         if (defaults && result.outcome == EepromResult::NotFound)
                             program_.panels().applyPictureDefaults();
                         if (defaults)
                             program_.panels().applyCalibrationDefaults(result.outcome == EepromResult::NotFound);
                         readAllSettings();
                     });
        });
    }
}

}  // namespace qdx::viewer
