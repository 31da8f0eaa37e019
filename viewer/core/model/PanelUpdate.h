// What the device monitor read from the camera, as an update of the pages'
// values that the GUI thread then applies (PanelModel::apply): the camera's
// settings (all of them on arrival, or those the change mask names), the
// Camera Info lines and the versions. The reads are in core/device. Qt-free.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "SettingRules.h"
#include "Settings.h"

namespace qdx::viewer {

// Camera Info value labels 6101, 6102, 6105..6108: "CIS EEPROM", "CIS S/N",
// "Defect Pixel Data", "FPN Data", "Firmware Ver.", "FPGA Ver.".
inline constexpr int kCameraInfoLines = 6;
// Each Camera Info value while no camera has answered (before the first and
// after one has gone): no text that could pass for a camera's.
inline constexpr const char* kNoCameraValue = "\u2014";

struct PanelUpdate {
    struct Entry {
        Entry(SettingId id, int cameraValue, FpnRule rule = FpnRule::None, std::optional<int> gain = std::nullopt)
            : setting(id), value(cameraValue), fpnRule(rule), rawGain(gain)
        {
        }
        SettingId setting;
        int value;                   // as the camera reports it
        FpnRule fpnRule;
        std::optional<int> rawGain;  // OnChange: the camera's RAW gain, when it could be read
    };

    std::vector<Entry> entries;                                           // applied in this order
    std::array<std::optional<std::string>, kCameraInfoLines> cameraInfo;  // lines to rewrite
    std::optional<bool> cisMemoryValid;
    std::optional<bool> vfpnAvailable;
    // A camera present but refused, for Camera Info and the status line:
    // what to show now ("" when none any more).
    std::optional<std::string> deviceProblem;
    // A camera opened (true) or went (false).
    std::optional<bool> cameraOpen;

    bool empty() const;
};

}  // namespace qdx::viewer
