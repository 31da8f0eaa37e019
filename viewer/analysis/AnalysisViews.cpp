#include "AnalysisViews.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <span>

namespace qdx::viewer {
namespace {

constexpr int kMargin = 4;

// The plotting area inside the widget, below a line for the scale's text.
QRectF plotArea(const QWidget& widget)
{
    const int text = widget.fontMetrics().height();
    return QRectF(kMargin, kMargin, widget.width() - 2 * kMargin, widget.height() - 2 * kMargin - text);
}

void paintFrame(QPainter& painter, const QWidget& widget, const QRectF& area, const QString& left,
                const QString& right)
{
    painter.fillRect(widget.rect(), widget.palette().base());
    painter.fillRect(area, QColor(24, 24, 24));
    painter.setPen(widget.palette().text().color());
    const QRectF below(area.left(), area.bottom(), area.width(), widget.height() - area.bottom());
    painter.drawText(below, Qt::AlignLeft | Qt::AlignVCenter, left);
    painter.drawText(below, Qt::AlignRight | Qt::AlignVCenter, right);
}

// Column heights 0..1 of counts over width columns: each column the highest
// of its bins, so a single spike never vanishes.
std::vector<double> columns(std::span<const uint32_t> counts, int width, bool logarithmic)
{
    std::vector<double> heights(static_cast<std::size_t>(std::max(width, 1)), 0.0);
    const uint32_t top = *std::max_element(counts.begin(), counts.end());
    if (top == 0)
        return heights;
    const auto scaled = [&](uint32_t n) {
        return logarithmic ? std::log1p(static_cast<double>(n)) / std::log1p(static_cast<double>(top))
                           : static_cast<double>(n) / top;
    };
    const std::size_t bins = counts.size();
    for (std::size_t c = 0; c < heights.size(); ++c) {
        const std::size_t first = c * bins / heights.size();
        const std::size_t last = std::max(first + 1, (c + 1) * bins / heights.size());
        uint32_t highest = 0;
        for (std::size_t b = first; b < last && b < bins; ++b)
            highest = std::max(highest, counts[b]);
        heights[c] = scaled(highest);
    }
    return heights;
}

QPainterPath outlinePath(const std::vector<double>& heights, const QRectF& area)
{
    QPainterPath path(QPointF(area.left(), area.bottom()));
    const double step = area.width() / static_cast<double>(heights.size());
    for (std::size_t c = 0; c < heights.size(); ++c) {
        const double y = area.bottom() - heights[c] * area.height();
        path.lineTo(area.left() + static_cast<double>(c) * step, y);
        path.lineTo(area.left() + static_cast<double>(c + 1) * step, y);
    }
    path.lineTo(area.right(), area.bottom());
    return path;
}

}  // namespace

HistogramView::HistogramView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(256, 120);
    setAccessibleName(QStringLiteral("Histogram"));
}

void HistogramView::setHistograms(const Histograms& histograms)
{
    histograms_ = histograms;
    update();
}

void HistogramView::setChannel(Channel channel)
{
    channel_ = channel;
    update();
}

void HistogramView::setLogarithmic(bool logarithmic)
{
    logarithmic_ = logarithmic;
    update();
}

void HistogramView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF area = plotArea(*this);
    const bool luma = channel_ == Channel::Luma;
    paintFrame(painter, *this, area, QStringLiteral("0"), luma ? QStringLiteral("4095") : QStringLiteral("255"));
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int width = static_cast<int>(area.width());
    if (luma) {
        painter.fillPath(outlinePath(columns(histograms_.luma, width, logarithmic_), area), QColor(220, 220, 220));
        return;
    }
    // The three channels over each other, see-through where they overlap.
    const std::pair<const std::array<uint32_t, 256>*, QColor> channels[] = {
        {&histograms_.red, QColor(255, 60, 60, 140)},
        {&histograms_.green, QColor(60, 255, 60, 140)},
        {&histograms_.blue, QColor(80, 120, 255, 140)},
    };
    for (const auto& [counts, colour] : channels)
        painter.fillPath(outlinePath(columns(*counts, std::min(width, 256), logarithmic_), area), colour);
}

ProfileView::ProfileView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(256, 100);
    setAccessibleName(QStringLiteral("Line profile"));
}

void ProfileView::setProfile(const std::vector<uint16_t>& profile)
{
    profile_ = profile;
    update();
}

void ProfileView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const QRectF area = plotArea(*this);
    paintFrame(painter, *this, area, QStringLiteral("start"),
               profile_.empty() ? QString() : QStringLiteral("%1 pixels").arg(profile_.size()));
    // Quarter lines of the 12-bit range.
    painter.setPen(QColor(70, 70, 70));
    for (int q = 1; q < 4; ++q) {
        const double y = area.bottom() - area.height() * q / 4;
        painter.drawLine(QPointF(area.left(), y), QPointF(area.right(), y));
    }
    if (profile_.empty())
        return;
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(QPen(QColor(255, 220, 0), 1.5));
    const auto at = [&](std::size_t i) {
        const double x = profile_.size() == 1
                             ? area.center().x()
                             : area.left() + area.width() * static_cast<double>(i) / static_cast<double>(profile_.size() - 1);
        return QPointF(x, area.bottom() - area.height() * profile_[i] / kLumaFull);
    };
    QPainterPath path(at(0));
    for (std::size_t i = 1; i < profile_.size(); ++i)
        path.lineTo(at(i));
    if (profile_.size() == 1)
        painter.drawEllipse(at(0), 2, 2);
    painter.drawPath(path);
}

}  // namespace qdx::viewer
