// The Picture page's controls as data: every slider and combo with its
// caption, range, default, label format and the export that sends it, and the
// enabling rules. Qt-free, so the monitor and tests use it without widgets.
#pragma once

#include <array>
#include <span>
#include <string>

#include "PanelLinks.h"

namespace qdx::viewer::picture {

enum class LabelFormat { Integer, Milliseconds, Times, Decibel, Fraction };

struct SliderSpec {
    const char* caption;
    int minimum, maximum, defaultValue;
    LabelFormat format;
    double factor;
};

struct ComboSpec {
    const char* caption;
    std::span<const char* const> entries;
};

// Identifiers: slider 5101 + k, its value label 5201 + k, caption 5001 + k;
// combo 4102 + j, caption 4002 + j.
inline constexpr int kSliderId = 5101, kSliderLabelId = 5201, kSliderCaptionId = 5001;
inline constexpr int kComboId = 4102, kComboCaptionId = 4002;
inline constexpr int kZoomId = 4101, kGroupSelectorId = 7003;

// Slider indexes other code refers to.
inline constexpr int kExposureSlider = 1;
inline constexpr int kTargetSlider = 3;
inline constexpr int kRedGainSlider = 8;
inline constexpr int kFineAdjSlider = 22;

const std::array<SliderSpec, kPictureSliders>& sliders();
const std::array<ComboSpec, kPictureCombos>& combos();
std::span<const char* const> zoomEntries();
std::span<const char* const> groupNames();

// The step of a click beside the thumb.
int pageStep(const SliderSpec& spec);

// The value label's text for slider index k showing v.
std::string labelText(int k, int v);

// The camera's control mode for a "Mode" selection (selection 2 is mode 3),
// and the selection that shows a camera mode (above 2 shows as 2).
int modeToCamera(int selection);
int modeFromCamera(int mode);

// Send slider k's value / combo j's selection with its export. Results are
// ignored: the page keeps what the operator chose. Any thread.
void sendSlider(int k, int v);
void sendCombo(int j, int s);

// Which of the Picture page's control sets may be used, from the combo
// selections.
struct EnableState {
    bool exposureManual = true;
    bool rawGainManual = true;
    bool automaticControl = true;
    bool flipAllowed = true;
    bool rotationAllowed = true;
    bool operator==(const EnableState&) const = default;
};
EnableState enableState(const std::array<int, kPictureCombos>& combos);

}  // namespace qdx::viewer::picture
