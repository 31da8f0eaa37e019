// Scrolls the main window's content when the window is smaller than it: the
// wheel pages vertically, or sideways with exactly Shift or exactly Ctrl held;
// a resize starts again at the top-left corner.
#pragma once

#include <QScrollArea>

namespace qdx::viewer {

class ContentScrollArea final : public QScrollArea {
    Q_OBJECT

public:
    explicit ContentScrollArea(QWidget* parent);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace qdx::viewer
