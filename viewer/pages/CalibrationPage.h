// The "Calibration" page: the live picture as grey levels and, in later
// additions, the calibration tools.
#pragma once

#include "Page.h"

namespace qdx::viewer {

class CalibrationPage final : public Page {
    Q_OBJECT

public:
    CalibrationPage(ViewerProgram& program, bool wide, QWidget* parent);
    ~CalibrationPage() override;

    void activated() override;
};

}  // namespace qdx::viewer
