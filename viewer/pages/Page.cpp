#include "Page.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>

#include "PictureView.h"
#include "shell/Commands.h"
#include "shell/ViewerProgram.h"

namespace qdx::viewer {
namespace {

// Width of one control group column, and of the three side by side.
constexpr int kGroupColumnWidth = 340;
constexpr int kWideColumnWidth = 3 * kGroupColumnWidth;

}  // namespace

Page::Page(ViewerProgram& program, int target, bool wide, QWidget* parent)
    : QWidget(parent),
      program_(program),
      target_(target),
      wide_(wide),
      pictureView_(new PictureView(*program.displayImage(), this)),
      rates_(new QLabel(this)),
      topRow_(new QHBoxLayout),
      controlColumn_(new QVBoxLayout),
      bottomRow_(new QHBoxLayout)
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

}  // namespace qdx::viewer
