#include "PicturePage.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>

#include <vector>

#include "Interaction.h"
#include "PictureView.h"
#include "VideoHost.h"
#include "core/commands/CommandState.h"
#include "core/commands/Commands.h"
#include "core/model/PanelModel.h"

namespace qdx::viewer {
namespace {

constexpr int kSliderId = 5101, kSliderLabelId = 5201, kSliderCaptionId = 5001;
constexpr int kComboId = 4102, kComboCaptionId = 4002;
constexpr int kGroupSelectorId = 7003;
constexpr int kGroupIds[3] = {7011, 7012, 7013};
constexpr int kExecId = 3007, kExecCaptionId = 7008;
constexpr int kStateTextId = 7002;
constexpr int kExposure = pictureIndex(SettingId::ExposureTime);
constexpr int kRawGain = pictureIndex(SettingId::RawGain);
constexpr int kTarget = pictureIndex(SettingId::ControlTarget);
constexpr int kLastHysteresis = pictureIndex(SettingId::HysteresisB2);
constexpr int kSpeed = pictureIndex(SettingId::ControlSpeed);
constexpr int kArea2 = pictureIndex(SettingId::ControlArea2);
constexpr int kFlip = pictureIndex(SettingId::ImageFlip);
constexpr int kRotation = pictureIndex(SettingId::ImageRotation);
constexpr int kVfpn = pictureIndex(SettingId::VfpnCorrection);
// The white balance asks the camera this often whether it has finished.
constexpr auto kWhiteBalancePoll = std::chrono::milliseconds(50);

// One row of a control group.
struct Row {
    enum Kind { Slider, Combo, Separator, Exec } kind;
    int index;  // slider or combo index, or the separator's identifier
};

// The rows of each group, top to bottom.
const std::vector<Row> kGroupRows[3] = {
    {{Row::Combo, 0}, {Row::Combo, 1}, {Row::Separator, 7004}, {Row::Slider, 0}, {Row::Slider, 1},
     {Row::Slider, 2}, {Row::Separator, 7005}, {Row::Slider, 3}, {Row::Slider, 4}, {Row::Slider, 5},
     {Row::Slider, 6}, {Row::Slider, 7}, {Row::Combo, 2}, {Row::Combo, 3}, {Row::Combo, 4}},
    {{Row::Exec, 0}, {Row::Slider, 8}, {Row::Slider, 9}, {Row::Separator, 7006}, {Row::Slider, 10},
     {Row::Slider, 11}, {Row::Slider, 12}, {Row::Slider, 13}, {Row::Slider, 14}, {Row::Slider, 15},
     {Row::Slider, 16}, {Row::Slider, 17}, {Row::Slider, 18}, {Row::Separator, 7007}, {Row::Slider, 19},
     {Row::Slider, 20}, {Row::Slider, 21}},
    {{Row::Combo, 5}, {Row::Combo, 6}, {Row::Combo, 7}, {Row::Combo, 8}, {Row::Combo, 9}, {Row::Combo, 10},
     {Row::Combo, 11}, {Row::Combo, 12}, {Row::Combo, 13}, {Row::Slider, 22}},
};

}  // namespace

PicturePage::PicturePage(PageContext& context, QWidget* parent)
    : Page(context, kPicturePage, parent), whiteBalanceTimer_(new QTimer(this))
{
    // Page-wide rows: three buttons, the rates line and the zoom above the
    // picture; capture, playback and the state text below.
    addPageWideControls();
    bottomRow()->addSpacing(100);
    bottomRow()->addWidget(commandButton("Pause / Play", 7016, kCmdPausePlay));
    bottomRow()->addWidget(commandButton("Play Stop", 7017, kCmdPlayStop));
    stateText_ = tagged(new QLabel(QStringLiteral("LIVE"), this), kStateTextId);
    stateText_->setAlignment(Qt::AlignCenter);
    stateText_->setFrameShape(QFrame::Box);
    stateText_->setMinimumWidth(180);
    bottomRow()->addWidget(stateText_);
    recordingProgress_ = new QLabel(this);
    recordingProgress_->setObjectName(QStringLiteral("recordingProgress"));
    recordingProgress_->hide();
    // A fixed size, as wide as its longest text: its text changes ten times a
    // second, and a label that may change size has the whole tab widget laid
    // out and repainted each time.
    recordingProgress_->setFixedSize(
        recordingProgress_->fontMetrics().horizontalAdvance(QStringLiteral("99:99  9999999 frames  (camera disconnected)")),
        recordingProgress_->sizeHint().height());
    bottomRow()->addWidget(recordingProgress_);
    bottomRow()->addStretch(1);

    groupSelector_ = dropDown(pictureGroupNames(), kGroupSelectorId, wheelGuard(), this,
                              QStringLiteral("Control group"));
    connect(groupSelector_, &QComboBox::activated, this, &PicturePage::showGroup);
    auto* groups = new QHBoxLayout;
    groups->setContentsMargins(0, 0, 0, 0);
    for (int g = 0; g < 3; ++g) {
        groups_[static_cast<std::size_t>(g)] = buildGroup(g);
        groups->addWidget(groups_[static_cast<std::size_t>(g)], 0, Qt::AlignTop);
    }
    groups->addStretch(1);
    alignGroups(groups_);
    // Below the "Camera Info" group of the page base, above its closing stretch.
    QBoxLayout* column = controlColumn();
    column->insertWidget(column->count() - 1, groupSelector_, 0, Qt::AlignLeft);
    column->insertLayout(column->count() - 1, groups);
    if (wide()) {
        // All three side by side: nothing to choose.
        groupSelector_->setEnabled(false);
        groupSelector_->hide();
    } else {
        showGroup(group_);
    }

    // The video host takes the live picture's place in the page's grid.
    videoHost_ = new VideoHost(this);
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
        int row = 0, col = 0, rows = 0, cols = 0;
        grid->getItemPosition(grid->indexOf(pictureView()), &row, &col, &rows, &cols);
        grid->addWidget(videoHost_, row, col, Qt::AlignLeft | Qt::AlignTop);
    }

    whiteBalanceTimer_->setInterval(kWhiteBalancePoll);
    connect(whiteBalanceTimer_, &QTimer::timeout, this, &PicturePage::pollWhiteBalance);
    refresh();
    state().ready.set(ReadyGate::PicturePage);
}

PicturePage::~PicturePage()
{
    if (whiteBalance_.running())
        context().interaction().setWaitCursor(false);
}

QGroupBox* PicturePage::buildGroup(int g)
{
    auto* box = tagged(new QGroupBox(QString::fromUtf8(pictureGroupNames()[static_cast<std::size_t>(g)]), this),
                       kGroupIds[g]);
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(4);
    grid->setHorizontalSpacing(10);
    int r = 0;
    for (const Row& row : kGroupRows[g]) {
        const auto i = static_cast<std::size_t>(row.index);
        switch (row.kind) {
        case Row::Slider: {
            const Setting& s = setting(pictureSliderSetting(row.index));
            sliders_[i] = addSliderRow(grid, r, s.caption, s.scale,
                                       {kSliderId + row.index, kSliderCaptionId + row.index, kSliderLabelId + row.index},
                                       wheelGuard());
            connect(sliders_[i].slider, &QSlider::valueChanged, this,
                    [this, k = row.index](int v) { panels().movePictureSlider(k, v); });
            break;
        }
        case Row::Combo: {
            const Setting& s = setting(pictureComboSetting(row.index));
            combos_[i] = addComboRow(grid, r, s.caption, s.entries, {kComboId + row.index, kComboCaptionId + row.index},
                                     wheelGuard());
            // activated: the operator confirmed a selection (also the same one again).
            connect(combos_[i].box, &QComboBox::activated, this,
                    [this, j = row.index](int selection) { panels().choosePictureCombo(j, selection); });
            break;
        }
        case Row::Separator:
            grid->addWidget(separator(row.index, box), r, 0, 1, 3);
            break;
        case Row::Exec: {
            auto* caption = tagged(new QLabel(QStringLiteral("1Push AWB"), box), kExecCaptionId);
            grid->addWidget(caption, r, 0);
            exec_ = tagged(new QPushButton(QStringLiteral("Exec"), box), kExecId);
            // "Exec" alone says nothing of what it starts.
            caption->setBuddy(exec_);
            exec_->setAccessibleName(caption->text());
            connect(exec_, &QPushButton::clicked, this, &PicturePage::startWhiteBalance);
            grid->addWidget(exec_, r, 1, Qt::AlignLeft);
            break;
        }
        }
        ++r;
    }
    grid->setRowStretch(r, 1);
    return box;
}

void PicturePage::showGroup(int group)
{
    group_ = group;
    if (!wide() && group >= 0 && group < 3)
        for (int g = 0; g < 3; ++g)
            groups_[static_cast<std::size_t>(g)]->setVisible(g == group);
    update();
}

void PicturePage::showModel()
{
    const PanelModel& model = panels();
    for (int k = 0; k < kPictureSliders; ++k)
        sliders_[static_cast<std::size_t>(k)].show(model.pictureSlider(k));
    for (int j = 0; j < kPictureCombos; ++j)
        combos_[static_cast<std::size_t>(j)].show(model.pictureCombo(j));
    const Enabling e = model.enabling();
    sliders_[kExposure].setEnabled(e.exposure, e.exposure);
    sliders_[kRawGain].setEnabled(e.rawGain, e.rawGainLabel);
    for (int k = kTarget; k <= kLastHysteresis; ++k)
        sliders_[static_cast<std::size_t>(k)].setEnabled(e.automatic, e.automatic);
    for (int j = kSpeed; j <= kArea2; ++j)
        combos_[static_cast<std::size_t>(j)].setEnabled(e.automatic);
    combos_[kFlip].setEnabled(e.flip);
    combos_[kRotation].setEnabled(e.rotation);
    combos_[kVfpn].setEnabled(e.vfpn);
}

void PicturePage::activated()
{
    // An export of luma values works only on the Calibration page.
    if (panels().activatePicture())
        context().interaction().message(this, QStringLiteral("info"), QStringLiteral("CSV File Save Aborted."),
                                        MessageIcon::Warning, MessageButtons::Ok);
}

void PicturePage::showPlayback(bool on)
{
    pictureView()->setVisible(!on);
    videoHost_->setVisible(on);
}

void PicturePage::setRecordingProgress(const QString& text)
{
    recordingProgress_->setText(text);
    recordingProgress_->setVisible(!text.isEmpty());
}

void PicturePage::showCommandState(const CommandState& commands)
{
    Page::showCommandState(commands);
    stateText_->setText(QString::fromStdString(commands.stateText));
}

void PicturePage::startWhiteBalance()
{
    if (whiteBalance_.running() || !whiteBalance_.start(OnePushWhiteBalance::Clock::now()))
        return;
    context().interaction().setWaitCursor(true);
    exec_->setEnabled(false);
    whiteBalanceTimer_->start();
}

void PicturePage::pollWhiteBalance()
{
    using Progress = OnePushWhiteBalance::Progress;
    if (whiteBalance_.poll(OnePushWhiteBalance::Clock::now()) == Progress::Running)
        return;
    whiteBalanceTimer_->stop();
    exec_->setEnabled(true);
    context().interaction().setWaitCursor(false);
    // Shown, not sent back: the camera has them already.
    if (const auto red = whiteBalance_.redGain())
        panels().showCameraValue(SettingId::RedGain, *red);
    if (const auto blue = whiteBalance_.blueGain())
        panels().showCameraValue(SettingId::BlueGain, *blue);
}

}  // namespace qdx::viewer
