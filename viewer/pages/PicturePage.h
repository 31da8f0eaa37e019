// The "Picture" page: the live picture in colour and the operator's controls
// for the camera's image processing in three groups, built from the settings
// table. Every change goes to the pages' model, which sends it and applies
// the camera's rules; the page shows the model. GUI thread only.
#pragma once

#include <array>

#include "Page.h"
#include "core/model/Settings.h"
#include "core/model/WhiteBalance.h"

class QComboBox;
class QGroupBox;
class QTimer;

namespace qdx::viewer {

class VideoHost;

class PicturePage final : public Page {
    Q_OBJECT

public:
    PicturePage(PageContext& context, QWidget* parent);
    ~PicturePage() override;

    void activated() override;

    // Store the group index and, in the compact window, show only that group.
    void showGroup(int group);
    int group() const { return group_; }

    // The "Exec" button: one-push white balance, polled from a timer; the
    // window stays usable meanwhile.
    void startWhiteBalance();
    bool whiteBalanceRunning() const { return whiteBalance_.running(); }

    // Playback's part of the page: the video host in place of the live picture.
    VideoHost* videoHost() const { return videoHost_; }
    void showPlayback(bool on);
    // Beside the state text while a recording runs; hidden when empty.
    void setRecordingProgress(const QString& text);

    // Also the state text.
    void showCommandState(const CommandState& commands) override;

protected:
    void showModel() override;

private:
    QGroupBox* buildGroup(int group);
    void pollWhiteBalance();

    int group_ = 0;
    std::array<SliderRow, kPictureSliders> sliders_{};
    std::array<ComboRow, kPictureCombos> combos_{};
    std::array<QGroupBox*, 3> groups_{};
    QComboBox* groupSelector_ = nullptr;
    QPushButton* exec_ = nullptr;
    QLabel* stateText_ = nullptr;
    QLabel* recordingProgress_ = nullptr;
    VideoHost* videoHost_ = nullptr;
    OnePushWhiteBalance whiteBalance_;
    QTimer* whiteBalanceTimer_ = nullptr;
};

}  // namespace qdx::viewer
