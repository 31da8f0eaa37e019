#include "Page.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "PictureView.h"
#include "shell/Commands.h"
#include "shell/MainWindow.h"
#include "shell/ViewerProgram.h"

namespace qdx::viewer {
namespace {

// Width of one control group column, and of the three side by side.
constexpr int kGroupColumnWidth = 340;
constexpr int kWideColumnWidth = 3 * kGroupColumnWidth;

// The "Camera Info" lines: caption, its identifier (the value's is 100 more)
// and the value shown until the device monitor writes it.
struct CameraInfoLine {
    const char* caption;
    int captionId;
    const char* initial;
};
constexpr CameraInfoLine kInfoLines[] = {
    {"CIS EEPROM : ", 6001, "Yes"},        {"CIS S/N : ", 6002, "??????????????"},
    {"Defect Pixel Data : ", 6005, "Yes"}, {"FPN Data : ", 6006, "Yes"},
    {"Firmware Ver. : ", 6007, "1.0"},     {"FPGA Ver. : ", 6008, "1.0"},
};
constexpr int kCameraInfoGroupId = 7021;

// The page-wide buttons and the main window commands they stand for.
struct CommandButton {
    const char* text;
    int id;
    int command;
};
constexpr CommandButton kTopButtons[] = {
    {"Default", 3001, kCmdLoadDefault}, {"Data Write", 3002, kCmdEepromSave}, {"Data Read", 3003, kCmdEepromLoad}};
constexpr CommandButton kBottomButtons[] = {{"Video Capture", 3004, kCmdVideoCapture},
                                            {"Still Capture", 3005, kCmdStillCapture}};

}  // namespace

Page::~Page()
{
    state().displayTarget.store(kNoTarget, std::memory_order_release);
    program_.stopDisplay();
}

MainWindow* Page::mainWindow() const
{
    return qobject_cast<MainWindow*>(window());
}

void Page::forwardCommand(int command)
{
    if (MainWindow* main = mainWindow())
        main->command(command);
}

void Page::addCommandButtons()
{
    int at = 0;
    for (const CommandButton& b : kTopButtons) {
        auto* button = tagged(new QPushButton(QString::fromUtf8(b.text), this), b.id);
        connect(button, &QPushButton::clicked, this, [this, cmd = b.command] { forwardCommand(cmd); });
        topRow_->insertWidget(at++, button);
    }
    for (const CommandButton& b : kBottomButtons) {
        auto* button = tagged(new QPushButton(QString::fromUtf8(b.text), this), b.id);
        connect(button, &QPushButton::clicked, this, [this, cmd = b.command] { forwardCommand(cmd); });
        bottomRow_->addWidget(button);
    }
}

Page::Page(ViewerProgram& program, int target, bool wide, QWidget* parent)
    : QWidget(parent),
      program_(program),
      target_(target),
      wide_(wide),
      pictureView_(new PictureView(*program.displayImage(), this)),
      rates_(new QLabel(this)),
      topRow_(new QHBoxLayout),
      controlColumn_(new QVBoxLayout),
      bottomRow_(new QHBoxLayout),
      cameraInfoGroup_(new QGroupBox(QStringLiteral("Camera Info"), this))
{
    rates_->setProperty("controlId", kRatesTextId);
    rates_->setMinimumWidth(rates_->fontMetrics().horizontalAdvance(QStringLiteral("fps DISP:9999 / USB:9999")));

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 8, 8, 8);
    grid->setHorizontalSpacing(14);
    topRow_->addStretch(1);
    topRow_->addWidget(rates_);
    topRow_->addStretch(1);
    grid->addLayout(topRow_, 0, 0);
    grid->addWidget(pictureView_, 1, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addLayout(bottomRow_, 2, 0);

    // The compact window shows one control group at a time, the wide one all three.
    auto* column = new QWidget(this);
    column->setObjectName(QStringLiteral("controlColumn"));
    column->setMinimumWidth(wide ? kWideColumnWidth : kGroupColumnWidth);
    column->setLayout(controlColumn_);
    controlColumn_->setContentsMargins(0, 0, 0, 0);
    cameraInfoGroup_->setProperty("controlId", kCameraInfoGroupId);
    auto* info = new QGridLayout(cameraInfoGroup_);
    info->setVerticalSpacing(2);
    for (int i = 0; i < 6; ++i) {
        const CameraInfoLine& line = kInfoLines[i];
        auto* caption = new QLabel(QString::fromUtf8(line.caption), cameraInfoGroup_);
        caption->setProperty("controlId", line.captionId);
        auto* value = new QLabel(QString::fromUtf8(line.initial), cameraInfoGroup_);
        value->setProperty("controlId", line.captionId + 100);
        value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("WWWWWWWWWWWWWW")));
        info->addWidget(caption, i, 0);
        info->addWidget(value, i, 1);
        cameraInfo_[static_cast<std::size_t>(i)] = value;
    }
    info->setColumnStretch(2, 1);
    controlColumn_->addWidget(cameraInfoGroup_);
    controlColumn_->addStretch(1);
    grid->addWidget(column, 0, 1, 3, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(3, 1);
}

ViewerState& Page::state()
{
    return program_.state();
}

void Page::showNewPicture()
{
    pictureView_->update();
}

void Page::setRatesText(const QString& text)
{
    rates_->setText(text);
}

void Page::setCameraInfo(int line, const QString& text)
{
    if (line >= 0 && line < static_cast<int>(cameraInfo_.size()))
        cameraInfo_[static_cast<std::size_t>(line)]->setText(text);
}

QString Page::cameraInfo(int line) const
{
    if (line < 0 || line >= static_cast<int>(cameraInfo_.size()))
        return {};
    return cameraInfo_[static_cast<std::size_t>(line)]->text();
}

}  // namespace qdx::viewer
