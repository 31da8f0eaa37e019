// QDX_Viewer: the desktop viewer of the QDX camera.
#include <QApplication>
#include <QDir>

#include "core/files/ViewerConfig.h"
#include "pages/Interaction.h"
#include "program/ViewerProgram.h"
#include "shell/MainWindow.h"
#include "shell/ProgramIcon.h"
#include "shell/QuitSignals.h"

int main(int argc, char** argv)
{
    using namespace qdx::viewer;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QDX_Viewer"));
    const ProgramVersion v = programVersion();
    QApplication::setApplicationVersion(QStringLiteral("%1.%2.%3.%4").arg(v.major).arg(v.minor).arg(v.build).arg(v.revision));
    QApplication::setWindowIcon(programIcon());

    ViewerProgram program;
    int status = 0;
    {
        // Caught from before the library starts; the defaults again before it stops.
        QuitSignals quitSignals;
        program.startUp();
        WidgetInteraction interaction;
        MainWindow window(program, interaction, QDir::current().filePath(QString::fromLatin1(kConfigFileName)));
        quitSignals.closes(&window);
        window.show();
        QApplication::exec();
        // Ended by a signal: the status a shell expects of one.
        if (quitSignals.caught() != 0)
            status = 128 + quitSignals.caught();
    }
    program.shutDown();
    return status;
}
