#include "Playback.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMediaPlayer>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

#include <cstdio>

#include "core/model/PanelModel.h"
#include "core/model/ViewerState.h"
#include "pages/PageContext.h"
#include "pages/PicturePage.h"
#include "pages/VideoHost.h"

namespace qdx::viewer {
namespace {

constexpr int kIdle = 0, kPlaying = 1, kPaused = 2;
constexpr auto kTick = std::chrono::seconds(1);
// A file whose index points nowhere opens without an error but never shows
// a picture nor ends; a readable one shows its first picture well within this.
constexpr auto kFirstPictureWait = std::chrono::seconds(5);

const QString kMessageTitle = QStringLiteral("Message");
const QString kFileOpenError = QStringLiteral("MediaPlay : File Open Error");

}  // namespace

Playback::Playback(PageContext& context, PicturePage& page, QObject* parent)
    : QObject(parent),
      context_(context),
      page_(page),
      timer_(new QTimer(this)),
      firstPicture_(new QTimer(this))
{
    timer_->setInterval(kTick);
    connect(timer_, &QTimer::timeout, this, &Playback::tick);
    setState(kIdle);
    page_.showPlayback(false);
    firstPicture_->setSingleShot(true);
    firstPicture_->setInterval(kFirstPictureWait);
    connect(firstPicture_, &QTimer::timeout, this, &Playback::noPicture);
    observer_ = context_.panels().addObserver([this] { reposition(); });
}

Playback::~Playback()
{
    context_.panels().removeObserver(observer_);
    stop();
}

int Playback::state() const
{
    return context_.state().playbackState.load(std::memory_order_acquire);
}

void Playback::setState(int state)
{
    // "PLAY" or "PAUSE" at once, the count from its next tick on.
    count_.reset();
    context_.state().playbackState.store(state, std::memory_order_release);
    // Ticks only while there is a count to show: an idle viewer is not woken.
    if (state == kIdle)
        timer_->stop();
    else if (!timer_->isActive())
        timer_->start();
    emit changed();
}

void Playback::openAndPlay()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Open File");
    request.filterText = QStringLiteral("Media File (*.avi, *.bmp)");
    request.pattern = QStringLiteral("*.avi *.bmp");
    request.defaultSuffix = QStringLiteral("avi");
    request.kind = QStringLiteral("recording");  // where the recordings went
    const QString path = context_.interaction().fileName(&page_, request);
    if (!path.isEmpty())
        start(path);
}

void Playback::start(const QString& path)
{
    stop();
    setState(kPlaying);
    kind_ = mediaKindOf(QFile::encodeName(path).toStdString());
    nativeSize_ = QSize();
    opened_ = false;
    framesShown_ = 0;
    lastFrameTime_ = -1;
    VideoHost* host = page_.videoHost();
    host->clear();

    const QFileInfo file(path);
    if (!file.isFile() || !file.isReadable()) {
        endWith(kFileOpenError, MessageIcon::Error);
        return;
    }
    if (kind_ == MediaKind::Still) {
        const QImage picture(path);
        if (picture.isNull()) {
            endWith(kFileOpenError, MessageIcon::Error);
            return;
        }
        opened_ = true;
        nativeSize_ = picture.size();
        host->setPicture(picture);
    } else {
        player_ = new QMediaPlayer(this);
        if (!player_->isAvailable()) {
            endWith(QStringLiteral("MediaPlay : CoInitialize Error"), MessageIcon::Error);
            return;
        }
        connect(player_, &QMediaPlayer::mediaStatusChanged, this,
                [this](QMediaPlayer::MediaStatus status) { mediaStatusChanged(status); });
        connect(player_, &QMediaPlayer::errorOccurred, this,
                [this](QMediaPlayer::Error error, const QString& text) { mediaError(error, text); });
        // Each video has a sink of its own, gone with its player: a player
        // being taken down can never put a picture into the next one's count.
        // The engine's thread waits while the sink hands a frame over on this
        // one and fails the stream if that takes 300 ms; the frame is
        // converted after the hand-over, so a slow conversion (the first one
        // sets up the graphics stack) costs a late picture, never the video.
        // A frame of the video before may still be on its way: it is not
        // this one's.
        auto* sink = new QVideoSink(player_);
        connect(
            sink, &QVideoSink::videoFrameChanged, this,
            [this, video = ++videos_](const QVideoFrame& frame) {
                if (video == videos_)
                    showFrame(frame);
            },
            Qt::QueuedConnection);
        player_->setVideoSink(sink);
        // The engine opens the file on its own threads and reports back.
        player_->setSource(QUrl::fromLocalFile(file.absoluteFilePath()));
        player_->play();
        firstPicture_->start();
    }
    page_.showPlayback(true);
    reposition();
}

void Playback::setFrameConversion(FrameConversion conversion)
{
    conversion_ = std::move(conversion);
}

void Playback::togglePause()
{
    switch (state()) {
    case kPlaying:
        if (player_)
            player_->pause();
        setState(kPaused);
        break;
    case kPaused:
        if (player_)
            player_->play();
        setState(kPlaying);
        break;
    default:
        break;
    }
}

void Playback::stop()
{
    if (state() == kIdle)
        return;
    kind_ = MediaKind::None;
    setState(kIdle);
    releasePlayer();
    page_.showPlayback(false);
    page_.videoHost()->clear();
}

void Playback::releasePlayer()
{
    firstPicture_->stop();
    if (!player_)
        return;
    // This may run inside one of the player's own signals: it goes once
    // control is back in the event loop, and says nothing more meanwhile.
    // Its destructor takes the engine down in one step; stopping it first
    // would rewind the file and re-link its sink, each a wait on the
    // engine's threads that buys nothing for a player about to go.
    disconnect(player_->videoSink(), nullptr, this, nullptr);
    disconnect(player_, nullptr, this, nullptr);
    player_->deleteLater();
    player_ = nullptr;
}

void Playback::reposition()
{
    if (state() == kIdle)
        return;
    VideoHost* host = page_.videoHost();
    if (!nativeSize_.isValid()) {
        host->placeVideo(QRect());  // nothing to show before the first picture
        return;
    }
    const bool zoom200 = context_.state().displayZoom.load(std::memory_order_acquire) == 1;
    const VideoPlacement p = videoPlacement(nativeSize_.width(), nativeSize_.height(), zoom200);
    host->placeVideo(QRect(p.x, p.y, p.width, p.height));
}

void Playback::tick()
{
    // Also while the message that ends a video is up.
    if (state() == kIdle || (kind_ == MediaKind::Video && !player_))
        return;
    // A still picture has neither length nor position.
    PlaybackCount count;
    if (player_)
        count = {static_cast<double>(player_->position()) / 1000.0, static_cast<double>(player_->duration()) / 1000.0};
    count_ = count;
    emit changed();
}

void Playback::showFrame(const QVideoFrame& frame)
{
    if (state() == kIdle || !player_ || !frame.isValid())
        return;
    opened_ = true;
    firstPicture_->stop();
    const QImage picture = conversion_ ? conversion_(frame) : frame.toImage();
    if (picture.isNull())
        return;
    // The engine shows the first frame once when it opens the file and again
    // when it starts playing.
    if (frame.startTime() < 0 || frame.startTime() != lastFrameTime_)
        ++framesShown_;
    lastFrameTime_ = frame.startTime();
    page_.videoHost()->setPicture(picture);
    if (picture.size() != nativeSize_) {
        nativeSize_ = picture.size();
        reposition();
    }
}

void Playback::mediaStatusChanged(int status)
{
    switch (status) {
    case QMediaPlayer::LoadedMedia:
    case QMediaPlayer::BufferingMedia:
    case QMediaPlayer::BufferedMedia:
        opened_ = true;
        break;
    case QMediaPlayer::EndOfMedia:
        endWith(QStringLiteral("Reached End of File"), MessageIcon::Information);
        break;
    case QMediaPlayer::InvalidMedia:
        endWith(kFileOpenError, MessageIcon::Error);
        break;
    default:
        break;
    }
}

void Playback::mediaError(int error, const QString& text)
{
    if (error == QMediaPlayer::NoError)
        return;
    if (!opened_) {
        endWith(kFileOpenError, MessageIcon::Error);
        return;
    }
    // The one diagnostic line of an engine failure during playback.
    std::printf("HRESUT : %d (%s)\n", error, text.toLocal8Bit().constData());
    std::fflush(stdout);
    endWith(QStringLiteral("Error Abort"), MessageIcon::Error);
}

void Playback::noPicture()
{
    if (state() != kIdle && player_ && framesShown_ == 0)
        endWith(kFileOpenError, MessageIcon::Error);
}

void Playback::endWith(const QString& text, MessageIcon icon)
{
    // The last picture stays on screen while the operator reads the message.
    releasePlayer();
    context_.interaction().message(page_.videoHost(), kMessageTitle, text, icon, MessageButtons::Ok);
    stop();
}

}  // namespace qdx::viewer
