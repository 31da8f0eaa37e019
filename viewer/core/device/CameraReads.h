// The device monitor's reads of the camera, each adding to a PanelUpdate.
// They call the library only. Qt-free.
#pragma once

#include <array>
#include <string>

#include "core/model/PanelUpdate.h"

namespace qdx::viewer {

// The monitor thread's own memory between polls.
struct MonitorMemory {
    std::array<std::string, kCameraInfoLines> cameraInfo;  // the text last written to each line
    bool cisMemoryValid = true;                            // as last reported
    std::string deviceProblem;                             // as last reported
    void forget();                                         // every line to "0"
};

// Library reads, for the monitor thread (or any thread that may call the library).
void readCameraInfo(MonitorMemory& memory, PanelUpdate& out);
void readVersions(PanelUpdate& out);
// Every setting, in the order the camera expects them read.
void readAll(PanelUpdate& out);
// The settings whose change-mask bits are set; nothing when the mask cannot be read.
void readChanges(PanelUpdate& out);
// The Camera Info values back to dashes after the camera has gone.
void clearCameraInfo(MonitorMemory& memory, PanelUpdate& out);
// While no camera is open: a refused camera's text when it differs from what
// was last reported. open: a camera is open, so there is none.
void reportDeviceProblem(MonitorMemory& memory, PanelUpdate& out, bool open);

}  // namespace qdx::viewer
