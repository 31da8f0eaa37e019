// "Debug" (40003): the one Debug dialog, modeless beside the main window.
#include "MainWindow.h"
#include "debug/DebugDialog.h"
#include "program/ViewerProgram.h"

namespace qdx::viewer {

void MainWindow::openDebugDialog()
{
    // A dialog closed a moment ago is hidden until its deletion comes round.
    if (debugDialog_ && debugDialog_->isVisible()) {
        debugDialog_->raise();
        debugDialog_->activateWindow();
        return;
    }
    auto* dialog = new DebugDialog(program_.state(), this);
    debugDialog_ = dialog;
    dialog->show();
}

}  // namespace qdx::viewer
