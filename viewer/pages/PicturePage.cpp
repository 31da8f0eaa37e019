#include "PicturePage.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include <algorithm>
#include <chrono>
#include <vector>

#include "QDX_API.h"
#include "shell/Commands.h"
#include "shell/Interaction.h"
#include "shell/MainWindow.h"
#include "shell/ViewerProgram.h"

namespace qdx::viewer {
namespace {

using namespace picture;

constexpr int kGroupWidth = 350;
constexpr int kSliderWidth = 130;
constexpr int kComboWidth = 100;
constexpr int kGroupIds[3] = {7011, 7012, 7013};
constexpr int kExecId = 3007, kExecCaptionId = 7008;
constexpr int kStateTextId = 7002;
constexpr auto kWhiteBalanceLimit = std::chrono::milliseconds(5000);

// One row of a control group.
struct Row {
    enum Kind { Slider, Combo, Separator, Exec } kind;
    int index;  // slider or combo index, or the separator's identifier
};

// The rows of each group, top to bottom.
const std::vector<Row> kGroupRows[3] = {
    {{Row::Combo, 0}, {Row::Combo, 1}, {Row::Separator, 7004}, {Row::Slider, 0}, {Row::Slider, 1},
     {Row::Slider, 2}, {Row::Separator, 7005}, {Row::Slider, 3}, {Row::Slider, 4}, {Row::Slider, 5},
     {Row::Slider, 6}, {Row::Slider, 7}, {Row::Combo, 2}, {Row::Combo, 3}, {Row::Combo, 4}},
    {{Row::Exec, 0}, {Row::Slider, 8}, {Row::Slider, 9}, {Row::Separator, 7006}, {Row::Slider, 10},
     {Row::Slider, 11}, {Row::Slider, 12}, {Row::Slider, 13}, {Row::Slider, 14}, {Row::Slider, 15},
     {Row::Slider, 16}, {Row::Slider, 17}, {Row::Slider, 18}, {Row::Separator, 7007}, {Row::Slider, 19},
     {Row::Slider, 20}, {Row::Slider, 21}},
    {{Row::Combo, 5}, {Row::Combo, 6}, {Row::Combo, 7}, {Row::Combo, 8}, {Row::Combo, 9}, {Row::Combo, 10},
     {Row::Combo, 11}, {Row::Combo, 12}, {Row::Combo, 13}, {Row::Slider, 22}},
};

// The playback buttons and the main window commands they stand for.
struct PageButton {
    const char* text;
    int id;
    int command;
};
constexpr PageButton kPlaybackButtons[] = {{"Pause / Play", 7016, kCmdPausePlay}, {"Play Stop", 7017, kCmdPlayStop}};

QComboBox* dropDown(std::span<const char* const> entries, int id, QWidget* parent)
{
    auto* box = tagged(new QComboBox(parent), id);
    for (const char* entry : entries)
        box->addItem(QString::fromUtf8(entry));
    box->setCurrentIndex(0);
    return box;
}

}  // namespace

PicturePage::PicturePage(ViewerProgram& program, bool wide, QWidget* parent)
    : Page(program, kPicturePage, wide, parent)
{
    buildControls();
    state().displayTarget.store(kPicturePage, std::memory_order_release);
    program.startDisplay();
    state().picturePageReady.store(1, std::memory_order_release);
}

PicturePage::~PicturePage() = default;

void PicturePage::buildControls()
{
    // Page-wide rows: three buttons, the rates line and the zoom above the
    // picture; capture, playback and the state text below.
    addCommandButtons();
    zoom_ = dropDown(zoomEntries(), kZoomId, this);
    connect(zoom_, &QComboBox::activated, this, [this](int s) {
        state().displayZoom.store(s, std::memory_order_release);
        if (CalibrationPanel* calibration = calibrationPanel())
            calibration->showZoom(s);
    });
    topRow()->addWidget(zoom_);
    bottomRow()->addSpacing(100);
    for (const PageButton& b : kPlaybackButtons) {
        auto* button = tagged(new QPushButton(QString::fromUtf8(b.text), this), b.id);
        connect(button, &QPushButton::clicked, this, [this, cmd = b.command] { forwardCommand(cmd); });
        bottomRow()->addWidget(button);
    }
    stateText_ = tagged(new QLabel(QStringLiteral("LIVE"), this), kStateTextId);
    stateText_->setAlignment(Qt::AlignCenter);
    stateText_->setFrameShape(QFrame::Box);
    stateText_->setMinimumWidth(180);
    bottomRow()->addWidget(stateText_);
    bottomRow()->addStretch(1);

    groupSelector_ = dropDown(groupNames(), kGroupSelectorId, this);
    connect(groupSelector_, &QComboBox::activated, this, &PicturePage::showGroup);
    for (int g = 0; g < 3; ++g)
        groups_[static_cast<std::size_t>(g)] = buildGroup(g);

    // Labels first, then the defaults through the page's own operation.
    for (int k = 0; k < kPictureSliders; ++k) {
        const SliderSpec& spec = sliders()[static_cast<std::size_t>(k)];
        QSlider* s = sliders_[static_cast<std::size_t>(k)];
        const QSignalBlocker quiet(s);
        s->setRange(spec.minimum, spec.maximum);
        s->setPageStep(pageStep(spec));
        setSlider(k, spec.defaultValue);
    }
    for (int j = 0; j < kPictureCombos; ++j)
        selectCombo(j, 0);
    placeGroups();
}

QGroupBox* PicturePage::buildGroup(int g)
{
    auto* box = tagged(new QGroupBox(QString::fromUtf8(groupNames()[static_cast<std::size_t>(g)]), this), kGroupIds[g]);
    box->setFixedWidth(kGroupWidth);
    auto* grid = new QGridLayout(box);
    grid->setVerticalSpacing(4);
    grid->setColumnMinimumWidth(0, 128);
    grid->setColumnMinimumWidth(2, 60);
    int r = 0;
    for (const Row& row : kGroupRows[g]) {
        switch (row.kind) {
        case Row::Slider: {
            const auto k = static_cast<std::size_t>(row.index);
            sliderCaptions_[k] = tagged(new QLabel(QString::fromUtf8(sliders()[k].caption), box), kSliderCaptionId + row.index);
            auto* s = tagged(new QSlider(Qt::Horizontal, box), kSliderId + row.index);
            s->setTickPosition(QSlider::NoTicks);
            s->setFixedWidth(kSliderWidth);
            connect(s, &QSlider::valueChanged, this, [this, k = row.index](int v) { onSliderMoved(k, v); });
            sliders_[k] = s;
            sliderLabels_[k] = tagged(new QLabel(box), kSliderLabelId + row.index);
            grid->addWidget(sliderCaptions_[k], r, 0);
            grid->addWidget(s, r, 1);
            grid->addWidget(sliderLabels_[k], r, 2);
            break;
        }
        case Row::Combo: {
            const auto j = static_cast<std::size_t>(row.index);
            comboCaptions_[j] = tagged(new QLabel(QString::fromUtf8(combos()[j].caption), box), kComboCaptionId + row.index);
            auto* c = dropDown(combos()[j].entries, kComboId + row.index, box);
            c->setFixedWidth(kComboWidth);
            // activated: the operator confirmed a selection (also the same one again).
            connect(c, &QComboBox::activated, this, [this, j = row.index](int s) { onComboConfirmed(j, s); });
            combos_[j] = c;
            grid->addWidget(comboCaptions_[j], r, 0);
            grid->addWidget(c, r, 1, Qt::AlignLeft);
            break;
        }
        case Row::Separator: {
            auto* line = tagged(new QFrame(box), row.index);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            grid->addWidget(line, r, 0, 1, 3);
            break;
        }
        case Row::Exec: {
            grid->addWidget(tagged(new QLabel(QStringLiteral("1Push AWB"), box), kExecCaptionId), r, 0);
            auto* exec = tagged(new QPushButton(QStringLiteral("Exec"), box), kExecId);
            connect(exec, &QPushButton::clicked, this, &PicturePage::runWhiteBalance);
            grid->addWidget(exec, r, 1, Qt::AlignLeft);
            break;
        }
        }
        ++r;
    }
    grid->setRowStretch(r, 1);
    return box;
}

void PicturePage::placeGroups()
{
    // Below the "Camera Info" group of the page base, above its closing stretch.
    QBoxLayout* column = controlColumn();
    column->insertWidget(column->count() - 1, groupSelector_, 0, Qt::AlignLeft);
    auto* groups = new QHBoxLayout;
    groups->setContentsMargins(0, 0, 0, 0);
    for (QGroupBox* box : groups_)
        groups->addWidget(box, 0, Qt::AlignTop);
    groups->addStretch(1);
    column->insertLayout(column->count() - 1, groups);
    if (wide()) {
        // All three side by side: nothing to choose.
        groupSelector_->setEnabled(false);
        groupSelector_->hide();
    } else {
        showGroup(group_);
    }
}

void PicturePage::showGroup(int group)
{
    group_ = group;
    if (!wide() && group >= 0 && group < 3)
        for (int g = 0; g < 3; ++g)
            groups_[static_cast<std::size_t>(g)]->setVisible(g == group);
    update();
}

void PicturePage::activated()
{
    const unsigned char colour[3] = {0x00, 0x00, 0x00};
    QDX_SetDevStatus(2, colour);
    state().displayTarget.store(kPicturePage, std::memory_order_release);
    state().calibrationView.store(0, std::memory_order_release);
    if (state().mainWindowReady.load(std::memory_order_acquire) == 1)
        sendCombo(kFpnCorr, comboValues_[kFpnCorr]);
    MainWindow* main = mainWindow();
    if (QAction* saveCsv = main ? main->action(kCmdSaveCsv) : nullptr)
        saveCsv->setEnabled(false);
    if (state().csvExportActive.load(std::memory_order_acquire) != 0)
        abortCsvExport();
}

void PicturePage::abortCsvExport()
{
    state().csvExportActive.store(0, std::memory_order_release);
    state().csvFramesRemaining.store(0, std::memory_order_release);
    MainWindow* main = mainWindow();
    if (!main)
        return;
    main->interaction().message(this, QStringLiteral("info"), QStringLiteral("CSV File Save Aborted."),
                                MessageIcon::Warning, MessageButtons::Ok);
    // "Save as CSV" stays greyed here: an export works only on the Calibration
    // page, whose activation enables it again. That page's own CSV controls
    // ("Save as CSV", the frame count and its arrows) are usable again.
    if (Page* calibration = main->page(kCalibrationPage))
        for (QWidget* w : calibration->findChildren<QWidget*>())
            if (const int id = w->property("controlId").toInt(); id >= 7018 && id <= 7020)
                w->setEnabled(true);
}

void PicturePage::setSlider(int index, int value)
{
    if (index < 0 || index >= kPictureSliders)
        return;
    const auto k = static_cast<std::size_t>(index);
    sliderValues_[k] = value;
    {
        const QSignalBlocker quiet(sliders_[k]);
        sliders_[k]->setValue(value);
    }
    sliderLabels_[k]->setText(QString::fromStdString(labelText(index, value)));
}

int PicturePage::slider(int index) const
{
    return index >= 0 && index < kPictureSliders ? sliderValues_[static_cast<std::size_t>(index)] : 0;
}

void PicturePage::selectCombo(int index, int selection)
{
    if (index < 0 || index >= kPictureCombos)
        return;
    const auto j = static_cast<std::size_t>(index);
    comboValues_[j] = selection;
    const QSignalBlocker quiet(combos_[j]);
    combos_[j]->setCurrentIndex(selection);
}

int PicturePage::combo(int index) const
{
    return index >= 0 && index < kPictureCombos ? comboValues_[static_cast<std::size_t>(index)] : 0;
}

CalibrationPanel* PicturePage::calibrationPanel() const
{
    if (calibrationOverride_)
        return calibrationOverride_;
    MainWindow* main = mainWindow();
    return main ? main->calibrationPanel() : nullptr;
}

void PicturePage::onSliderMoved(int k, int value)
{
    sliderValues_[static_cast<std::size_t>(k)] = value;
    sliderLabels_[static_cast<std::size_t>(k)]->setText(QString::fromStdString(labelText(k, value)));
    sendSlider(k, value);
    // The four settings both pages show.
    if (k <= kTargetSlider)
        if (CalibrationPanel* calibration = calibrationPanel())
            calibration->setSlider(k, value);
}

void PicturePage::onComboConfirmed(int j, int selection)
{
    comboValues_[static_cast<std::size_t>(j)] = selection;
    sendCombo(j, selection);
    CalibrationPanel* calibration = calibrationPanel();
    switch (j) {
    case kMode:
        if (comboValues_[kAlc] == 1) {
            // With ALC on the camera's Mode stays "MGC+MEC".
            selectCombo(kMode, 0);
            QDX_Set_ControlMode(0, 0);
            return;
        }
        onModeChosen(selection);
        break;
    case kAlc:
        if (selection == 1) {
            selectCombo(kMode, 0);
            QDX_Set_ControlMode(0, 0);
        }
        break;
    case kGamma:
        if (calibration)
            calibration->selectCombo(calibration::kGammaMode, selection);
        break;
    case kDpCorr:
        if (calibration)
            calibration->selectCombo(calibration::kDpMode, selection);
        break;
    case kFpnCorr:
        onFpnChosen(selection);
        break;
    default:
        break;
    }
    commonEnding();
}

void PicturePage::onModeChosen(int selection)
{
    // Under FPN Mode2 the RAW gain is the saved one, except "AGC+AEC" runs at 64.
    if (comboValues_[kFpnCorr] != 2)
        return;
    setRawGainEverywhere(selection == 2 ? 64 : program().panelShared().savedFpnGain);
}

void PicturePage::onFpnChosen(int selection)
{
    if (selection != 1 && selection != 2)
        return;
    int& saved = program().panelShared().savedFpnGain;
    if (selection == 2) {
        QDX_Get_RawGain(&saved);  // a failed read keeps the saved gain
        saved = std::min(saved, 64);
    }
    selectCombo(kMode, 1);
    QDX_Set_ControlMode(0, 1);
    if (selection == 2)
        setRawGainEverywhere(saved);
}

void PicturePage::setRawGainEverywhere(int gain)
{
    setSlider(kRawGainSlider, gain);
    QDX_Set_RawGain(gain);
    if (CalibrationPanel* calibration = calibrationPanel())
        calibration->setSlider(kRawGainSlider, gain);
}

void PicturePage::commonEnding()
{
    applyEnablingRules();
    if (CalibrationPanel* calibration = calibrationPanel())
        calibration->applyFpnModeRule();
}

void PicturePage::setSliderEnabled(int k, bool on)
{
    const auto i = static_cast<std::size_t>(k);
    sliders_[i]->setEnabled(on);
    sliderLabels_[i]->setEnabled(on);
    sliderCaptions_[i]->setEnabled(on);
}

void PicturePage::setComboEnabled(int j, bool on)
{
    combos_[static_cast<std::size_t>(j)]->setEnabled(on);
    comboCaptions_[static_cast<std::size_t>(j)]->setEnabled(on);
}

void PicturePage::applyEnablingRules()
{
    const EnableState e = enableState(comboValues_);
    if (e.exposureManual != enableCache_.exposureManual)
        setSliderEnabled(kExposureSlider, e.exposureManual);
    if (e.rawGainManual != enableCache_.rawGainManual)
        setSliderEnabled(kRawGainSlider, e.rawGainManual);
    if (CalibrationPanel* calibration = calibrationPanel())
        calibration->followEnabling(e.exposureManual, e.rawGainManual);
    const int fpn = comboValues_[kFpnCorr];
    if (fpn == 1 || fpn == 2) {
        // The locked gain stays readable, except under "AGC+AEC".
        const bool readable = comboValues_[kMode] != 2;
        sliderLabels_[kRawGainSlider]->setEnabled(readable);
        sliderCaptions_[kRawGainSlider]->setEnabled(readable);
    }
    if (e.automaticControl != enableCache_.automaticControl) {
        for (int k = kTargetSlider; k <= 7; ++k)
            setSliderEnabled(k, e.automaticControl);
        for (int j = 2; j <= 4; ++j)
            setComboEnabled(j, e.automaticControl);
    }
    if (e.flipAllowed != enableCache_.flipAllowed)
        setComboEnabled(kImageFlip, e.flipAllowed);
    if (e.rotationAllowed != enableCache_.rotationAllowed)
        setComboEnabled(kImageRotation, e.rotationAllowed);
    enableCache_ = e;
}

void PicturePage::applyDefaults()
{
    for (int k = kPictureSliders - 1; k >= 0; --k) {
        const int v = sliders()[static_cast<std::size_t>(k)].defaultValue;
        setSlider(k, v);
        sendSlider(k, v);
    }
    for (int j = 0; j < kPictureCombos; ++j) {
        selectCombo(j, 0);
        sendCombo(j, 0);
    }
}

void PicturePage::setVfpnAvailable(bool available)
{
    setComboEnabled(kVfpnCorr, available);
}

void PicturePage::showZoom(int selection)
{
    const QSignalBlocker quiet(zoom_);
    zoom_->setCurrentIndex(selection);
}

void PicturePage::runWhiteBalance()
{
    if (whiteBalanceRunning_)
        return;
    MainWindow* main = mainWindow();
    Interaction* interaction = main ? &main->interaction() : nullptr;
    if (interaction)
        interaction->setWaitCursor(true);
    whiteBalanceRunning_ = true;
    QPointer<PicturePage> alive(this);
    if (QDX_Set_AWB(1) == 0) {
        const auto start = std::chrono::steady_clock::now();
        for (;;) {
            int status = 1;
            if (QDX_Get_AWB(&status) != 0)
                break;
            if (status == 0) {
                for (int channel = 0; channel < 2; ++channel)
                    if (int gain = 0; QDX_Get_GainRB(channel, &gain) == 0)
                        setSlider(kRedGainSlider + channel, gain);
                break;
            }
            if (std::chrono::steady_clock::now() - start > kWhiteBalanceLimit)
                break;
            // Keep painting while the camera works; the operator's input waits.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            if (!alive)
                return;
        }
    }
    whiteBalanceRunning_ = false;
    if (interaction)
        interaction->setWaitCursor(false);
}

}  // namespace qdx::viewer
