// A camera that is present but could not be opened, as people are told about
// it: by qdxctl and in the viewer's status line and Camera Info. Reads the
// library (QDX_GetDeviceProblem) and the device node's owner. Qt-free.
#pragma once

#include <optional>
#include <string>

#include "QDX_API.h"

namespace qdx::viewer {

struct DeviceProblemReport {
    QDX_DEVICE_PROBLEM raw{};
    std::string device;  // "bus 001 device 005, ID cafe:4242"
    std::string reason;  // "permission denied", "in use by another program", "could not be opened"
    std::string key;     // the same for --json: "permission_denied", "busy", "other"
    std::string fix;     // what a person can do about it
    std::string group;   // the group that owns the node, when joining it would give access

    // One line: "Camera bus 001 device 005, ID cafe:4242: permission denied".
    std::string summary() const;
};

// The library's report while no camera is open; nothing when there is none.
// Any thread that may call the library.
std::optional<DeviceProblemReport> readDeviceProblem();

// The texts for a report (reads the node's owner with stat).
DeviceProblemReport describeDeviceProblem(const QDX_DEVICE_PROBLEM& problem);

}  // namespace qdx::viewer
