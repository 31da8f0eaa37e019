#include "AnalysisDock.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>

#include "AnalysisViews.h"
#include "QDX_API.h"
#include "core/commands/Commands.h"
#include "core/model/ViewerState.h"
#include "pages/PictureView.h"

namespace qdx::viewer {
namespace {

// Often enough to follow the picture, seldom enough to read the figures.
constexpr int kRefreshMs = 100;
const QString kNone = QStringLiteral("\u2014");

// A value shown beside its caption; the caption describes it for a screen
// reader too.
struct Figure {
    const char* caption;
    QLabel** value;
    const char* widest = nullptr;  // the longest text it shows, if longer than its caption
};

// Figures in two caption-value columns, two a row, in the order given.
QGridLayout* figureGrid(std::initializer_list<Figure> figures)
{
    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    int i = 0;
    for (const Figure& figure : figures) {
        const QString caption = QString::fromUtf8(figure.caption);
        auto* value = new QLabel(kNone);
        value->setAccessibleDescription(caption);  // its name is the value itself
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        if (figure.widest)
            value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QString::fromUtf8(figure.widest)));
        grid->addWidget(new QLabel(caption + QLatin1Char(':')), i / 2, (i % 2) * 2);
        grid->addWidget(value, i / 2, (i % 2) * 2 + 1);
        *figure.value = value;
        ++i;
    }
    return grid;
}

// A caption and its drop-down list, side by side in row; the caption is the
// list's buddy (its name for a screen reader).
QComboBox* addCombo(QBoxLayout* row, const char* caption, std::initializer_list<const char*> entries)
{
    auto* box = new QComboBox;
    for (const char* entry : entries)
        box->addItem(QString::fromUtf8(entry));
    auto* label = new QLabel(QString::fromUtf8(caption) + QLatin1Char(':'));
    label->setBuddy(box);
    box->setAccessibleName(QString::fromUtf8(caption));
    row->addWidget(label);
    row->addWidget(box, 1);
    return box;
}

QString percentOf(long long part, long long whole)
{
    return whole > 0 ? QStringLiteral("%1 (%2%)").arg(part).arg(100.0 * static_cast<double>(part) / static_cast<double>(whole), 0, 'f', 2)
                     : kNone;
}

QString wordText(uint16_t word, int value)
{
    return QStringLiteral("0x%1  (12-bit %2)").arg(word, 4, 16, QLatin1Char('0')).arg(value);
}

QString pointText(PixelPoint p)
{
    return QStringLiteral("(%1, %2)").arg(p.x).arg(p.y);
}

// A dragged end: inside the picture, with a drag leaving the picture held at
// its edge.
PixelPoint clampedPixel(QPoint pos, bool zoom200)
{
    const int scale = zoom200 ? 2 : 1;
    const auto clamp = [&](int v) { return std::clamp(v / scale, 0, kCameraSide - 1); };
    return {clamp(pos.x()), clamp(pos.y())};
}

}  // namespace

AnalysisDock::AnalysisDock(AnalysisFeed& feed, StreamHealth& health, const ViewerState& state,
                           std::array<PictureView*, 2> views, QWidget* parent)
    : QDockWidget(QStringLiteral("Analysis"), parent),
      feed_(feed),
      health_(health),
      state_(state),
      views_(views),
      timer_(new QTimer(this))
{
    setObjectName(QStringLiteral("analysisDock"));
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);

    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->addWidget(buildHistogram());
    column->addWidget(buildRegion());
    column->addWidget(buildPixel());
    column->addWidget(buildProfile());
    column->addWidget(buildStream());
    column->addStretch(1);
    auto* scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setMinimumWidth(content->sizeHint().width() + 24);
    setWidget(scroll);

    timer_->setInterval(kRefreshMs);
    connect(timer_, &QTimer::timeout, this, &AnalysisDock::refresh);
    for (PictureView* view : views_) {
        if (!view)
            continue;
        connect(view, &PictureView::probed, this, &AnalysisDock::probed);
        connect(view, &PictureView::probeLeft, this, &AnalysisDock::probeLeft);
        connect(view, &PictureView::dragged, this, &AnalysisDock::dragged);
    }
}

QWidget* AnalysisDock::buildHistogram()
{
    auto* group = new QGroupBox(QStringLiteral("Histogram"));
    auto* column = new QVBoxLayout(group);
    histogram_ = new HistogramView;
    column->addWidget(histogram_);
    auto* choices = new QHBoxLayout;
    channel_ = addCombo(choices, "Channel", {"Luma (12-bit)", "R, G, B (as shown)"});
    scale_ = addCombo(choices, "Scale", {"Linear", "Logarithmic"});
    column->addLayout(choices);
    column->addLayout(figureGrid({{"Clipped at 0", &clippedLow_, "160000 (100.00%)"},
                                  {"Clipped at 4095", &clippedHigh_, "160000 (100.00%)"}}));
    connect(channel_, &QComboBox::currentIndexChanged, this, [this](int index) {
        histogram_->setChannel(index == 1 ? HistogramView::Channel::Colour : HistogramView::Channel::Luma);
    });
    connect(scale_, &QComboBox::currentIndexChanged, this, [this](int index) { histogram_->setLogarithmic(index == 1); });
    return group;
}

QWidget* AnalysisDock::buildRegion()
{
    auto* group = new QGroupBox(QStringLiteral("Region of interest"));
    auto* column = new QVBoxLayout(group);
    auto* choices = new QHBoxLayout;
    dragSets_ = addCombo(choices, "Drag on picture sets", {"Region of interest", "Profile line"});
    auto* whole = new QPushButton(QStringLiteral("Whole Picture"));
    choices->addWidget(whole);
    column->addLayout(choices);
    auto* region = new QFormLayout;
    regionText_ = new QLabel(kNone);
    regionText_->setAccessibleDescription(QStringLiteral("Region"));
    region->addRow(QStringLiteral("Region:"), regionText_);
    column->addLayout(region);
    column->addLayout(figureGrid({{"Pixels", &pixels_},
                                  {"Mean", &mean_},
                                  {"Minimum", &minimum_},
                                  {"Standard deviation", &deviation_},
                                  {"Maximum", &maximum_}}));
    connect(whole, &QPushButton::clicked, this, [this] {
        region_.reset();
        feed_.setRegion(region_);
        updateOverlays();
    });
    return group;
}

QWidget* AnalysisDock::buildPixel()
{
    auto* group = new QGroupBox(QStringLiteral("Pixel under the mouse"));
    auto* column = new QVBoxLayout(group);
    const char* word = "0x0000  (12-bit 4095)";
    column->addLayout(figureGrid({{"Camera pixel", &pixelAt_, "(403, 403) (boundary, hidden)"},
                                  {"Shown R, G, B", &pixelShown_, "255, 255, 255"},
                                  {"Y", &pixelY_, word},
                                  {"Cb", &pixelCb_, word},
                                  {"Cr", &pixelCr_, word}}));
    return group;
}

QWidget* AnalysisDock::buildProfile()
{
    auto* group = new QGroupBox(QStringLiteral("Line profile"));
    auto* column = new QVBoxLayout(group);
    profile_ = new ProfileView;
    column->addWidget(profile_);
    auto* row = new QHBoxLayout;
    auto* caption = new QLabel(QStringLiteral("Line:"));
    profileText_ = new QLabel(kNone);
    profileText_->setAccessibleDescription(QStringLiteral("Line"));
    auto* clear = new QPushButton(QStringLiteral("Clear Line"));
    row->addWidget(caption);
    row->addWidget(profileText_, 1);
    row->addWidget(clear);
    column->addLayout(row);
    connect(clear, &QPushButton::clicked, this, [this] {
        line_.reset();
        feed_.setLine(line_);
        profile_->setProfile({});
        profileText_->setText(kNone);
        updateOverlays();
    });
    return group;
}

QWidget* AnalysisDock::buildStream()
{
    auto* group = new QGroupBox(QStringLiteral("Stream since opened"));
    auto* column = new QVBoxLayout(group);
    // The order of the values showHealth gives.
    column->addLayout(figureGrid({{"Time", &stream_[0]},
                                  {"Last second", &stream_[1], "100.0 frames/s, 65.3 MB/s"},
                                  {"Frames received", &stream_[2]},
                                  {"Frames taken", &stream_[3]},
                                  {"Frames shown", &stream_[4]},
                                  {"Longest gap", &stream_[5]},
                                  {"Short frames", &stream_[6]},
                                  {"Damaged frames", &stream_[7]},
                                  {"Disconnections", &stream_[8]},
                                  {"Reconnections", &stream_[9]}}));
    auto* reset = new QPushButton(QStringLiteral("Reset Counts"));
    column->addWidget(reset, 0, Qt::AlignLeft);
    connect(reset, &QPushButton::clicked, this, [this] {
        restartHealth();
        showHealth();
    });
    return group;
}

void AnalysisDock::showEvent(QShowEvent* event)
{
    QDockWidget::showEvent(event);
    if (!event->spontaneous())
        setShown(true);
}

void AnalysisDock::hideEvent(QHideEvent* event)
{
    QDockWidget::hideEvent(event);
    // A minimised window hides it only for the moment.
    if (!event->spontaneous())
        setShown(false);
}

void AnalysisDock::setShown(bool shown)
{
    if (shown == shown_)
        return;
    shown_ = shown;
    feed_.setActive(shown);
    for (PictureView* view : views_)
        if (view)
            view->setProbing(shown);
    if (shown) {
        restartHealth();
        updateOverlays();
        timer_->start();
        refresh();
    } else {
        timer_->stop();
        hovered_.reset();
    }
    emit shownChanged(shown);
}

void AnalysisDock::restartHealth()
{
    health_.restart(StreamHealth::Clock::now(), cameraConnected());
}

bool AnalysisDock::zoom200() const
{
    return state_.displayZoom.load(std::memory_order_acquire) == 1;
}

void AnalysisDock::refresh()
{
    showSnapshot();
    showHealth();
    if (overlayZoom200_ != zoom200())
        updateOverlays();
}

void AnalysisDock::showSnapshot()
{
    const AnalysisSnapshot* snapshot = feed_.latest();
    if (snapshot && snapshot->number != shownNumber_) {
        shownNumber_ = snapshot->number;
        showAnalysis(*snapshot);
    }
    showPixel(snapshot);
}

void AnalysisDock::showAnalysis(const AnalysisSnapshot& snapshot)
{
    const RegionStats& stats = snapshot.analysis.stats;
    histogram_->setHistograms(snapshot.analysis.histograms);
    const PixelRect& r = stats.region;
    regionText_->setText(r.empty() ? QStringLiteral("outside the shown picture")
                                   : QStringLiteral("%1 x %2 at %3%4")
                                         .arg(r.width)
                                         .arg(r.height)
                                         .arg(pointText({r.x, r.y}))
                                         .arg(region_ ? QString() : QStringLiteral(" (whole picture)")));
    const bool any = stats.pixels > 0;
    pixels_->setText(QString::number(stats.pixels));
    mean_->setText(any ? QString::number(stats.mean, 'f', 1) : kNone);
    deviation_->setText(any ? QString::number(stats.stddev, 'f', 2) : kNone);
    minimum_->setText(any ? QString::number(stats.min) : kNone);
    maximum_->setText(any ? QString::number(stats.max) : kNone);
    clippedLow_->setText(percentOf(stats.atZero, stats.pixels));
    clippedHigh_->setText(percentOf(stats.atFull, stats.pixels));

    profile_->setProfile(snapshot.profile);
    if (!snapshot.line) {
        profileText_->setText(kNone);
        return;
    }
    const auto [low, high] = snapshot.profile.empty()
                                 ? std::pair<uint16_t, uint16_t>{0, 0}
                                 : std::pair{*std::min_element(snapshot.profile.begin(), snapshot.profile.end()),
                                             *std::max_element(snapshot.profile.begin(), snapshot.profile.end())};
    profileText_->setText(QStringLiteral("%1 to %2, %3 pixels, %4 to %5")
                              .arg(pointText(snapshot.line->from), pointText(snapshot.line->to))
                              .arg(snapshot.profile.size())
                              .arg(low)
                              .arg(high));
}

void AnalysisDock::showPixel(const AnalysisSnapshot* snapshot)
{
    QLabel* const labels[] = {pixelAt_, pixelY_, pixelCb_, pixelCr_, pixelShown_};
    if (!hovered_ || !snapshot) {
        for (QLabel* label : labels)
            label->setText(kNone);
        if (hovered_)
            pixelAt_->setText(pointText(*hovered_));
        return;
    }
    const PixelReadout pixel = readPixel(snapshot->frame.get(), *hovered_, snapshot->grey, snapshot->showBoundary);
    pixelAt_->setText(pointText(pixel.at) + (pixel.hidden ? QStringLiteral(" (boundary, hidden)") : QString()));
    pixelY_->setText(wordText(pixel.yWord, pixel.y));
    pixelCb_->setText(wordText(pixel.cbWord, pixel.cb));
    pixelCr_->setText(wordText(pixel.crWord, pixel.cr));
    pixelShown_->setText(QStringLiteral("%1, %2, %3").arg(pixel.shown.r).arg(pixel.shown.g).arg(pixel.shown.b));
}

void AnalysisDock::showHealth()
{
    const StreamFigures f = health_.figures(StreamHealth::Clock::now());
    const QString values[] = {
        QStringLiteral("%1 s").arg(f.seconds, 0, 'f', 1),
        // The rates line's count of the last second: the same frames, so the two agree.
        QStringLiteral("%1 frames/s, %2 MB/s")
            .arg(static_cast<double>(f.lastSecond.received), 0, 'f', 1)
            .arg(static_cast<double>(f.lastSecond.bytes) / 1e6, 0, 'f', 1),
        QString::number(f.delivered),
        QString::number(f.taken),
        QString::number(f.shown),
        QStringLiteral("%1 ms").arg(f.largestGapMs, 0, 'f', 1),
        QString::number(f.shortFrames),
        QString::number(f.damagedFrames),
        QString::number(f.disconnections),
        QString::number(f.reconnections),
    };
    for (std::size_t i = 0; i < stream_.size(); ++i)
        stream_[i]->setText(values[i]);
}

void AnalysisDock::probed(QPoint pos)
{
    hovered_ = cameraPixelAt(pos.x(), pos.y(), zoom200());
    // The frame already taken: a moving mouse asks for no analyses.
    showPixel(feed_.current());
}

void AnalysisDock::probeLeft()
{
    hovered_.reset();
    showPixel(nullptr);
}

void AnalysisDock::dragged(QPoint from, QPoint to, bool finished)
{
    const bool zoom = zoom200();
    if (!cameraPixelAt(from.x(), from.y(), zoom))
        return;  // started beside the picture
    const PixelPoint a = clampedPixel(from, zoom);
    const PixelPoint b = clampedPixel(to, zoom);
    if (finished && from == to)
        return;  // a click, not a drag: keep what was set
    if (dragSets_->currentIndex() == static_cast<int>(DragSets::Line)) {
        line_ = PixelLine{a, b};
        feed_.setLine(line_);
    } else {
        region_ = rectFromCorners(a, b);
        feed_.setRegion(region_);
    }
    updateOverlays();
}

void AnalysisDock::updateOverlays()
{
    overlayZoom200_ = zoom200();
    const int scale = overlayZoom200_ ? 2 : 1;
    const QRect region = region_ ? QRect(region_->x * scale, region_->y * scale, region_->width * scale,
                                         region_->height * scale)
                                 : QRect();
    const auto centre = [scale](PixelPoint p) { return QPoint(p.x * scale + scale / 2, p.y * scale + scale / 2); };
    const QLine line = line_ ? QLine(centre(line_->from), centre(line_->to)) : QLine();
    for (PictureView* view : views_)
        if (view)
            view->setOverlay(region, line);
}

}  // namespace qdx::viewer
