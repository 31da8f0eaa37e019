// The 808 x 808 picture area of a page (control 1002): shows the newest
// published display image; fitted, the area takes the room it is given and
// the 100% picture is scaled smoothly into it, centred. While probing (the Analysis window is open) it
// reports the mouse over the area and drags on it, and draws the region of
// interest and the profile line over the picture.
#pragma once

#include <QLine>
#include <QRect>
#include <QWidget>

#include "core/model/PictureFit.h"

namespace qdx::viewer {

class DisplayImage;

class PictureView final : public QWidget {
    Q_OBJECT

public:
    // image must outlive the view.
    PictureView(DisplayImage& image, QWidget* parent);

    void setProbing(bool probing);
    // Fitted: the area grows and shrinks with the room the layout gives it.
    void setFit(bool fit);
    bool fit() const { return fit_; }
    // Where the picture sits now; area pixels are the display image's.
    PictureFit placement() const;
    // In area pixels; an empty rectangle or a null line draws none.
    void setOverlay(const QRect& region, const QLine& line);
    // A new picture is published: repaints what it may change.
    void showNewPicture();

signals:
    // showNewPicture ran: a second view of the same image follows this one.
    void newPicture();
    // The mouse is at pos (area pixels, through placement()) / has left the area.
    void probed(QPoint pos);
    void probeLeft();
    // A drag with the left button from from to to (both area pixels, to may
    // lie outside the area); finished on release.
    void dragged(QPoint from, QPoint to, bool finished);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPoint areaPixel(QPointF pos) const;
    void paintOverlays(QPainter& painter, const PictureFit& place);

    DisplayImage& image_;
    bool fit_ = false;
    bool probing_ = false;
    bool dragging_ = false;
    QPoint dragFrom_;
    QRect region_;
    QLine line_;
    // The view shows black around the 100% picture's square, so that a new
    // 100% picture repaints only that square (a quarter of the copying).
    bool blackAround_ = false;
};

}  // namespace qdx::viewer
