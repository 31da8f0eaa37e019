// Every modal exchange with the operator goes through this one interface:
// message boxes, OK/Cancel questions, file dialogs and the wait cursor. The
// program uses WidgetInteraction; tests script the answers and record what
// was shown, word for word. GUI thread only.
#pragma once

#include <QString>

class QWidget;

namespace qdx::viewer {

enum class MessageIcon { Information, Warning, Error };
enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };

struct FileDialogRequest {
    bool save = false;     // save dialog, else open dialog
    QString title;         // "Save File", "Open File"
    QString filterText;    // "BMP File (*.bmp)"; several joined by ";;"; empty: every file, no filter
    QString pattern;       // "*.bmp"; empty with several filters
    QString defaultSuffix; // "bmp"
    QString proposedName;  // may be empty
    QString folder;        // where the dialog starts; empty: the current folder
    bool confirmOverwrite = true;  // save: ask before replacing a file
    // The kind of file ("still", "recording", "csv", "settings", "gamma"):
    // the window starts the dialog in the folder last used for it, also in
    // an earlier run, when folder names none. Empty: not remembered.
    QString kind;
};

class Interaction {
public:
    virtual ~Interaction() = default;

    virtual MessageAnswer message(QWidget* owner, const QString& title, const QString& text, MessageIcon icon,
                                  MessageButtons buttons) = 0;
    // The chosen path, or empty when the operator cancelled.
    virtual QString fileName(QWidget* owner, const FileDialogRequest& request) = 0;
    virtual void setWaitCursor(bool on) = 0;
};

class WidgetInteraction final : public Interaction {
public:
    MessageAnswer message(QWidget* owner, const QString& title, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override;
    QString fileName(QWidget* owner, const FileDialogRequest& request) override;
    void setWaitCursor(bool on) override;
};

}  // namespace qdx::viewer
