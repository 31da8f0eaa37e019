#include "DeviceProblem.h"

#include <grp.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace qdx::viewer {
namespace {

// The udev rule shipped with the library (README, "Access without root").
constexpr const char* kRuleFix =
    "install the udev rule 60-qdx-camera.rules with the camera's IDs (README, \"Access without root\"), "
    "then plug the camera in again";

// The group that owns the node, when its members may open it read-write;
// empty otherwise (root's group is no advice to give).
std::string accessGroup(const char* node)
{
    struct stat info{};
    if (node[0] == '\0' || stat(node, &info) != 0 || info.st_gid == 0 ||
        (info.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP))
        return {};
    std::vector<char> buffer(16384);
    group entry{};
    group* found = nullptr;
    if (getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return found->gr_name;
}

}  // namespace

std::string DeviceProblemReport::summary() const
{
    return "Camera " + device + ": " + reason;
}

DeviceProblemReport describeDeviceProblem(const QDX_DEVICE_PROBLEM& problem)
{
    DeviceProblemReport report;
    report.raw = problem;
    char device[64];
    if (problem.busNumber == 0)
        std::snprintf(device, sizeof device, "%d (simulated)", problem.deviceAddress - 1);
    else
        std::snprintf(device, sizeof device, "bus %03d device %03d, ID %04x:%04x", problem.busNumber,
                      problem.deviceAddress, problem.vendorId, problem.productId);
    report.device = device;
    const std::string node(problem.devicePath, strnlen(problem.devicePath, sizeof problem.devicePath));
    switch (problem.reason) {
    case QDX_DEVICE_PROBLEM_PERMISSION:
        report.reason = "permission denied";
        report.key = "permission_denied";
        report.group = accessGroup(node.c_str());
        report.fix = kRuleFix;
        if (!report.group.empty())
            report.fix += ", or join the group \"" + report.group + "\" that owns " + node +
                          " (sudo usermod -aG " + report.group + " $USER, then log in again)";
        break;
    case QDX_DEVICE_PROBLEM_BUSY:
        report.reason = "in use by another program";
        report.key = "busy";
        report.fix = "close the other program that uses the camera";
        break;
    default:
        report.reason = "could not be opened";
        report.key = "other";
        report.fix = "unplug the camera and plug it in again";
        break;
    }
    return report;
}

std::optional<DeviceProblemReport> readDeviceProblem()
{
    QDX_DEVICE_PROBLEM problem{};
    if (QDX_GetDeviceProblem(&problem) != QDX_OK || problem.reason == QDX_DEVICE_PROBLEM_NONE)
        return std::nullopt;
    return describeDeviceProblem(problem);
}

}  // namespace qdx::viewer
