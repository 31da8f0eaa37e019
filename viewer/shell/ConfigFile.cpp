#include "ConfigFile.h"

#include <QSettings>

namespace qdx::viewer {
namespace {

int readInt(const QSettings& settings, const char* key)
{
    return parseProfileInt(settings.value(key).toString().toStdString());
}

}  // namespace

ViewerConfig loadAndWriteBackConfig(const QString& path)
{
    QSettings settings(path, QSettings::IniFormat);
    settings.beginGroup(kConfigSection);
    ViewerConfig config;
    config.windowMode = readInt(settings, kWindowModeKey);
    config.expertMode = readInt(settings, kExpertModeKey);
    settings.setValue(kWindowModeKey, QString::number(config.windowMode));
    settings.setValue(kExpertModeKey, QString::number(config.expertMode));
    settings.endGroup();
    settings.sync();
    return config;
}

}  // namespace qdx::viewer
