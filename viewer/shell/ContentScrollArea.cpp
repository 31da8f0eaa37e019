#include "ContentScrollArea.h"

#include <QScrollBar>
#include <QWheelEvent>

namespace qdx::viewer {

ContentScrollArea::ContentScrollArea(QWidget* parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
}

void ContentScrollArea::setCover(QWidget* cover)
{
    delete cover_;
    cover_ = cover;
    if (!cover)
        return;
    cover->setParent(this);
    cover->setGeometry(rect());
    cover->raise();
    cover->show();
}

void ContentScrollArea::wheelEvent(QWheelEvent* event)
{
    event->accept();
    const QPoint angle = event->angleDelta();
    if (angle.isNull() && event->phase() != Qt::NoScrollPhase)
        return;  // begin/end marks of a touchpad gesture, not a wheel step
    const auto keys = event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const bool sideways = keys == Qt::ShiftModifier || keys == Qt::ControlModifier;
    if (!widget())
        return;
    const int client = sideways ? viewport()->width() : viewport()->height();
    const int content = sideways ? widget()->width() : widget()->height();
    if (client >= content)
        return;
    // One page per wheel step, whatever its size.
    const int delta = angle.y() != 0 ? angle.y() : angle.x();
    QScrollBar* bar = sideways ? horizontalScrollBar() : verticalScrollBar();
    bar->triggerAction(delta > 0 ? QAbstractSlider::SliderPageStepSub : QAbstractSlider::SliderPageStepAdd);
}

void ContentScrollArea::resizeEvent(QResizeEvent* event)
{
    QScrollArea::resizeEvent(event);
    if (cover_)
        cover_->setGeometry(rect());
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
}

}  // namespace qdx::viewer
