// "QDX_Viewer.ini": read at every start and written back.
#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include "shell/ConfigFile.h"

namespace qdx::viewer::test {
namespace {

class ConfigFileTest : public ::testing::Test {
protected:
    QString write(const QByteArray& contents)
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        return path;
    }

    QString read()
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("QDX_Viewer.ini"));
};

// Guards values other than 0 and 1: any non-zero mode counts as on, and the
// value is written back unchanged rather than normalised.
TEST_F(ConfigFileTest, NonZeroValuesAreKeptAsWritten)
{
    write("[QDX_Viewer]\nWindowMode=2\nExpertMode=-1\n");
    const ViewerConfig config = loadAndWriteBackConfig(path);
    EXPECT_TRUE(config.wide());
    EXPECT_TRUE(config.expert());
    QSettings settings(path, QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("QDX_Viewer/WindowMode")).toString(), QStringLiteral("2"));
    EXPECT_EQ(settings.value(QStringLiteral("QDX_Viewer/ExpertMode")).toString(), QStringLiteral("-1"));
}

// Guards a hand-edited file: a value that is not a number reads and is
// written back as 0, and the rest of the file survives the write-back.
TEST_F(ConfigFileTest, BadValueReadsZeroAndOtherEntriesSurvive)
{
    write("[Other]\nKeep=yes\n\n[QDX_Viewer]\nWindowMode=wide\nExpertMode=1\nNote=mine\n");
    const ViewerConfig config = loadAndWriteBackConfig(path);
    EXPECT_EQ(config.windowMode, 0);
    EXPECT_EQ(config.expertMode, 1);
    QSettings settings(path, QSettings::IniFormat);
    EXPECT_EQ(settings.value(QStringLiteral("QDX_Viewer/WindowMode")).toString(), QStringLiteral("0"));
    EXPECT_EQ(settings.value(QStringLiteral("Other/Keep")).toString(), QStringLiteral("yes"));
    EXPECT_EQ(settings.value(QStringLiteral("QDX_Viewer/Note")).toString(), QStringLiteral("mine"));
}

}  // namespace
}  // namespace qdx::viewer::test
