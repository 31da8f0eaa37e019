#include "VideoHost.h"

#include <QPaintEvent>
#include <QPainter>

#include "live/FrameLayout.h"

namespace qdx::viewer {

class VideoHost::VideoWindow final : public QWidget {
public:
    explicit VideoWindow(VideoHost* host) : QWidget(host), host_(host)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);  // every pixel is painted
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (host_->picture_.isNull())
            painter.fillRect(rect(), Qt::black);
        else
            painter.drawImage(rect(), host_->picture_);
    }

private:
    VideoHost* host_;
};

VideoHost::VideoHost(QWidget* parent) : QWidget(parent), window_(new VideoWindow(this))
{
    setProperty("controlId", 7001);
    setFixedSize(kDisplaySide, kDisplaySide);
    // Black around a video smaller than the picture area.
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    setPalette(black);
    setAutoFillBackground(true);
    hide();
}

void VideoHost::setPicture(const QImage& picture)
{
    picture_ = picture;
    window_->update();
}

void VideoHost::placeVideo(const QRect& where)
{
    if (window_->geometry() != where)
        window_->setGeometry(where);  // repaints what it uncovers and the window
}

QRect VideoHost::videoRect() const
{
    return window_->geometry();
}

void VideoHost::clear()
{
    picture_ = QImage();
    window_->update();
}

}  // namespace qdx::viewer
