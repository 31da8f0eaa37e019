#include "PanelRefresh.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "QDX_API.h"

namespace qdx::viewer {
namespace {

using Kind = PanelUpdate::Kind;

// Where a camera setting is shown.
enum class Show {
    None,
    Slider,      // Picture slider
    SliderBoth,  // Picture slider and the Calibration slider of the same index
    Combo,       // Picture combo
    Mode,        // Picture "Mode", camera modes above 2 shown as entry 2
    Gamma,       // Picture combo and the Calibration gamma mode
    DpCorr,      // Picture combo and the Calibration defect-pixel mode
    FpnCorr,     // Picture combo and the Calibration FPN mode (at most 1)
};

struct Setting {
    int (*get)(int*) = nullptr;
    int (*getAt)(int, int*) = nullptr;
    int at = 0;
    Show show = Show::None;
    int index = 0;
};

constexpr Setting plain(int (*get)(int*), Show show, int index)
{
    return {get, nullptr, 0, show, index};
}
constexpr Setting indexed(int (*get)(int, int*), int at, Show show, int index)
{
    return {nullptr, get, at, show, index};
}

// The settings behind camera registers 0..47, as the change mask names them;
// registers the viewer does not follow (among them AWB) have Show::None.
constexpr int kMaskRegisters = 48;
std::array<Setting, kMaskRegisters> changeMaskSettings()
{
    std::array<Setting, kMaskRegisters> s{};
    s[0] = indexed(QDX_Get_ControlMode, 0, Show::Mode, picture::kMode);
    s[1] = indexed(QDX_Get_ControlMode, 1, Show::Combo, picture::kAlc);
    s[2] = plain(QDX_Get_BlackLevel, Show::SliderBoth, 0);
    s[3] = plain(QDX_Get_ExposureTime, Show::SliderBoth, 1);
    s[4] = plain(QDX_Get_RawGain, Show::SliderBoth, 2);
    s[5] = plain(QDX_Get_ControlTarget, Show::SliderBoth, 3);
    for (int i = 0; i < 4; ++i)
        s[6 + i] = indexed(QDX_Get_Hysteresis, i, Show::Slider, 4 + i);
    s[10] = plain(QDX_Get_ControlSpeed, Show::Combo, 2);
    s[11] = indexed(QDX_Get_ControlMonitor, 0, Show::Combo, 3);
    s[12] = indexed(QDX_Get_ControlMonitor, 1, Show::Combo, 4);
    s[17] = indexed(QDX_Get_GainRB, 0, Show::Slider, 8);
    s[18] = indexed(QDX_Get_GainRB, 1, Show::Slider, 9);
    for (int i = 0; i < 9; ++i)
        s[19 + i] = indexed(QDX_Get_ColorMatrix, i, Show::Slider, 10 + i);
    for (int i = 0; i < 3; ++i)
        s[28 + i] = indexed(QDX_Get_GainYC, i, Show::Slider, 19 + i);
    s[33] = plain(QDX_Get_Gamma, Show::Gamma, picture::kGamma);
    s[34] = plain(QDX_Get_ImageFlip, Show::Combo, picture::kImageFlip);
    s[35] = plain(QDX_Get_ImageRotation, Show::Combo, picture::kImageRotation);
    s[36] = plain(QDX_Get_DVIImageSize, Show::Combo, 8);
    s[37] = plain(QDX_Get_DP_Corr, Show::DpCorr, picture::kDpCorr);
    s[38] = plain(QDX_Get_FPN_Corr, Show::FpnCorr, picture::kFpnCorr);
    s[39] = plain(QDX_Get_NoiseReduction, Show::Combo, 11);
    s[40] = plain(QDX_Get_EdgeEnhancement, Show::Combo, 12);
    s[41] = plain(QDX_Get_VFPN_Corr, Show::Combo, picture::kVfpnCorr);
    return s;
}

// Reads the setting; false (and nothing shown) when the getter fails.
bool readInto(const Setting& s, PanelUpdate& out, int* read = nullptr)
{
    if (s.show == Show::None)
        return false;  // a register the viewer does not follow: nothing to read
    int v = 0;
    if ((s.get ? s.get(&v) : s.getAt(s.at, &v)) != 0)
        return false;
    auto add = [&](Kind kind, int index, int value) { out.entries.push_back({kind, index, value}); };
    switch (s.show) {
    case Show::None:
        break;
    case Show::Slider:
        add(Kind::PictureSlider, s.index, v);
        break;
    case Show::SliderBoth:
        add(Kind::PictureSlider, s.index, v);
        add(Kind::CalibrationSlider, s.index, v);
        break;
    case Show::Combo:
        add(Kind::PictureCombo, s.index, v);
        break;
    case Show::Mode:
        add(Kind::PictureCombo, s.index, std::min(v, 2));
        break;
    case Show::Gamma:
        add(Kind::PictureCombo, s.index, v);
        add(Kind::CalibrationCombo, calibration::kGammaMode, v);
        break;
    case Show::DpCorr:
        add(Kind::PictureCombo, s.index, v);
        add(Kind::CalibrationCombo, calibration::kDpMode, v);
        break;
    case Show::FpnCorr:
        add(Kind::PictureCombo, s.index, v);
        add(Kind::CalibrationCombo, calibration::kFpnMode, std::min(v, 1));
        break;
    }
    if (read)
        *read = v;
    return true;
}

std::string versionText(int major, int minor)
{
    char text[80];
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

bool PanelUpdate::empty() const
{
    return entries.empty() && !cisMemoryValid && !vfpnAvailable && !runEnabling &&
           std::none_of(cameraInfo.begin(), cameraInfo.end(), [](const auto& line) { return line.has_value(); });
}

void MonitorMemory::forget()
{
    cameraInfo.fill("0");
}

void readCameraInfo(MonitorMemory& memory, PanelUpdate& out)
{
    int state = 0;
    if (QDX_Check_CISFlash(&state) != 0)
        state = 0;
    std::string serial;
    if (state == 2) {
        unsigned char buffer[64] = {};
        if (QDX_Load_CIS_SerialNo(buffer) == 0)
            serial.assign(reinterpret_cast<const char*>(buffer), strnlen(reinterpret_cast<const char*>(buffer), 14));
    }
    const char* tables = state == 0 ? "" : state == 2 ? "Yes" : "No";
    writeLine(memory, out, 0, state == 0 ? "No" : "Yes");
    writeLine(memory, out, 1, serial);
    writeLine(memory, out, 2, tables);
    writeLine(memory, out, 3, tables);

    const bool valid = state == 2;
    if (valid != memory.cisMemoryValid) {
        memory.cisMemoryValid = valid;
        out.cisMemoryValid = valid;
    }
}

void readVersions(PanelUpdate& out)
{
    unsigned char info[64] = {};
    if (QDX_GetDevInfo(sizeof info, info) == 0)
        out.cameraInfo[4] = versionText(info[2], info[3]);
    int v = 0;
    if (QDX_Get_FPGA_Ver(&v) == 0) {
        const int major = (v >> 4) & 0xF;
        out.cameraInfo[5] = versionText(major, v & 0xF) + ((v & 0xF00) ? " (B)" : " (A)");
        out.vfpnAvailable = major >= 2;
    }
}

void readAll(PanelUpdate& out)
{
    const auto s = changeMaskSettings();
    readInto(s[0], out);
    readInto(s[1], out);
    for (int reg : {2, 3, 4, 6, 7, 8, 9, 5, 10, 11, 12})
        readInto(s[static_cast<std::size_t>(reg)], out);
    int awb = 0;
    QDX_Get_AWB(&awb);  // read as the camera expects, not shown
    for (int reg = 17; reg <= 30; ++reg)
        readInto(s[static_cast<std::size_t>(reg)], out);
    for (int reg : {33, 34, 35, 36, 37})
        readInto(s[static_cast<std::size_t>(reg)], out);
    int fpn = 0;
    if (readInto(s[38], out, &fpn))
        out.entries.push_back({Kind::FpnRuleOnArrival, fpn, 0});
    for (int reg : {39, 40, 41})
        readInto(s[static_cast<std::size_t>(reg)], out);
    readInto(plain(QDX_Get_CIS_ClockPhase, Show::Slider, 22), out);
    out.runEnabling = true;
}

void readChanges(PanelUpdate& out)
{
    unsigned char mask[6] = {};
    if (QDX_GetFpgaStatus(sizeof mask, mask) != 0)
        return;
    const auto s = changeMaskSettings();
    for (int reg = 0; reg < kMaskRegisters; ++reg) {
        if (!(mask[reg / 8] & (1u << (reg % 8))))
            continue;
        int fpn = 0;
        if (readInto(s[static_cast<std::size_t>(reg)], out, &fpn) && s[static_cast<std::size_t>(reg)].show == Show::FpnCorr) {
            int gain = 0;
            const bool gainRead = QDX_Get_RawGain(&gain) == 0;
            out.entries.push_back({Kind::FpnRuleOnChange, fpn, gain, gainRead});
        }
    }
    if (std::any_of(std::begin(mask), std::end(mask), [](unsigned char b) { return b != 0; }))
        out.runEnabling = true;
}

void clearCameraInfo(MonitorMemory& memory, PanelUpdate& out)
{
    for (auto& line : out.cameraInfo)
        line = std::string();
    memory.forget();
}

void applyPanelUpdate(const PanelUpdate& update, const PanelTargets& to)
{
    if (to.cameraInfo)
        for (int line = 0; line < kCameraInfoLines; ++line)
            if (const auto& text = update.cameraInfo[static_cast<std::size_t>(line)])
                to.cameraInfo(line, *text);
    PicturePanel* picture = to.picture;
    CalibrationPanel* calibration = to.calibration;
    // The RAW gain that FPN correction forces, on both pages and in the camera.
    auto forceRawGain = [&](int gain) {
        if (picture)
            picture->setSlider(picture::kRawGainSlider, gain);
        QDX_Set_RawGain(gain);
        if (calibration)
            calibration->setSlider(picture::kRawGainSlider, gain);
    };
    auto forceMgcAec = [&] {
        if (picture)
            picture->selectCombo(picture::kMode, 1);
        QDX_Set_ControlMode(0, 1);
    };
    for (const PanelUpdate::Entry& e : update.entries) {
        switch (e.kind) {
        case Kind::PictureSlider:
            if (picture)
                picture->setSlider(e.index, e.value);
            break;
        case Kind::PictureCombo:
            if (picture)
                picture->selectCombo(e.index, e.value);
            break;
        case Kind::CalibrationSlider:
            if (calibration)
                calibration->setSlider(e.index, e.value);
            break;
        case Kind::CalibrationCombo:
            if (calibration)
                calibration->selectCombo(e.index, e.value);
            break;
        case Kind::FpnRuleOnArrival:
            if (e.index == 1 || e.index == 2) {
                forceMgcAec();
                forceRawGain(64);
            }
            break;
        case Kind::FpnRuleOnChange: {
            // A failed gain read keeps the saved gain; the cap applies either way.
            int unshared = 64;
            int& saved = to.shared ? to.shared->savedFpnGain : unshared;
            if (e.hasValue)
                saved = e.value;
            saved = std::min(saved, 64);
            if (e.index == 1 || e.index == 2)
                forceMgcAec();
            if (e.index == 2)
                forceRawGain(saved);
            break;
        }
        }
    }
    if (update.vfpnAvailable && picture)
        picture->setVfpnAvailable(*update.vfpnAvailable);
    if (update.cisMemoryValid && to.shared && to.shared->cisMemoryValid != *update.cisMemoryValid) {
        to.shared->cisMemoryValid = *update.cisMemoryValid;
        if (calibration)
            calibration->cisMemoryValidChanged(*update.cisMemoryValid);
    }
    if (update.runEnabling) {
        if (picture)
            picture->applyEnablingRules();
        if (calibration)
            calibration->applyFpnModeRule();
    }
}

}  // namespace qdx::viewer
