// What the viewer remembers across starts, apart from QDX_Viewer.ini (whose
// place and content stay as designed): the window's place and size, the
// docked windows, the zoom, the folder last used for each kind of file and
// the still format last chosen. Kept in "$XDG_CONFIG_HOME/qdx/QDX_Viewer.conf"
// through QSettings (INI). A file that is not regular, or too large, is never
// read (QSettings would block on a FIFO or fill memory from a device) nor
// replaced. GUI thread.
#pragma once

#include <QByteArray>
#include <QString>

#include <map>
#include <vector>

#include "pages/Interaction.h"

namespace qdx::viewer {

class ViewerMemory {
public:
    static constexpr qint64 kMaxBytes = 256 * 1024;

    // Reads the file, if any; what it holds that makes no sense is ignored.
    ViewerMemory();

    static QString filePath();

    // Empty when nothing (usable) is remembered.
    QByteArray geometry;
    QByteArray windowState;
    QString zoom;  // the zoom box's entry, by its text ("200%")

    // The folder last used for kind, as it was; empty when none.
    QString folder(const QString& kind) const;
    // Where stills go without a dialog: the last still folder, else the
    // user's XDG Pictures folder when there is one, else the working folder.
    QString stillFolder() const;
    void setFolder(const QString& kind, const QString& folder);
    // The still format last chosen: "bmp", "png" or "tif".
    QString stillSuffix() const { return stillSuffix_; }
    // From a chosen still's name: .png and .tif/.tiff are kept, any other is a BMP.
    void setStillSuffix(const QString& path);

    // Writes everything back; false (why set) when the file was refused at
    // the start or cannot be written.
    bool save(QString& why) const;

private:
    QString path_;
    QString refused_;  // why the file was left alone, if it was
    std::map<QString, QString> folders_;
    QString stillSuffix_ = QStringLiteral("bmp");
};

// The operator's dialogs with their first folder taken from the memory, and
// the folder of each chosen file remembered for its kind.
class RememberingInteraction final : public Interaction {
public:
    RememberingInteraction(Interaction& inner, ViewerMemory& memory) : inner_(inner), memory_(memory) {}

    MessageAnswer message(QWidget* owner, const QString& title, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override
    {
        return inner_.message(owner, title, text, icon, buttons);
    }
    QString fileName(QWidget* owner, const FileDialogRequest& request) override;
    void setWaitCursor(bool on) override { inner_.setWaitCursor(on); }

private:
    Interaction& inner_;
    ViewerMemory& memory_;
};

// The main window's share of it: the memory, the dialogs that use it and
// the names Quick Still handed out lately (two presses in one millisecond
// still get two files).
struct Remembered {
    explicit Remembered(Interaction& inner) : interaction(inner, memory) {}
    ViewerMemory memory;
    RememberingInteraction interaction;
    std::vector<QString> quickStills;
};

}  // namespace qdx::viewer
