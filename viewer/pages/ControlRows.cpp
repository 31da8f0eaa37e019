#include "ControlRows.h"

#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>

namespace qdx::viewer {
namespace {

constexpr int kSliderWidth = 130;

// The widest text a value label of scale can show.
int widestLabel(const QLabel* label, const SliderScale& scale)
{
    const QFontMetrics metrics = label->fontMetrics();
    int widest = 0;
    for (int v : {scale.minimum, scale.maximum, scale.defaultValue})
        widest = std::max(widest, metrics.horizontalAdvance(QString::fromStdString(scale.labelText(v))));
    return widest + metrics.averageCharWidth();
}

}  // namespace

void WheelGuard::protect(QWidget* control)
{
    control->setFocusPolicy(Qt::StrongFocus);
    control->installEventFilter(this);
}

bool WheelGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Wheel)
        return false;
    auto* control = qobject_cast<QWidget*>(watched);
    if (!control || control->hasFocus())
        return false;
    // Ignored and filtered: Qt hands the wheel on to the parents, up to the
    // scrolled window, and the control never sees it.
    event->ignore();
    return true;
}

void SliderRow::show(int v) const
{
    {
        const QSignalBlocker quiet(slider);
        slider->setValue(v);
    }
    const QString text = QString::fromStdString(scale.labelText(v));
    value->setText(text);
    // A screen reader reads the slider's position ("400"); the operator reads
    // the label ("28.8ms").
    slider->setAccessibleDescription(text);
}

void SliderRow::setEnabled(bool sliderEnabled, bool labelEnabled) const
{
    slider->setEnabled(sliderEnabled);
    value->setEnabled(labelEnabled);
    caption->setEnabled(labelEnabled);
}

void ComboRow::show(int selection) const
{
    const QSignalBlocker quiet(box);
    box->setCurrentIndex(selection);
}

void ComboRow::setEnabled(bool enabled) const
{
    box->setEnabled(enabled);
    caption->setEnabled(enabled);
}

SliderRow addSliderRow(QGridLayout* grid, int row, const char* caption, const SliderScale& scale, RowIds ids,
                       WheelGuard& guard)
{
    QWidget* parent = grid->parentWidget();
    SliderRow r;
    r.scale = scale;
    r.caption = tagged(new QLabel(QString::fromUtf8(caption), parent), ids.caption);
    r.slider = tagged(new QSlider(Qt::Horizontal, parent), ids.control);
    r.slider->setTickPosition(QSlider::NoTicks);
    r.slider->setRange(scale.minimum, scale.maximum);
    r.slider->setPageStep(scale.pageStep());
    r.slider->setSingleStep(1);
    r.slider->setFixedWidth(kSliderWidth);
    guard.protect(r.slider);
    r.value = tagged(new QLabel(parent), ids.label);
    r.value->setMinimumWidth(widestLabel(r.value, scale));
    // The caption names the slider (Qt would take the group's title); the
    // value label says whose value it shows, its text stays the value.
    r.caption->setBuddy(r.slider);
    r.value->setAccessibleDescription(r.caption->text() + QStringLiteral(" value"));
    grid->addWidget(r.caption, row, 0);
    grid->addWidget(r.slider, row, 1);
    grid->addWidget(r.value, row, 2);
    r.show(scale.defaultValue);
    return r;
}

ComboRow addComboRow(QGridLayout* grid, int row, const char* caption, std::span<const char* const> entries,
                     RowIds ids, WheelGuard& guard)
{
    QWidget* parent = grid->parentWidget();
    ComboRow r;
    r.caption = tagged(new QLabel(QString::fromUtf8(caption), parent), ids.caption);
    r.box = dropDown(entries, ids.control, guard, parent);
    r.caption->setBuddy(r.box);
    grid->addWidget(r.caption, row, 0);
    grid->addWidget(r.box, row, 1, 1, 2, Qt::AlignLeft);
    return r;
}

QComboBox* dropDown(std::span<const char* const> entries, int id, WheelGuard& guard, QWidget* parent,
                    const QString& name)
{
    auto* box = tagged(new QComboBox(parent), id);
    // Qt on Linux reports a combo box's current entry as its name and passes
    // no accessible name on; screen readers there read the description.
    box->setAccessibleName(name);
    box->setAccessibleDescription(name);
    for (const char* entry : entries)
        box->addItem(QString::fromUtf8(entry));
    box->setCurrentIndex(0);
    box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    guard.protect(box);
    return box;
}

QFrame* separator(int id, QWidget* parent)
{
    auto* line = tagged(new QFrame(parent), id);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

}  // namespace qdx::viewer
