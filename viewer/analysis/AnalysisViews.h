// The Analysis window's two plots: the histogram and the line profile. They
// paint what they were last given; the window feeds them.
#pragma once

#include <QWidget>

#include <cstdint>
#include <vector>

#include "live/FrameAnalysis.h"

namespace qdx::viewer {

class HistogramView final : public QWidget {
    Q_OBJECT

public:
    enum class Channel { Luma, Colour };
    explicit HistogramView(QWidget* parent = nullptr);

    void setHistograms(const Histograms& histograms);
    void setChannel(Channel channel);
    void setLogarithmic(bool logarithmic);

    QSize sizeHint() const override { return {420, 150}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Histograms histograms_;
    Channel channel_ = Channel::Luma;
    bool logarithmic_ = false;
};

class ProfileView final : public QWidget {
    Q_OBJECT

public:
    explicit ProfileView(QWidget* parent = nullptr);

    // 12-bit luma along the line, first point first; empty for no line.
    void setProfile(const std::vector<uint16_t>& profile);

    QSize sizeHint() const override { return {420, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<uint16_t> profile_;
};

}  // namespace qdx::viewer
