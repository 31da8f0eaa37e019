#include "PanelModel.h"

#include <algorithm>

#include "QDX_API.h"

namespace qdx::viewer {
namespace {

constexpr int kMode = pictureIndex(SettingId::Mode);
constexpr int kAlc = pictureIndex(SettingId::Alc);
constexpr int kGamma = pictureIndex(SettingId::Gamma);
constexpr int kFlip = pictureIndex(SettingId::ImageFlip);
constexpr int kRotation = pictureIndex(SettingId::ImageRotation);
constexpr int kDpCorr = pictureIndex(SettingId::DpCorrection);
constexpr int kFpnCorr = pictureIndex(SettingId::FpnCorrection);
constexpr int kRawGain = pictureIndex(SettingId::RawGain);

// Modes of "Mode" and of "FPN Corr." the rules name.
constexpr int kMgcMec = 0, kMgcAec = 1, kAgcAec = 2;
constexpr int kFpnOff = 0, kFpnMode1 = 1, kFpnMode2 = 2;

constexpr const char* kInitialCameraInfo[kCameraInfoLines] = {"Yes", "??????????????", "Yes", "Yes", "1.0", "1.0"};

bool fpnLocksGain(int fpn)
{
    return fpn == kFpnMode1 || fpn == kFpnMode2;
}

}  // namespace

void DpTable::clear()
{
    for (int i = 0; i < kEntries; ++i) {
        bytes_[4 * i] = bytes_[4 * i + 2] = kEmpty >> 8;
        bytes_[4 * i + 1] = bytes_[4 * i + 3] = kEmpty & 0xFF;
    }
}

int DpTable::validCount() const
{
    int n = 0;
    while (n < kEntries && valid(n))
        ++n;
    return n;
}

PanelModel::PanelModel(ViewerState& state) : state_(state)
{
    for (int k = 0; k < kPictureSliders; ++k)
        picture_.sliders[static_cast<std::size_t>(k)] = setting(pictureSliderSetting(k)).scale.defaultValue;
    for (int i = 0; i < kCalibrationSliders; ++i)
        calibration_.sliders[static_cast<std::size_t>(i)] = calibrationSliderControl(i).scale.defaultValue;
    std::copy(std::begin(kInitialCameraInfo), std::end(kInitialCameraInfo), cameraInfo_.begin());
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
    const int mode = pictureCombo(kMode), fpn = pictureCombo(kFpnCorr);
    const bool exposureManual = mode == kMgcMec;
    const bool gainManual = mode != kAgcAec && !fpnLocksGain(fpn);
    Enabling e;
    e.exposure = exposureManual;
    e.rawGain = gainManual;
    // A gain locked by FPN correction stays readable, except under "AGC+AEC".
    e.rawGainLabel = gainManual || (fpnLocksGain(fpn) && mode != kAgcAec);
    e.automatic = mode != kMgcMec || pictureCombo(kAlc) != 0;
    e.flip = pictureCombo(kRotation) == 0;
    e.rotation = pictureCombo(kFlip) == 0;
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

void PanelModel::sendPictureSlider(int k)
{
    setting(pictureSliderSetting(k)).send(pictureSlider(k));
}

void PanelModel::sendPictureCombo(int j)
{
    const int s = pictureCombo(j);
    setting(pictureComboSetting(j)).send(j == kMode ? modeToCamera(s) : s);
}

void PanelModel::forceMode(int selection)
{
    picture_.combos[kMode] = selection;
    setting(SettingId::Mode).send(modeToCamera(selection));
}

void PanelModel::setRawGainEverywhere(int gain)
{
    picture_.sliders[kRawGain] = gain;
    setting(SettingId::RawGain).send(gain);
    calibration_.sliders[kRawGain] = gain;
}

void PanelModel::saveFpnGain()
{
    setting(SettingId::RawGain).read(&savedFpnGain_);  // a failed read keeps the gain saved before
    savedFpnGain_ = std::min(savedFpnGain_, kFpnGainCap);
}

void PanelModel::movePictureSlider(int k, int value)
{
    changing([&] {
        picture_.sliders.at(static_cast<std::size_t>(k)) = value;
        sendPictureSlider(k);
        if (k < kThresholdSlider)  // the four settings both pages show
            calibration_.sliders[static_cast<std::size_t>(k)] = value;
    });
}

void PanelModel::choosePictureCombo(int j, int selection)
{
    changing([&] {
        picture_.combos.at(static_cast<std::size_t>(j)) = selection;
        sendPictureCombo(j);
        switch (pictureComboSetting(j)) {
        case SettingId::Mode:
            if (pictureCombo(kAlc) == 1)
                forceMode(kMgcMec);  // with ALC on the Mode stays "MGC+MEC", here and in the camera
            else if (pictureCombo(kFpnCorr) == kFpnMode2)
                setRawGainEverywhere(selection == kAgcAec ? kFpnGainCap : savedFpnGain_);
            break;
        case SettingId::Alc:
            if (selection == 1)
                forceMode(kMgcMec);
            break;
        case SettingId::Gamma:
            calibration_.combos[kCalGammaMode] = selection;
            break;
        case SettingId::DpCorrection:
            calibration_.combos[kCalDpMode] = selection;
            break;
        case SettingId::FpnCorrection:
            if (selection == kFpnMode2)
                saveFpnGain();
            if (fpnLocksGain(selection))
                forceMode(kMgcAec);
            if (selection == kFpnMode2)
                setRawGainEverywhere(savedFpnGain_);
            break;
        default:
            break;
        }
    });
}

void PanelModel::moveCalibrationSlider(int i, int value)
{
    changing([&] {
        calibration_.sliders.at(static_cast<std::size_t>(i)) = value;
        if (const auto shown = calibrationSliderControl(i).shows) {  // the threshold is the viewer's own
            setting(*shown).send(value);
            picture_.sliders[static_cast<std::size_t>(pictureIndex(*shown))] = value;
        }
    });
}

void PanelModel::chooseCalibrationCombo(int j, int selection)
{
    changing([&] {
        calibration_.combos.at(static_cast<std::size_t>(j)) = selection;
        switch (j) {
        case kCalGammaMode:
            setting(SettingId::Gamma).send(selection);
            picture_.combos[kGamma] = selection;
            break;
        case kCalDpMode:
            setting(SettingId::DpCorrection).send(selection);
            picture_.combos[kDpCorr] = selection;
            break;
        case kCalFpnMode:
            if (selection == 1) {
                // Mode2 needs automatic exposure at a RAW gain of at most the cap.
                forceMode(kMgcAec);
                saveFpnGain();
                setRawGainEverywhere(savedFpnGain_);
                picture_.combos[kFpnCorr] = kFpnMode2;
                sendPictureCombo(kFpnCorr);
            } else {
                picture_.combos[kFpnCorr] = kFpnOff;
                sendPictureCombo(kFpnCorr);
            }
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
            sendPictureCombo(kFpnCorr);
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
        picture_.combos[kFpnCorr] = kFpnOff;
        sendPictureCombo(kFpnCorr);
    });
}

void PanelModel::applyPictureDefaults()
{
    changing([&] {
        for (int k = kPictureSliders - 1; k >= 0; --k) {
            picture_.sliders[static_cast<std::size_t>(k)] = setting(pictureSliderSetting(k)).scale.defaultValue;
            sendPictureSlider(k);
        }
        for (int j = 0; j < kPictureCombos; ++j) {
            picture_.combos[static_cast<std::size_t>(j)] = 0;
            sendPictureCombo(j);
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
        const Setting& s = setting(id);
        if (s.control == ControlKind::Slider)
            picture_.sliders[static_cast<std::size_t>(pictureIndex(id))] = cameraValue;
        else if (s.control == ControlKind::Combo)
            picture_.combos[static_cast<std::size_t>(pictureIndex(id))] =
                id == SettingId::Mode ? modeFromCamera(cameraValue) : cameraValue;
        for (int i = 0; i < kCalibrationSliders; ++i)
            if (calibrationSliderControl(i).shows == id)
                calibration_.sliders[static_cast<std::size_t>(i)] = cameraValue;
        for (int j = 0; j < kCalibrationCombos; ++j)
            if (calibrationComboControl(j).shows == id)  // "OFF" / "ON (Mode2)" shows any FPN mode as on
                calibration_.combos[static_cast<std::size_t>(j)] =
                    j == kCalFpnMode ? std::min(cameraValue, 1) : cameraValue;
    });
}

void PanelModel::applyFpnRule(const PanelUpdate::Entry& entry)
{
    const int fpn = entry.value;
    if (entry.fpnRule == FpnRule::OnArrival) {
        if (fpnLocksGain(fpn)) {
            forceMode(kMgcAec);
            setRawGainEverywhere(kFpnGainCap);
        }
        return;
    }
    // A failed gain read keeps the saved gain; the cap applies either way.
    if (entry.rawGain)
        savedFpnGain_ = *entry.rawGain;
    savedFpnGain_ = std::min(savedFpnGain_, kFpnGainCap);
    if (fpnLocksGain(fpn))
        forceMode(kMgcAec);
    if (fpn == kFpnMode2)
        setRawGainEverywhere(savedFpnGain_);
}

void PanelModel::apply(const PanelUpdate& update)
{
    changing([&] {
        for (const PanelUpdate::Entry& entry : update.entries) {
            showCameraValue(entry.setting, entry.value);
            if (entry.fpnRule != FpnRule::None)
                applyFpnRule(entry);
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
    });
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
