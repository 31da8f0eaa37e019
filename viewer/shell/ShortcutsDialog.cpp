// "Keyboard Shortcuts" (40021): the shortcut table as a list, modeless beside
// the main window, made from the table itself so it cannot go stale.
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeySequence>
#include <QTableWidget>
#include <QVBoxLayout>

#include "MainWindow.h"

namespace qdx::viewer {

void MainWindow::showKeyboardShortcuts()
{
    if (shortcutsDialog_ && shortcutsDialog_->isVisible()) {
        shortcutsDialog_->raise();
        shortcutsDialog_->activateWindow();
        return;
    }
    auto* dialog = new QDialog(this);
    dialog->setObjectName(QStringLiteral("keyboardShortcuts"));
    dialog->setWindowTitle(QStringLiteral("Keyboard Shortcuts"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);

    const std::vector<ShortcutListEntry> entries = shortcutList();
    auto* table = new QTableWidget(static_cast<int>(entries.size()), 2, dialog);
    table->setHorizontalHeaderLabels({QStringLiteral("Keys"), QStringLiteral("Command")});
    table->setAccessibleName(QStringLiteral("Keyboard shortcuts"));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->verticalHeader()->hide();
    for (int row = 0; row < static_cast<int>(entries.size()); ++row) {
        const ShortcutListEntry& entry = entries[static_cast<std::size_t>(row)];
        const QKeySequence keys(QString::fromLatin1(entry.keys), QKeySequence::PortableText);
        QString text = QString::fromStdString(entry.text);
        if (entry.expertOnly)
            text += QStringLiteral(" (expert mode)");
        table->setItem(row, 0, new QTableWidgetItem(keys.toString(QKeySequence::NativeText)));
        table->setItem(row, 1, new QTableWidgetItem(text));
    }
    table->resizeColumnsToContents();
    table->horizontalHeader()->setStretchLastSection(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, dialog);
    connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::close);
    auto* column = new QVBoxLayout(dialog);
    column->addWidget(table);
    column->addWidget(buttons);
    // Every row in view without scrolling.
    table->setMinimumHeight(table->horizontalHeader()->height() + table->rowHeight(0) * (table->rowCount() + 1));
    table->setMinimumWidth(table->horizontalHeader()->length() + 4 * table->frameWidth() + 40);
    shortcutsDialog_ = dialog;
    dialog->show();
}

}  // namespace qdx::viewer
