#include "CalibrationPage.h"

#include "shell/ViewerProgram.h"

namespace qdx::viewer {

CalibrationPage::CalibrationPage(ViewerProgram& program, bool wide, QWidget* parent)
    : Page(program, kCalibrationPage, wide, parent)
{
    state().calibrationPageReady.store(1, std::memory_order_release);
}

CalibrationPage::~CalibrationPage()
{
    state().displayTarget.store(kNoTarget, std::memory_order_release);
    program().stopDisplay();
}

void CalibrationPage::activated()
{
    state().calibrationView.store(1, std::memory_order_release);
    state().displayTarget.store(kCalibrationPage, std::memory_order_release);
}

}  // namespace qdx::viewer
