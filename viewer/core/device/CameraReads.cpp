#include "CameraReads.h"

#include <cstdio>
#include <cstring>

#include "DeviceProblem.h"
#include "QDX_API.h"

namespace qdx::viewer {
namespace {

using S = SettingId;

// The order in which the camera's settings are read on its arrival.
constexpr SettingId kFullRead[] = {
    S::Mode, S::Alc, S::BlackLevel, S::ExposureTime, S::RawGain,
    S::HysteresisA1, S::HysteresisA2, S::HysteresisB1, S::HysteresisB2, S::ControlTarget,
    S::ControlSpeed, S::ControlArea1, S::ControlArea2, S::OnePushAwb, S::RedGain, S::BlueGain,
    S::MatrixRr, S::MatrixRg, S::MatrixRb, S::MatrixGr, S::MatrixGg, S::MatrixGb, S::MatrixBr, S::MatrixBg, S::MatrixBb,
    S::YGain, S::CbGain, S::CrGain, S::Gamma, S::ImageFlip, S::ImageRotation, S::DviImageSize, S::DpCorrection,
    S::FpnCorrection, S::NoiseReduction, S::EdgeEnhancement, S::VfpnCorrection, S::FineAdjust,
};
static_assert(std::size(kFullRead) == kSettingCount);

constexpr int kMaskRegisters = 48;

std::string versionText(int major, int minor)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d", major, minor);
    return text;
}

void writeLine(MonitorMemory& memory, PanelUpdate& out, int line, std::string text)
{
    auto& cached = memory.cameraInfo[static_cast<std::size_t>(line)];
    if (cached == text)
        return;
    cached = text;
    out.cameraInfo[static_cast<std::size_t>(line)] = std::move(text);
}

}  // namespace

void MonitorMemory::forget()
{
    cameraInfo.fill("0");
}

void readCameraInfo(MonitorMemory& memory, PanelUpdate& out)
{
    int state = QDX_CIS_FLASH_ABSENT;
    if (QDX_Check_CISFlash(&state) != QDX_OK)
        state = QDX_CIS_FLASH_ABSENT;
    std::string serial;
    if (state == QDX_CIS_FLASH_VALID) {
        unsigned char buffer[64] = {};
        if (QDX_Load_CIS_SerialNo(buffer) == QDX_OK)
            serial.assign(reinterpret_cast<const char*>(buffer), strnlen(reinterpret_cast<const char*>(buffer), 14));
    }
    const char* tables = state == QDX_CIS_FLASH_ABSENT ? "" : state == QDX_CIS_FLASH_VALID ? "Yes" : "No";
    writeLine(memory, out, 0, state == QDX_CIS_FLASH_ABSENT ? "No" : "Yes");
    writeLine(memory, out, 1, serial);
    writeLine(memory, out, 2, tables);
    writeLine(memory, out, 3, tables);

    const bool valid = state == QDX_CIS_FLASH_VALID;
    if (valid != memory.cisMemoryValid) {
        memory.cisMemoryValid = valid;
        out.cisMemoryValid = valid;
    }
}

void readVersions(PanelUpdate& out)
{
    unsigned char info[64] = {};
    if (QDX_GetDevInfo(sizeof info, info) == QDX_OK)
        out.cameraInfo[4] = versionText(info[2], info[3]);
    int v = 0;
    if (QDX_Get_FPGA_Ver(&v) == QDX_OK) {
        const int major = (v >> 4) & 0xF;
        out.cameraInfo[5] = versionText(major, v & 0xF) + ((v & 0xF00) ? " (B)" : " (A)");
        out.vfpnAvailable = major >= 2;
    }
}

void readAll(PanelUpdate& out)
{
    for (SettingId id : kFullRead) {
        int v = 0;
        if (setting(id).read(&v) != QDX_OK || setting(id).control == ControlKind::None)
            continue;  // a failed read leaves the control as it is; AWB is read, not shown
        out.entries.emplace_back(id, v, id == S::FpnCorrection ? FpnRule::OnArrival : FpnRule::None);
    }
}

void readChanges(PanelUpdate& out)
{
    unsigned char mask[6] = {};
    if (QDX_GetFpgaStatus(sizeof mask, mask) != QDX_OK)
        return;
    for (int reg = 0; reg < kMaskRegisters; ++reg) {
        if (!(mask[reg / 8] & (1u << (reg % 8))))
            continue;
        const auto id = settingOfRegister(reg);  // registers no page shows (AWB among them) read nothing
        int v = 0;
        if (!id || setting(*id).read(&v) != QDX_OK)
            continue;
        PanelUpdate::Entry entry(*id, v);
        if (*id == S::FpnCorrection) {
            entry.fpnRule = FpnRule::OnChange;
            if (int gain = 0; QDX_Get_RawGain(&gain) == QDX_OK)
                entry.rawGain = gain;
        }
        out.entries.push_back(entry);
    }
}

void reportDeviceProblem(MonitorMemory& memory, PanelUpdate& out, bool open)
{
    std::string text;
    if (!open) {
        if (const auto problem = readDeviceProblem())
            text = problem->summary() + ". To fix: " + problem->fix + ".";
    }
    if (text == memory.deviceProblem)
        return;
    memory.deviceProblem = text;
    out.deviceProblem = std::move(text);
}

void clearCameraInfo(MonitorMemory& memory, PanelUpdate& out)
{
    for (auto& line : out.cameraInfo)
        line = kNoCameraValue;
    memory.forget();
}

}  // namespace qdx::viewer
