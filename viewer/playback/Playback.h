// Playing a recorded file back in the Picture page: an AVI through Qt
// Multimedia, a BMP still straight from QImage, shown in the page's video
// host in place of the live picture, at its native size centred in the
// picture area and doubled at 200%. Owns the playback state (0 idle,
// 1 playing, 2 paused), the commands "Open File and Play", "Pause / Play" and
// "Play Stop", the count of seconds once a second and what the media engine
// reports; the window shows the menus and the state text that follow from
// them (changed()). GUI thread only.
#pragma once

#include <QObject>
#include <QSize>

#include <cstdint>
#include <functional>
#include <optional>

#include "PlaybackRules.h"
#include "core/commands/CommandState.h"
#include "pages/Interaction.h"

class QImage;
class QMediaPlayer;
class QTimer;
class QVideoFrame;

namespace qdx::viewer {

class PageContext;
class PicturePage;

class Playback final : public QObject {
    Q_OBJECT

public:
    // context and page must outlive the playback. Starts idle: the menu
    // items and page buttons of playback set, the once-a-second timer running.
    Playback(PageContext& context, PicturePage& page, QObject* parent = nullptr);
    ~Playback() override;

    // "Open File and Play": the open dialog, then start(). Cancel: nothing.
    void openAndPlay();
    // Stops what plays, then plays path. A file that cannot be played is
    // reported to the operator and playback is idle again.
    void start(const QString& path);
    // Playing <-> paused; nothing while idle.
    void togglePause();
    // Back to the live picture; nothing while idle.
    void stop();
    // Places the video for its native size and the display zoom.
    void reposition();

    int state() const;
    // Position and length as the count last read them; none since the last
    // start, pause or resume until the next count.
    const std::optional<PlaybackCount>& count() const { return count_; }
    MediaKind kind() const { return kind_; }
    // Different frames of the current (or last) video put on screen.
    int framesShown() const { return framesShown_; }

    // How a video frame becomes the picture shown: QVideoFrame::toImage()
    // unless another is set (tests set a slow one).
    using FrameConversion = std::function<QImage(const QVideoFrame&)>;
    void setFrameConversion(FrameConversion conversion);

signals:
    // The state or the count changed.
    void changed();

private:
    void setState(int state);
    void tick();
    void showFrame(const QVideoFrame& frame);
    void mediaStatusChanged(int status);
    void mediaError(int error, const QString& text);
    void noPicture();
    // Reports how playback ended and goes back to the live picture.
    void endWith(const QString& text, MessageIcon icon);
    // Lets the engine go; it reports nothing more.
    void releasePlayer();

    PageContext& context_;
    PicturePage& page_;
    QTimer* timer_;                     // child: the state text once a second, while not idle
    QTimer* firstPicture_;              // child: how long a video may take to show anything
    QMediaPlayer* player_ = nullptr;    // child, while a video plays
    MediaKind kind_ = MediaKind::None;
    std::optional<PlaybackCount> count_;
    QSize nativeSize_;                  // invalid until the first picture
    bool opened_ = false;               // the engine has opened the current file
    int framesShown_ = 0;
    int64_t lastFrameTime_ = -1;
    int videos_ = 0;                    // videos started: tells the current one's frames
    FrameConversion conversion_;        // empty: QVideoFrame::toImage()
    int observer_;                      // ours in the pages' model: zoom changes
};

}  // namespace qdx::viewer
