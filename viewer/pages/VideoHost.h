// The Picture page's video host (control 7001): an 808 x 808 area in the
// place of the live picture, hidden except during playback. Inside it the
// video window shows the picture of the file being played at the place and
// size playback gives it; what falls outside the host is clipped.
#pragma once

#include <QImage>
#include <QWidget>

namespace qdx::viewer {

class VideoHost final : public QWidget {
    Q_OBJECT

public:
    explicit VideoHost(QWidget* parent);

    // The picture shown, stretched over the video window.
    void setPicture(const QImage& picture);
    const QImage& picture() const { return picture_; }
    // In the host's coordinates.
    void placeVideo(const QRect& where);
    QRect videoRect() const;
    // Forgets the picture, so that the next playback starts black.
    void clear();

private:
    class VideoWindow;
    VideoWindow* window_;
    QImage picture_;
};

}  // namespace qdx::viewer
