#include "PicturePage.h"

#include "shell/ViewerProgram.h"

namespace qdx::viewer {

PicturePage::PicturePage(ViewerProgram& program, bool wide, QWidget* parent)
    : Page(program, kPicturePage, wide, parent)
{
    state().displayTarget.store(kPicturePage, std::memory_order_release);
    program.startDisplay();
    state().picturePageReady.store(1, std::memory_order_release);
}

PicturePage::~PicturePage()
{
    state().displayTarget.store(kNoTarget, std::memory_order_release);
    program().stopDisplay();
}

void PicturePage::activated()
{
    state().displayTarget.store(kPicturePage, std::memory_order_release);
    state().calibrationView.store(0, std::memory_order_release);
}

}  // namespace qdx::viewer
