#include "PictureView.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>

#include "live/DisplayImage.h"
#include "core/Commands.h"

namespace qdx::viewer {

PictureView::PictureView(DisplayImage& image, QWidget* parent) : QWidget(parent), image_(image)
{
    setProperty("controlId", kPictureAreaId);
    setFixedSize(kDisplaySide, kDisplaySide);
    setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted
}

void PictureView::paintEvent(QPaintEvent* event)
{
    // The front buffer is this thread's own until the next front() call, so
    // the picture drawn is always one whole picture.
    const QImage picture(image_.front(), kDisplaySide, kDisplaySide, static_cast<qsizetype>(kDisplayStride),
                         QImage::Format_BGR888);
    QPainter painter(this);
    painter.drawImage(event->rect(), picture, event->rect());
}

}  // namespace qdx::viewer
