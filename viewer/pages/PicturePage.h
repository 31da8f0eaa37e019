// The "Picture" page: the live picture in colour and, in later additions, the
// operator's controls. It starts the display thread when it is built.
#pragma once

#include "Page.h"

namespace qdx::viewer {

class PicturePage final : public Page {
    Q_OBJECT

public:
    PicturePage(ViewerProgram& program, bool wide, QWidget* parent);
    ~PicturePage() override;

    void activated() override;
};

}  // namespace qdx::viewer
