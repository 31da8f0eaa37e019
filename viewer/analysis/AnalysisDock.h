// The "Analysis" window: histogram, region statistics, pixel inspector, line
// profile and stream health of the live picture. A dock beside the picture
// (or floating); it follows the display target, since it analyses the frames
// the display thread shows, whichever page shows them. While it is shown the
// pictures report the mouse: hovering inspects a pixel, a drag sets the
// region of interest or the profile line. GUI thread.
#pragma once

#include <QDockWidget>

#include <array>
#include <optional>

#include "live/AnalysisFeed.h"
#include "live/StreamHealth.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTimer;

namespace qdx::viewer {

class HistogramView;
class PictureView;
class ProfileView;
struct ViewerState;

class AnalysisDock final : public QDockWidget {
    Q_OBJECT

public:
    // Everything given must outlive the dock; views are the pages' picture areas.
    AnalysisDock(AnalysisFeed& feed, StreamHealth& health, const ViewerState& state,
                 std::array<PictureView*, 2> views, QWidget* parent = nullptr);

    // Reads the feed and the stream's figures now (a timer does it while shown).
    void refresh();

    // What a drag on the picture sets.
    enum class DragSets { Region = 0, Line = 1 };

signals:
    void shownChanged(bool shown);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* buildHistogram();
    QWidget* buildRegion();
    QWidget* buildPixel();
    QWidget* buildProfile();
    QWidget* buildStream();
    void setShown(bool shown);
    void probed(QPoint pos);
    void probeLeft();
    void dragged(QPoint from, QPoint to, bool finished);
    void showSnapshot();  // the feed's newest: its analysis if new, the pixel under the mouse
    void showAnalysis(const AnalysisSnapshot& snapshot);
    void showPixel(const AnalysisSnapshot* snapshot);
    void showHealth();
    void updateOverlays();
    void restartHealth();
    bool zoom200() const;

    AnalysisFeed& feed_;
    StreamHealth& health_;
    const ViewerState& state_;
    std::array<PictureView*, 2> views_;
    QTimer* timer_;
    bool shown_ = false;

    std::optional<PixelRect> region_;  // none: the whole shown picture
    std::optional<PixelLine> line_;
    std::optional<PixelPoint> hovered_;
    bool overlayZoom200_ = false;
    uint64_t shownNumber_ = 0;  // of the snapshot whose analysis is shown

    HistogramView* histogram_ = nullptr;
    QComboBox* channel_ = nullptr;
    QComboBox* scale_ = nullptr;
    QLabel* clippedLow_ = nullptr;
    QLabel* clippedHigh_ = nullptr;
    QComboBox* dragSets_ = nullptr;
    QLabel* regionText_ = nullptr;
    QLabel* pixels_ = nullptr;
    QLabel* mean_ = nullptr;
    QLabel* deviation_ = nullptr;
    QLabel* minimum_ = nullptr;
    QLabel* maximum_ = nullptr;
    QLabel* pixelAt_ = nullptr;
    QLabel* pixelY_ = nullptr;
    QLabel* pixelCb_ = nullptr;
    QLabel* pixelCr_ = nullptr;
    QLabel* pixelShown_ = nullptr;
    ProfileView* profile_ = nullptr;
    QLabel* profileText_ = nullptr;
    std::array<QLabel*, 10> stream_{};
};

}  // namespace qdx::viewer
