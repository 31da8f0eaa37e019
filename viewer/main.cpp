// QDX_Viewer: the desktop viewer of the QDX camera.
#include <QApplication>
#include <QDir>

#include "pages/Interaction.h"
#include "shell/MainWindow.h"
#include "shell/ProgramIcon.h"
#include "core/ViewerConfig.h"
#include "shell/ViewerProgram.h"

int main(int argc, char** argv)
{
    using namespace qdx::viewer;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QDX_Viewer"));
    const ProgramVersion v = programVersion();
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3.%4").arg(v.major).arg(v.minor).arg(v.build).arg(v.revision));
    QApplication::setWindowIcon(programIcon());

    ViewerProgram program;
    program.startUp();
    {
        WidgetInteraction interaction;
        MainWindow window(program, interaction, QDir::current().filePath(QString::fromLatin1(kConfigFileName)));
        window.show();
        QApplication::exec();
    }
    program.shutDown();
    return 0;
}
