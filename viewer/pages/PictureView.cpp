#include "PictureView.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

#include "core/commands/Commands.h"
#include "core/commands/ControlIds.h"
#include "live/DisplayImage.h"

namespace qdx::viewer {

PictureView::PictureView(DisplayImage& image, QWidget* parent) : QWidget(parent), image_(image)
{
    setProperty("controlId", kPictureAreaId);
    setFixedSize(kDisplaySide, kDisplaySide);
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted
}

void PictureView::setProbing(bool probing)
{
    probing_ = probing;
    dragging_ = false;
    setMouseTracking(probing);
    if (probing)
        setCursor(Qt::CrossCursor);
    else
        unsetCursor();
    if (!probing)
        setOverlay({}, {});
}

void PictureView::setOverlay(const QRect& region, const QLine& line)
{
    if (region == region_ && line == line_)
        return;
    region_ = region;
    line_ = line;
    update();
}

void PictureView::showNewPicture()
{
    if (blackAround_)
        update(0, 0, kCameraSide, kCameraSide);
    else
        update();
}

void PictureView::paintEvent(QPaintEvent* event)
{
    // The front buffer is this thread's own until the next front() call, so
    // the picture drawn is always one whole picture. RGB32 is the raster
    // engine's own format: drawn without a per-pixel conversion.
    const QImage picture(image_.front(), kDisplaySide, kDisplaySide, static_cast<qsizetype>(kDisplayStride),
                         QImage::Format_RGB32);
    const bool pictureIsSmall = image_.frontPictureSide() == kCameraSide;
    QPainter painter(this);
    painter.drawImage(event->rect(), picture, event->rect());
    if (QRegion(rect()).subtracted(event->region()).isEmpty())
        blackAround_ = pictureIsSmall;
    else if (!pictureIsSmall && blackAround_) {
        blackAround_ = false;  // a bigger picture came with a 100% repaint: show the rest too
        update();
    }
    if (region_.isEmpty() && line_.isNull())
        return;
    // Drawn on every repaint, so a picture never hides them; two colours so
    // they show on any picture.
    const auto outline = [&painter](const auto& draw) {
        painter.setPen(QPen(Qt::black, 3));
        draw();
        painter.setPen(QPen(Qt::yellow, 1));
        draw();
    };
    if (!region_.isEmpty())
        outline([&] { painter.drawRect(region_.adjusted(0, 0, -1, -1)); });
    if (!line_.isNull())
        outline([&] { painter.drawLine(line_); });
}

void PictureView::mousePressEvent(QMouseEvent* event)
{
    if (!probing_ || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    dragFrom_ = event->position().toPoint();
}

void PictureView::mouseMoveEvent(QMouseEvent* event)
{
    if (!probing_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    if (rect().contains(at))
        emit probed(at);
    else
        emit probeLeft();
    if (dragging_)
        emit dragged(dragFrom_, at, false);
}

void PictureView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!probing_ || !dragging_ || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    emit dragged(dragFrom_, event->position().toPoint(), true);
}

void PictureView::leaveEvent(QEvent* event)
{
    if (probing_)
        emit probeLeft();
    QWidget::leaveEvent(event);
}

}  // namespace qdx::viewer
