// The rows the pages' control groups are built of: a slider with its caption
// and value label, a combo box with its caption, a separator. Every control
// carries its identifier, takes the keyboard focus only by click or Tab, and
// leaves the mouse wheel to the window's scrolling unless it has the focus,
// so scrolling over the page never changes the camera. Sizes come from the
// texts they must show, so no text is cut and no label sits on its slider.
// Each caption is its control's buddy, so screen readers name the control by
// it; a slider's value label says whose value it is.
#pragma once

#include <QObject>
#include <QString>

#include <span>

#include "core/model/Settings.h"

class QComboBox;
class QFrame;
class QGridLayout;
class QLabel;
class QSlider;
class QWidget;

namespace qdx::viewer {

// Marks a control with the identifier the design gives it, by which tests
// and the pages find it.
template <typename W>
W* tagged(W* widget, int id)
{
    widget->setProperty("controlId", id);
    return widget;
}

// Passes wheel events over an unfocused control on to its parents.
class WheelGuard final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    // Strong focus for control, and this guard on its wheel.
    void protect(QWidget* control);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

struct SliderRow {
    QLabel* caption = nullptr;
    QSlider* slider = nullptr;
    QLabel* value = nullptr;
    SliderScale scale;

    // Moves the slider without a notification and relabels it.
    void show(int value) const;
    void setEnabled(bool sliderEnabled, bool labelEnabled) const;
};

struct ComboRow {
    QLabel* caption = nullptr;
    QComboBox* box = nullptr;

    // Selects without a notification.
    void show(int selection) const;
    void setEnabled(bool enabled) const;
};

// Identifiers of a row: the control's, its caption's and its value label's.
struct RowIds {
    int control, caption, label = 0;
};

// Slider rows: caption in column 0, slider in 1, value label in 2.
SliderRow addSliderRow(QGridLayout* grid, int row, const char* caption, const SliderScale& scale, RowIds ids,
                       WheelGuard& guard);
// Combo rows: caption in column 0, the box from column 1.
ComboRow addComboRow(QGridLayout* grid, int row, const char* caption, std::span<const char* const> entries,
                     RowIds ids, WheelGuard& guard);
// A drop-down list of entries, entry 0 selected, as wide as its longest entry.
// One without a caption beside it gets name as its accessible name.
QComboBox* dropDown(std::span<const char* const> entries, int id, WheelGuard& guard, QWidget* parent,
                    const QString& name = {});
QFrame* separator(int id, QWidget* parent);

}  // namespace qdx::viewer
