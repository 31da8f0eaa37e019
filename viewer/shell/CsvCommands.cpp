// "Save as CSV" (40010, also the Calibration page's button): asks for the
// name and starts the export that the display thread then writes.
#include <QFile>

#include <filesystem>

#include "MainWindow.h"
#include "capture/CsvExport.h"
#include "core/files/TimestampName.h"
#include "pages/Interaction.h"
#include "program/ViewerProgram.h"

namespace qdx::viewer {

void MainWindow::saveCsv()
{
    ViewerState& state = program_.state();
    // Luma values exist only in the calibration view; while an export runs
    // its path stays as it is. The item is greyed in both cases.
    if (state.calibrationView.load(std::memory_order_acquire) == 0 || state.csvExport.active())
        return;
    FileDialogRequest request;
    request.save = true;
    request.title = QStringLiteral("Save File");
    request.filterText = QStringLiteral("CSV File (*.csv)");
    request.pattern = QStringLiteral("*.csv");
    request.defaultSuffix = QStringLiteral("csv");
    request.proposedName = QString::fromStdString(makeTimestampName()) + QStringLiteral(".csv");
    request.kind = QStringLiteral("csv");
    // The chosen name itself is never written; the numbered files are asked
    // about below instead.
    request.confirmOverwrite = false;
    const QString chosen = interaction_.fileName(this, request);
    if (chosen.isEmpty())
        return;
    const std::string path = QFile::encodeName(chosen).toStdString();
    const int frames = state.csvFrameCount.load(std::memory_order_acquire);
    for (int number = 1; number <= frames; ++number) {
        std::error_code error;
        if (!std::filesystem::exists(csvFileName(path, number), error))
            continue;
        const auto answer = interaction_.message(
            this, QStringLiteral("Message"),
            QStringLiteral("Files of this name already exist (%1). Overwrite them?")
                .arg(QFile::decodeName(csvFileName(path, number).c_str())),
            MessageIcon::Warning, MessageButtons::OkCancel);
        if (answer != MessageAnswer::Ok)
            return;
        break;
    }
    program_.panels().startCsvExport(path, frames);  // the model's observers grey the controls
}

void MainWindow::csvExportEnded(const QString& failure)
{
    program_.panels().csvExportEnded();  // and the controls with it
    if (!failure.isEmpty())
        interaction_.message(this, QStringLiteral("Message"), QStringLiteral("Save as CSV : Error!\n") + failure,
                             MessageIcon::Warning, MessageButtons::Ok);
}

}  // namespace qdx::viewer
