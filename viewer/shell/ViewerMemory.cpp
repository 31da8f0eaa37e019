#include "ViewerMemory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cstdio>
#include <string>

#include "core/files/RegularFile.h"

namespace qdx::viewer {
namespace {

constexpr const char* kKinds[] = {"still", "recording", "csv", "settings", "gamma"};
constexpr int kMaxPath = 4096;

QString folderKey(const QString& kind)
{
    return QStringLiteral("folders/") + kind;
}

bool knownKind(const QString& kind)
{
    for (const char* known : kKinds)
        if (kind == QLatin1String(known))
            return true;
    return false;
}

QString suffixOf(const QString& path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("png"))
        return suffix;
    if (suffix == QLatin1String("tif") || suffix == QLatin1String("tiff"))
        return QStringLiteral("tif");
    return QStringLiteral("bmp");
}

}  // namespace

QString ViewerMemory::filePath()
{
    // QStandardPaths follows XDG_CONFIG_HOME (an absolute one), else ~/.config.
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/qdx/QDX_Viewer.conf");
}

ViewerMemory::ViewerMemory() : path_(filePath())
{
    // A dangling link or nothing at all: nothing remembered yet.
    if (!QFileInfo::exists(path_))
        return;
    // Checked before QSettings opens it: QSettings would wait for a FIFO's
    // writer and read a device without end.
    std::string contents, why;
    if (!readRegularFile(QFile::encodeName(path_).toStdString(), kMaxBytes, contents, why)) {
        refused_ = QString::fromStdString(why);
        std::fprintf(stderr, "QDX_Viewer: %s: not used and not replaced\n", why.c_str());
        return;
    }
    const QSettings file(path_, QSettings::IniFormat);
    geometry = file.value(QStringLiteral("window/geometry")).toByteArray();
    windowState = file.value(QStringLiteral("window/state")).toByteArray();
    zoom = file.value(QStringLiteral("view/zoom")).toString().left(32);
    for (const char* kind : kKinds)
        setFolder(QString::fromLatin1(kind), file.value(folderKey(QString::fromLatin1(kind))).toString());
    setStillSuffix(QStringLiteral(".") + file.value(QStringLiteral("still/format")).toString().left(8));
}

QString ViewerMemory::folder(const QString& kind) const
{
    const auto found = folders_.find(kind);
    return found == folders_.end() ? QString() : found->second;
}

QString ViewerMemory::stillFolder() const
{
    if (QString last = folder(QStringLiteral("still")); !last.isEmpty())
        return last;
    if (QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        !pictures.isEmpty() && QFileInfo(pictures).isDir())
        return pictures;
    return QDir::currentPath();
}

void ViewerMemory::setFolder(const QString& kind, const QString& folder)
{
    if (knownKind(kind) && !folder.isEmpty() && folder.size() <= kMaxPath && QDir::isAbsolutePath(folder))
        folders_[kind] = QDir::cleanPath(folder);
}

void ViewerMemory::setStillSuffix(const QString& path)
{
    stillSuffix_ = suffixOf(path);
}

bool ViewerMemory::save(QString& why) const
{
    if (!refused_.isEmpty()) {
        why = refused_;
        return false;
    }
    if (!QDir().mkpath(QFileInfo(path_).absolutePath())) {
        why = QFileInfo(path_).absolutePath() + QStringLiteral(": cannot be made");
        return false;
    }
    QSettings file(path_, QSettings::IniFormat);
    file.clear();
    file.setValue(QStringLiteral("window/geometry"), geometry);
    file.setValue(QStringLiteral("window/state"), windowState);
    file.setValue(QStringLiteral("view/zoom"), zoom);
    for (const auto& [kind, folder] : folders_)
        file.setValue(folderKey(kind), folder);
    file.setValue(QStringLiteral("still/format"), stillSuffix_);
    file.sync();
    if (file.status() != QSettings::NoError) {
        why = path_ + QStringLiteral(": cannot be written");
        return false;
    }
    return true;
}

QString RememberingInteraction::fileName(QWidget* owner, const FileDialogRequest& request)
{
    if (request.kind.isEmpty())
        return inner_.fileName(owner, request);
    FileDialogRequest asked = request;
    // The current folder, however the request says it. A folder since gone
    // leaves the dialog where it would start anyway.
    if (asked.folder.isEmpty() || asked.folder == QLatin1String(".")) {
        const bool still = request.kind == QLatin1String("still");
        const QString last = still ? memory_.stillFolder() : memory_.folder(request.kind);
        if (!last.isEmpty() && QFileInfo(last).isDir())
            asked.folder = last;
    }
    const QString chosen = inner_.fileName(owner, asked);
    if (!chosen.isEmpty()) {
        memory_.setFolder(request.kind, QFileInfo(chosen).absolutePath());
        if (request.kind == QLatin1String("still"))
            memory_.setStillSuffix(chosen);
    }
    return chosen;
}

}  // namespace qdx::viewer
