#include "PanelModel.h"

#include <algorithm>
#include <optional>

#include "QDX_API.h"

namespace qdx::viewer {
namespace {

// The camera's RAW gain, for FPN Mode2.
std::optional<int> readRawGain()
{
    int gain = 0;
    return setting(SettingId::RawGain).read(&gain) == QDX_OK ? std::optional(gain) : std::nullopt;
}

}  // namespace

PanelModel::PanelModel(ViewerState& state) : state_(state)
{
    for (int k = 0; k < kPictureSliders; ++k)
        picture_[pictureSliderSetting(k)] = setting(pictureSliderSetting(k)).scale.defaultValue;
    for (int i = 0; i < kCalibrationSliders; ++i)
        calibration_.sliders[static_cast<std::size_t>(i)] = calibrationSliderControl(i).scale.defaultValue;
    cameraInfo_.fill(kNoCameraValue);
}

int PanelModel::addObserver(std::function<void()> observer)
{
    observers_.emplace_back(++nextObserver_, std::move(observer));
    return nextObserver_;
}

void PanelModel::removeObserver(int id)
{
    std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

template <typename Change>
void PanelModel::changing(Change&& change)
{
    ++depth_;
    change();
    if (--depth_ == 0)
        for (const auto& [id, observer] : observers_)
            observer();
}

Enabling PanelModel::enabling() const
{
    using S = SettingId;
    const int mode = picture_[S::Mode];
    const bool exposureManual = !heldBy(picture_, S::ExposureTime);
    const bool gainManual = !heldBy(picture_, S::RawGain);
    Enabling e;
    e.exposure = exposureManual;
    e.rawGain = gainManual;
    // A gain locked by FPN correction stays readable, except under "AGC+AEC".
    e.rawGainLabel = gainManual || (fpnLocksGain(picture_[S::FpnCorrection]) && mode != kAgcAec);
    e.automatic = mode != kMgcMec || picture_[S::Alc] != 0;
    e.flip = !heldBy(picture_, S::ImageFlip);
    e.rotation = !heldBy(picture_, S::ImageRotation);
    e.vfpn = vfpnAvailable_;
    const bool mode2 = calibrationCombo(kCalFpnMode) == 1;
    // With FPN Mode2 the camera controls exposure to the target at a fixed,
    // readable RAW gain; otherwise the Calibration page follows the Picture page.
    e.calExposure = mode2 ? false : exposureManual;
    e.calTarget = mode2 ? true : !exposureManual;
    e.calRawGain = mode2 ? false : gainManual;
    e.calRawGainLabel = mode2 ? true : gainManual;
    e.dpSave = cisMemoryValid_;
    e.fpnSave = cisMemoryValid_ && mode2;
    return e;
}

void PanelModel::send(SettingId id)
{
    setting(id).send(comboCameraValue(id, picture_[id]));
}

void PanelModel::applyRules(const SettingChanges& changes)
{
    for (const auto& [id, value] : changes) {
        picture_[id] = value;
        send(id);
        for (int i = 0; i < kCalibrationSliders; ++i)
            if (calibrationSliderControl(i).shows == id)
                calibration_.sliders[static_cast<std::size_t>(i)] = value;
    }
}

void PanelModel::movePictureSlider(int k, int value)
{
    changing([&] {
        const SettingId id = pictureSliderSetting(k);
        picture_.values.at(static_cast<std::size_t>(id)) = value;
        send(id);
        if (k < kThresholdSlider)  // the four settings both pages show
            calibration_.sliders[static_cast<std::size_t>(k)] = value;
    });
}

void PanelModel::choosePictureCombo(int j, int selection)
{
    changing([&] {
        const SettingId id = pictureComboSetting(j);
        picture_.values.at(static_cast<std::size_t>(id)) = selection;
        send(id);
        applyRules(followChoice(picture_, id, selection, readRawGain));
        if (id == SettingId::Gamma)
            calibration_.combos[kCalGammaMode] = selection;
        else if (id == SettingId::DpCorrection)
            calibration_.combos[kCalDpMode] = selection;
    });
}

void PanelModel::moveCalibrationSlider(int i, int value)
{
    changing([&] {
        calibration_.sliders.at(static_cast<std::size_t>(i)) = value;
        if (const auto shown = calibrationSliderControl(i).shows) {  // the threshold is the viewer's own
            picture_[*shown] = value;
            send(*shown);
        }
    });
}

void PanelModel::chooseCalibrationCombo(int j, int selection)
{
    changing([&] {
        calibration_.combos.at(static_cast<std::size_t>(j)) = selection;
        switch (j) {
        case kCalGammaMode:
            picture_[SettingId::Gamma] = selection;
            send(SettingId::Gamma);
            break;
        case kCalDpMode:
            picture_[SettingId::DpCorrection] = selection;
            send(SettingId::DpCorrection);
            break;
        case kCalFpnMode:
            // Mode2 needs automatic exposure at a RAW gain of at most the cap,
            // both sent before FPN correction itself.
            applyRules(followChoice(picture_, SettingId::FpnCorrection, selection == 1 ? kFpnMode2 : kFpnOff,
                                    readRawGain));
            send(SettingId::FpnCorrection);
            break;
        default:
            break;  // the defect-pixel type only chooses a table
        }
    });
}

bool PanelModel::activatePicture()
{
    bool aborted = false;
    changing([&] {
        QDX_Set_DataFormat(0);  // colour while this page is shown
        state_.displayTarget.store(kPicturePage, std::memory_order_release);
        state_.calibrationView.store(0, std::memory_order_release);
        if (state_.ready.has(ReadyGate::MainWindow))
            send(SettingId::FpnCorrection);
        aborted = abortCsvExport();
    });
    return aborted;
}

void PanelModel::activateCalibration()
{
    changing([&] {
        QDX_Set_DataFormat(1);  // sensor luma while this page is shown
        state_.calibrationView.store(1, std::memory_order_release);
        state_.displayTarget.store(kCalibrationPage, std::memory_order_release);
        // FPN correction starts off on this page, on the Picture page and in the camera.
        calibration_.combos[kCalFpnMode] = 0;
        picture_[SettingId::FpnCorrection] = kFpnOff;
        send(SettingId::FpnCorrection);
    });
}

void PanelModel::applyPictureDefaults()
{
    changing([&] {
        for (int k = kPictureSliders - 1; k >= 0; --k) {
            const SettingId id = pictureSliderSetting(k);
            picture_[id] = setting(id).scale.defaultValue;
            send(id);
        }
        for (int j = 0; j < kPictureCombos; ++j) {
            picture_[pictureComboSetting(j)] = 0;
            send(pictureComboSetting(j));
        }
    });
}

void PanelModel::applyCalibrationDefaults(bool allSliders)
{
    changing([&] {
        for (int i = allSliders ? 0 : kThresholdSlider; i < kCalibrationSliders; ++i) {
            const CalibrationControl& control = calibrationSliderControl(i);
            calibration_.sliders[static_cast<std::size_t>(i)] = control.scale.defaultValue;
            if (control.shows)
                setting(*control.shows).send(control.scale.defaultValue);
        }
        calibration_.combos.fill(0);
        setting(SettingId::Gamma).send(0);
        setting(SettingId::DpCorrection).send(0);
    });
}

void PanelModel::showCameraValue(SettingId id, int cameraValue)
{
    changing([&] {
        if (setting(id).control != ControlKind::None)
            picture_[id] = id == SettingId::Mode ? modeFromCamera(cameraValue) : cameraValue;
        for (int i = 0; i < kCalibrationSliders; ++i)
            if (calibrationSliderControl(i).shows == id)
                calibration_.sliders[static_cast<std::size_t>(i)] = cameraValue;
        for (int j = 0; j < kCalibrationCombos; ++j)
            if (calibrationComboControl(j).shows == id)  // "OFF" / "ON (Mode2)" shows any FPN mode as on
                calibration_.combos[static_cast<std::size_t>(j)] =
                    j == kCalFpnMode ? std::min(cameraValue, 1) : cameraValue;
    });
}

void PanelModel::apply(const PanelUpdate& update)
{
    changing([&] {
        for (const PanelUpdate::Entry& entry : update.entries) {
            showCameraValue(entry.setting, entry.value);
            if (entry.fpnRule != FpnRule::None)
                applyRules(followFpnReport(picture_, entry.value, entry.fpnRule, entry.rawGain));
        }
        for (int line = 0; line < kCameraInfoLines; ++line)
            if (const auto& text = update.cameraInfo[static_cast<std::size_t>(line)])
                cameraInfo_[static_cast<std::size_t>(line)] = *text;
        if (update.cisMemoryValid)
            cisMemoryValid_ = *update.cisMemoryValid;
        if (update.vfpnAvailable)
            vfpnAvailable_ = *update.vfpnAvailable;
        if (update.deviceProblem)
            deviceProblem_ = *update.deviceProblem;
        if (update.cameraOpen)
            cameraOpen_ = *update.cameraOpen;
    });
}

std::string PanelModel::noCameraNotice() const
{
    if (cameraOpen_)
        return {};
    if (!deviceProblem_.empty())
        return deviceProblem_;
    return "No camera. Waiting for one to be connected\u2026";
}

void PanelModel::chooseZoom(int selection)
{
    changing([&] { state_.displayZoom.store(selection, std::memory_order_release); });
}

bool PanelModel::startCsvExport(std::string chosenPath, int frames)
{
    bool started = false;
    changing([&] { started = state_.csvExport.start(std::move(chosenPath), frames); });
    return started;
}

bool PanelModel::abortCsvExport()
{
    if (!state_.csvExport.active())
        return false;
    bool aborted = false;
    changing([&] { aborted = state_.csvExport.abort(); });
    return aborted;
}

void PanelModel::csvExportEnded()
{
    changing([] {});
}

}  // namespace qdx::viewer
