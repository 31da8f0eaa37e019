#include "PictureView.h"

#include <QImage>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QSizePolicy>

#include <cmath>

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

void PictureView::setFit(bool fit)
{
    if (fit == fit_)
        return;
    fit_ = fit;
    blackAround_ = false;
    if (fit) {
        // Small enough for any window mode on a small screen.
        setMinimumSize(kCameraSide / 2, kCameraSide / 2);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    } else {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        setFixedSize(kDisplaySide, kDisplaySide);
    }
    update();
}

PictureFit PictureView::placement() const
{
    // Fitted, the display thread draws the 100% picture.
    return pictureFit(width(), height(), fit_ ? kCameraSide : kDisplaySide, fit_);
}

QPoint PictureView::areaPixel(QPointF pos) const
{
    const QPoint at = pos.toPoint();
    const AreaPoint area = areaPixelAt(placement(), at.x(), at.y());
    return {area.x, area.y};
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
    emit newPicture();
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
    const int pictureSide = image_.frontPictureSide();
    const PictureFit place = placement();
    QPainter painter(this);
    if (fit_) {
        // A picture of the zoom before still fills the square until the 100% one comes.
        const QRect square(place.left, place.top, place.side, place.side);
        for (const QRect& beside : QRegion(rect()).subtracted(square))
            painter.fillRect(beside, Qt::black);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRectF(square), picture, QRectF(0, 0, pictureSide, pictureSide));
    } else {
        painter.drawImage(event->rect(), picture, event->rect());
        const bool pictureIsSmall = pictureSide == kCameraSide;
        if (QRegion(rect()).subtracted(event->region()).isEmpty())
            blackAround_ = pictureIsSmall;
        else if (!pictureIsSmall && blackAround_) {
            blackAround_ = false;  // a bigger picture came with a 100% repaint: show the rest too
            update();
        }
    }
    paintOverlays(painter, place);
}

void PictureView::paintOverlays(QPainter& painter, const PictureFit& place)
{
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
    if (!fit_) {
        if (!region_.isEmpty())
            outline([&] { painter.drawRect(region_.adjusted(0, 0, -1, -1)); });
        if (!line_.isNull())
            outline([&] { painter.drawLine(line_); });
        return;
    }
    // Scaled, an area pixel is a square: the region's outline runs along the
    // edges of its pixels, the line between their centres. The pens keep
    // their width in view pixels.
    painter.setRenderHint(QPainter::Antialiasing);
    const auto toView = [&place](QPointF p) {
        return QPointF(place.left + p.x() * place.scale, place.top + p.y() * place.scale);
    };
    const QRectF region(toView(region_.topLeft()), toView(QPointF(region_.x() + region_.width(),
                                                                    region_.y() + region_.height())));
    const QPointF centre(0.5, 0.5);
    const QLineF line(toView(QPointF(line_.p1()) + centre), toView(QPointF(line_.p2()) + centre));
    if (!region_.isEmpty())
        outline([&] { painter.drawRect(region); });
    if (!line_.isNull())
        outline([&] { painter.drawLine(line); });
}

void PictureView::mousePressEvent(QMouseEvent* event)
{
    if (!probing_ || event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    dragging_ = true;
    dragFrom_ = areaPixel(event->position());
}

void PictureView::mouseMoveEvent(QMouseEvent* event)
{
    if (!probing_) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    if (rect().contains(event->position().toPoint()))
        emit probed(areaPixel(event->position()));
    else
        emit probeLeft();
    if (dragging_)
        emit dragged(dragFrom_, areaPixel(event->position()), false);
}

void PictureView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!probing_ || !dragging_ || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    emit dragged(dragFrom_, areaPixel(event->position()), true);
}

void PictureView::leaveEvent(QEvent* event)
{
    if (probing_)
        emit probeLeft();
    QWidget::leaveEvent(event);
}

}  // namespace qdx::viewer
