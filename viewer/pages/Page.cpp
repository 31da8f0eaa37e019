#include "Page.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>

#include "PictureView.h"
#include "core/commands/CommandState.h"
#include "core/commands/Commands.h"
#include "core/commands/ControlIds.h"
#include "core/model/PanelModel.h"
#include "core/model/PictureFit.h"

namespace qdx::viewer {
namespace {

constexpr int kRowSpacing = 10;

// The "Camera Info" lines: caption, its identifier (the value's is 100 more).
struct CameraInfoLine {
    const char* caption;
    int captionId;
};
constexpr CameraInfoLine kInfoLines[kCameraInfoLines] = {
    {"CIS EEPROM : ", 6001},        {"CIS S/N : ", 6002}, {"Defect Pixel Data : ", 6005},
    {"FPN Data : ", 6006}, {"Firmware Ver. : ", 6007}, {"FPGA Ver. : ", 6008},
};
constexpr int kCameraInfoGroupId = 7021;
constexpr int kZoomId = 4101;

}  // namespace

Page::Page(PageContext& context, int target, QWidget* parent)
    : QWidget(parent),
      context_(context),
      target_(target),
      wheelGuard_(new WheelGuard(this)),
      pictureView_(new PictureView(context.displayImage(), this)),
      rates_(new QLabel(this)),
      topRow_(new QHBoxLayout),
      controlColumn_(new QVBoxLayout),
      bottomRow_(new QHBoxLayout)
{
    rates_->setProperty("controlId", kRatesTextId);
    // A fixed size: a label that may change size has the whole tab widget laid
    // out and repainted at each new text.
    rates_->setFixedSize(rates_->fontMetrics().horizontalAdvance(QStringLiteral("fps DISP:9999 / USB:9999")),
                         rates_->sizeHint().height());

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    topRow_->setSpacing(kRowSpacing);
    bottomRow_->setSpacing(kRowSpacing);
    topRow_->addStretch(1);
    topRow_->addWidget(rates_);
    topRow_->addStretch(1);
    grid->addLayout(topRow_, 0, 0);
    grid->addWidget(pictureView_, 1, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addLayout(bottomRow_, 2, 0);

    auto* column = new QWidget(this);
    column->setObjectName(QStringLiteral("controlColumn"));
    column->setLayout(controlColumn_);
    controlColumn_->setContentsMargins(0, 0, 0, 0);
    controlColumn_->setSpacing(8);
    auto* infoGroup = tagged(new QGroupBox(QStringLiteral("Camera Info"), this), kCameraInfoGroupId);
    auto* info = new QGridLayout(infoGroup);
    info->setVerticalSpacing(2);
    info->setHorizontalSpacing(kRowSpacing);
    // Wide enough for a full serial number, so the box keeps its size as values arrive.
    const int valueWidth = fontMetrics().horizontalAdvance(QStringLiteral("WWWWWWWWWWWWWW"));
    for (int i = 0; i < kCameraInfoLines; ++i) {
        const CameraInfoLine& line = kInfoLines[i];
        info->addWidget(tagged(new QLabel(QString::fromUtf8(line.caption), infoGroup), line.captionId), i, 0);
        auto* value = tagged(new QLabel(infoGroup), line.captionId + 100);
        value->setMinimumWidth(valueWidth);
        info->addWidget(value, i, 1);
        cameraInfo_[static_cast<std::size_t>(i)] = value;
    }
    // A camera that is there but refused: why, and the fix, under the lines.
    deviceProblem_ = new QLabel(infoGroup);
    deviceProblem_->setWordWrap(true);
    deviceProblem_->setMaximumWidth(valueWidth * 2);
    deviceProblem_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    deviceProblem_->hide();
    info->addWidget(deviceProblem_, kCameraInfoLines, 0, 1, 2);
    buildNotice();
    controlColumn_->addWidget(infoGroup, 0, Qt::AlignLeft);
    controlColumn_->addStretch(1);
    grid->addWidget(column, 0, 1, 3, 1);
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(3, 1);
    observer_ = panels().addObserver([this] { refresh(); });
}

Page::~Page()
{
    panels().removeObserver(observer_);
}

void Page::refresh()
{
    const int zoom = state().displayZoom.load(std::memory_order_acquire);
    {
        const QSignalBlocker quiet(zoom_);
        zoom_->setCurrentIndex(zoom);
    }
    showZoom(zoom);
    for (int i = 0; i < kCameraInfoLines; ++i)
        cameraInfo_[static_cast<std::size_t>(i)]->setText(QString::fromStdString(panels().cameraInfo(i)));
    deviceProblem_->setText(QString::fromStdString(panels().deviceProblem()));
    deviceProblem_->setVisible(!panels().deviceProblem().empty());
    showNotice();
    showModel();
}

void Page::showZoom(int zoom)
{
    const bool fit = zoom == kZoomFit;
    if (fit == pictureView_->fit())
        return;
    // Fitted, the picture's cell takes the room the empty column and row
    // right of and below the page's content take otherwise.
    auto* grid = static_cast<QGridLayout*>(layout());
    grid->setColumnStretch(0, fit ? 1 : 0);
    grid->setRowStretch(1, fit ? 1 : 0);
    grid->setColumnStretch(2, fit ? 0 : 1);
    grid->setRowStretch(3, fit ? 0 : 1);
    grid->setAlignment(pictureView_, fit ? Qt::Alignment() : Qt::AlignLeft | Qt::AlignTop);
    pictureView_->setFit(fit);
}

void Page::buildNotice()
{
    // A child of the picture, at its corner in a size of its own: whatever
    // scale the picture is drawn at, the notice reads the same.
    notice_ = new QLabel(pictureView_);
    notice_->setObjectName(QStringLiteral("noCameraNotice"));
    notice_->setWordWrap(true);
    notice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice_->setMargin(8);
    notice_->setAutoFillBackground(true);
    QPalette colours = notice_->palette();
    colours.setColor(QPalette::Window, QColor(0, 0, 0, 190));
    colours.setColor(QPalette::WindowText, Qt::white);
    notice_->setPalette(colours);
    notice_->setFixedWidth(notice_->fontMetrics().horizontalAdvance(QLatin1Char('W')) * 24);
    notice_->move(12, 12);
    notice_->hide();
}

void Page::showNotice()
{
    // A file played back is a picture of its own: no notice over it.
    const std::string text = state().playbackState.load(std::memory_order_acquire) == 0 ? panels().noCameraNotice()
                                                                                         : std::string();
    notice_->setText(QString::fromStdString(text));
    notice_->setAccessibleName(notice_->text());
    notice_->adjustSize();
    notice_->setVisible(!text.empty());
}

QString Page::noCameraNotice() const
{
    return notice_->isVisibleTo(pictureView_) ? notice_->text() : QString();
}

void Page::showNewPicture()
{
    pictureView_->showNewPicture();
}

void Page::setRatesText(const QString& text)
{
    rates_->setText(text);
}

QString Page::cameraInfo(int line) const
{
    if (line < 0 || line >= kCameraInfoLines)
        return {};
    return cameraInfo_[static_cast<std::size_t>(line)]->text();
}

QString Page::deviceProblem() const
{
    return deviceProblem_->text();
}

QPushButton* Page::commandButton(const char* text, int id, int command)
{
    auto* button = tagged(new QPushButton(QString::fromUtf8(text), this), id);
    connect(button, &QPushButton::clicked, this, [this, command] { context_.runCommand(command); });
    commandButtons_.emplace_back(button, command);
    return button;
}

void Page::showCommandState(const CommandState& commands)
{
    for (const auto& [button, command] : commandButtons_)
        button->setEnabled(commands.enabled(command));
    videoCapture_->setText(QString::fromStdString(commands.videoCaptureButton));
    showNotice();  // playback starting or ending
}

void Page::addPageWideControls()
{
    topRow_->insertWidget(0, commandButton("Default", 3001, kCmdLoadDefault));
    topRow_->insertWidget(1, commandButton("Data Write", 3002, kCmdEepromSave));
    topRow_->insertWidget(2, commandButton("Data Read", 3003, kCmdEepromLoad));
    zoom_ = dropDown(zoomEntries(), kZoomId, *wheelGuard_, this, QStringLiteral("Zoom"));
    connect(zoom_, &QComboBox::activated, this, [this](int s) { panels().chooseZoom(s); });
    topRow_->addWidget(zoom_);
    videoCapture_ = commandButton("Video Capture", 3004, kCmdVideoCapture);
    bottomRow_->addWidget(videoCapture_);
    bottomRow_->addWidget(commandButton("Still Capture", 3005, kCmdStillCapture));
    bottomRow_->addWidget(commandButton("Quick Still", kQuickStillButtonId, kCmdQuickStill));
}

void Page::alignGroups(std::span<QGroupBox* const> groups)
{
    int caption = 0, combo = 0;
    for (const QGroupBox* group : groups) {
        const auto* grid = qobject_cast<const QGridLayout*>(group->layout());
        for (int r = 0; grid && r < grid->rowCount(); ++r)
            if (const QLayoutItem* item = grid->itemAtPosition(r, 0))
                if (const auto* label = qobject_cast<const QLabel*>(item->widget()))
                    caption = std::max(caption, label->sizeHint().width());
        for (const QComboBox* box : group->findChildren<QComboBox*>())
            combo = std::max(combo, box->sizeHint().width());
    }
    int width = 0;
    for (QGroupBox* group : groups) {
        if (auto* grid = qobject_cast<QGridLayout*>(group->layout()))
            grid->setColumnMinimumWidth(0, caption);
        for (QComboBox* box : group->findChildren<QComboBox*>())
            box->setMinimumWidth(combo);
        width = std::max(width, group->sizeHint().width());
    }
    for (QGroupBox* group : groups)
        group->setMinimumWidth(width);
}

}  // namespace qdx::viewer
