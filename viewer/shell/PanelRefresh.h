// What the device monitor reads from the camera, as an update of the pages'
// values that the GUI thread then applies: the camera's settings (full read
// or those named by the change mask), the Camera Info lines and the versions.
// Reading calls the library only; applying touches the panels only. Qt-free.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "pages/PanelLinks.h"

namespace qdx::viewer {

inline constexpr int kCameraInfoLines = 6;  // value labels 6101, 6102, 6105..6108

struct PanelUpdate {
    enum class Kind {
        PictureSlider,
        PictureCombo,
        CalibrationSlider,
        CalibrationCombo,
        FpnRuleOnArrival,  // index: the camera's FPN correction
        FpnRuleOnChange,   // index: the camera's FPN correction; value: its RAW gain when hasValue
    };
    struct Entry {
        Kind kind;
        int index;
        int value;
        bool hasValue = true;
    };

    std::vector<Entry> entries;                                       // applied in this order
    std::array<std::optional<std::string>, kCameraInfoLines> cameraInfo;  // lines to rewrite
    std::optional<bool> cisMemoryValid;
    std::optional<bool> vfpnAvailable;
    bool runEnabling = false;

    bool empty() const;
};

// The monitor thread's own memory between polls.
struct MonitorMemory {
    std::array<std::string, kCameraInfoLines> cameraInfo;  // the text last written to each line
    bool cisMemoryValid = true;                            // as last reported
    void forget();                                         // every line to "0"
};

// Library reads, monitor thread (or any thread that may call the library).
void readCameraInfo(MonitorMemory& memory, PanelUpdate& out);
void readVersions(PanelUpdate& out);
// Every setting, in the order the camera expects them read, ending with the enabling.
void readAll(PanelUpdate& out);
// The settings whose change-mask bits are set.
void readChanges(PanelUpdate& out);
// The Camera Info values emptied after the camera has gone.
void clearCameraInfo(MonitorMemory& memory, PanelUpdate& out);

// GUI thread. calibration may be null (that page does not offer its panel).
struct PanelTargets {
    PicturePanel* picture = nullptr;
    CalibrationPanel* calibration = nullptr;
    PanelShared* shared = nullptr;
    std::function<void(int line, const std::string& text)> cameraInfo;  // on both pages
};
void applyPanelUpdate(const PanelUpdate& update, const PanelTargets& to);

}  // namespace qdx::viewer
