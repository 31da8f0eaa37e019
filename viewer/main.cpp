// QDX_Viewer: the desktop viewer of the QDX camera.
#include <QApplication>
#include <QDir>

#include <cstdio>
#include <cstring>
#include <string>

#include "core/files/StateFolder.h"
#include "core/files/ViewerConfig.h"
#include "pages/Interaction.h"
#include "program/ViewerProgram.h"
#include "shell/MainWindow.h"
#include "shell/ProgramIcon.h"
#include "shell/QuitSignals.h"

namespace {

constexpr const char* kHelp =
    "Usage: QDX_Viewer [OPTION]...\n"
    "The desktop viewer of the QDX camera: the live picture, its settings, calibration,\n"
    "stills, recordings and analysis.\n"
    "\n"
    "  -h, --help      show this help and exit\n"
    "  -V, --version   show the version and exit\n"
    "  --state-folder  work in the XDG state folder ($XDG_STATE_HOME/qdx, by default\n"
    "                  ~/.local/state/qdx), made if needed: the desktop entry's choice\n"
    "\n"
    "Qt's own options (-platform, -style, ...) are taken as any Qt program takes them.\n"
    "\n"
    "Environment:\n"
    "  QDX_CAMERA=sim  the simulated camera built into the library instead of one on USB\n"
    "\n"
    "The settings of the window are kept in QDX_Viewer.ini in the folder it starts in\n"
    "(or the state folder). Its place, size, docked windows, zoom, the folders last used\n"
    "for each kind of file and the still format are remembered in\n"
    "$XDG_CONFIG_HOME/qdx/QDX_Viewer.conf (by default ~/.config/qdx/QDX_Viewer.conf).\n";

// --help and --version answered before Qt starts, so that they need no display.
// -1 when neither is asked for.
int answerEarly(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            break;
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
            return std::fputs(kHelp, stdout) < 0 || std::fflush(stdout) != 0 ? 1 : 0;
        if (std::strcmp(argv[i], "--version") == 0 || std::strcmp(argv[i], "-V") == 0)
            return std::printf("%s\n", qdx::viewer::versionLine("QDX_Viewer").c_str()) < 0 || std::fflush(stdout) != 0
                       ? 1
                       : 0;
    }
    return -1;
}

// --state-folder taken out of the arguments (before "--"); whether it was there.
bool takeStateFolderOption(int& argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            return false;
        if (std::strcmp(argv[i], "--state-folder") == 0) {
            for (int j = i; j < argc; ++j)
                argv[j] = argv[j + 1];  // argv[argc] is the null that ends the list
            --argc;
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    using namespace qdx::viewer;
    if (const int status = answerEarly(argc, argv); status >= 0)
        return status;
    // Without the folder the viewer still works, where it was started.
    if (std::string why; takeStateFolderOption(argc, argv) && !enterStateFolder(why))
        std::fprintf(stderr, "QDX_Viewer: cannot work in the state folder: %s\n", why.c_str());
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
