// Scrolls the main window's content when the window is smaller than it: the
// wheel pages vertically, or sideways with exactly Shift or exactly Ctrl held;
// a resize starts again at the top-left corner. A cover (full screen) lies
// over the whole area, content and scroll bars, at any size.
#pragma once

#include <QPointer>
#include <QScrollArea>

namespace qdx::viewer {

class ContentScrollArea final : public QScrollArea {
    Q_OBJECT

public:
    explicit ContentScrollArea(QWidget* parent);

    // Takes cover over and owns it; null deletes the one there.
    void setCover(QWidget* cover);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<QWidget> cover_;
};

}  // namespace qdx::viewer
