#include "Interaction.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace qdx::viewer {

MessageAnswer WidgetInteraction::message(QWidget* owner, const QString& title, const QString& text, MessageIcon icon,
                                         MessageButtons buttons)
{
    const QMessageBox::Icon shown = icon == MessageIcon::Error     ? QMessageBox::Critical
                                    : icon == MessageIcon::Warning ? QMessageBox::Warning
                                                                   : QMessageBox::Information;
    QMessageBox box(shown, title, text,
                    buttons == MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                    owner);
    return box.exec() == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

QString WidgetInteraction::fileName(QWidget* owner, const FileDialogRequest& request)
{
    // The dialog matches the patterns in the filter's last parentheses. When
    // the text shows them otherwise ("Media File (*.avi, *.bmp)"), the
    // request's own patterns are added and only the text is shown.
    QString filter = request.filterText;
    const bool ownPatterns = !request.pattern.isEmpty() && !filter.isEmpty() &&
                             !filter.endsWith(QLatin1Char('(') + request.pattern + QLatin1Char(')'));
    if (ownPatterns)
        filter += QStringLiteral(" (%1)").arg(request.pattern);
    QFileDialog dialog(owner, request.title, request.folder.isEmpty() ? QDir::currentPath() : request.folder, filter);
    dialog.setOption(QFileDialog::HideNameFilterDetails, ownPatterns);
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    // With several filters, a name typed without a suffix takes the chosen filter's.
    if (filter.contains(QStringLiteral(";;")))
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& chosen) {
            static const QRegularExpression suffix(QStringLiteral("\\(\\*\\.(\\w+)"));
            if (const QRegularExpressionMatch m = suffix.match(chosen); m.hasMatch())
                dialog.setDefaultSuffix(m.captured(1));
        });
    if (!request.proposedName.isEmpty())
        dialog.selectFile(request.proposedName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

void WidgetInteraction::setWaitCursor(bool on)
{
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

}  // namespace qdx::viewer
