#include "CalibrationPage.h"

#include <QAction>
#include <QBoxLayout>
#include <QComboBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <vector>

#include "QDX_API.h"
#include "shell/Commands.h"
#include "shell/MainWindow.h"
#include "shell/ViewerProgram.h"

namespace qdx::viewer {
namespace {

using namespace calibration;

// Sizes of the page design (dialog units of 8-point Tahoma) in pixels.
constexpr int kGroupWidth = 333;
constexpr int kSliderWidth = 140;
constexpr int kComboWidth = 90;
constexpr QSize kGroupButton(75, 20);

// One row of a group: a slider, a combo box, a separator, a caption with a
// button, a pair of buttons, or a result box.
struct Row {
    enum Kind { Slider, Combo, Separator, CaptionButton, Buttons, Result } kind;
    int index = 0;                 // slider or combo index; caption id of CaptionButton; result box id
    ButtonEntry first{}, second{};  // the button columns (second.id 0: none)
    int height = 0;                // result box height
};

struct GroupEntry {
    int id;
    const char* title;
    std::span<const Row> rows;
};

constexpr Row kExposureRows[] = {
    {Row::Slider, 0}, {Row::Slider, 1}, {Row::Slider, 2}, {Row::Separator, 7004}, {Row::Slider, 3},
};
constexpr Row kGammaRows[] = {
    {Row::Combo, kGammaMode},
    {Row::Buttons, 0, {3007, "Upload"}, {3008, "Download"}},
    {Row::Buttons, 0, {3009, "Save"}, {3010, "Clear"}},
};
constexpr Row kDefectRows[] = {
    {Row::Combo, kDpMode},
    {Row::Combo, kDpType},
    {Row::Slider, kThresholdSlider},
    {Row::CaptionButton, 7009, {3013, "Start"}},
    {Row::Buttons, 0, {3014, "Upload"}, {3015, "Download"}},
    {Row::Buttons, 0, {kDpSaveId, "Save"}, {3017, "Clear"}},
    {Row::Result, kDpResultId, {}, {}, 390},
};
constexpr Row kFpnRows[] = {
    {Row::Combo, kFpnMode},
    // The FPN detection row offers no command.
    {Row::CaptionButton, 7010},
    {Row::Buttons, 0, {3019, "Upload"}, {3020, "Download"}},
    {Row::Buttons, 0, {kFpnSaveId, "Save"}, {3022, "Clear"}},
    {Row::Result, kFpnResultId, {}, {}, 435},
};

constexpr std::array<GroupEntry, kGroups> kGroupTable{{
    {7011, "Exposure/Gain Control", kExposureRows},
    {7012, "Gamma Setting", kGammaRows},
    {7014, "Defect Pixel Detection", kDefectRows},
    {7015, "FPN Detection", kFpnRows},
}};

QLabel* caption(const char* text, int id, QWidget* parent)
{
    return tagged(new QLabel(QString::fromUtf8(text), parent), id);
}

}  // namespace

CalibrationPage::CalibrationPage(ViewerProgram& program, bool wide, QWidget* parent)
    : Page(program, kCalibrationPage, wide, parent),
      picturePanelSource_([this]() -> PicturePanel* {
          MainWindow* main = mainWindow();
          return main ? main->picturePanel() : nullptr;
      })
{
    buildPageWideControls();
    buildGroups();
    // Sliders and combo boxes show their defaults; nothing is sent while building.
    for (int i = 0; i < kCalibrationSliders; ++i)
        setSlider(i, values_.sliders[static_cast<std::size_t>(i)]);
    for (int j = 0; j < kCalibrationCombos; ++j)
        selectCombo(j, 0);
    dpSave_->setEnabled(program.panelShared().cisMemoryValid);
    fpnSave_->setEnabled(false);  // FPN mode starts "OFF"
    if (wide) {
        groupSelector_->setEnabled(false);
        groupSelector_->hide();
    } else {
        showGroup(values_.groupIndex);
    }
    state().csvFramesRemaining.store(1, std::memory_order_release);
    state().csvFrameCount.store(1, std::memory_order_release);
    values_.dpTable.clear();
    state().calibrationPageReady.store(1, std::memory_order_release);
}

CalibrationPage::~CalibrationPage() = default;

void CalibrationPage::buildPageWideControls()
{
    addCommandButtons();
    zoom_ = tagged(new QComboBox(this), kZoomId);
    for (const char* entry : zoomEntries())
        zoom_->addItem(QString::fromUtf8(entry));
    zoom_->setCurrentIndex(0);
    connect(zoom_, &QComboBox::activated, this, &CalibrationPage::onZoomChosen);
    topRow()->addWidget(zoom_);

    bottomRow()->addSpacing(24);
    saveCsv_ = tagged(new QPushButton(QStringLiteral("Save as CSV"), this), kSaveCsvId);
    connect(saveCsv_, &QPushButton::clicked, this, [this] { forwardCommand(kCmdSaveCsv); });
    bottomRow()->addWidget(saveCsv_);
    bottomRow()->addWidget(caption("num of frames :", 7022, this));

    csvBox_ = tagged(new QLineEdit(QStringLiteral("1"), this), kCsvCountId);
    csvBox_->setReadOnly(true);
    csvBox_->setAlignment(Qt::AlignRight);
    csvBox_->setFixedWidth(40);
    connect(csvBox_, &QLineEdit::textChanged, this, &CalibrationPage::onCsvBoxChanged);
    bottomRow()->addWidget(csvBox_);

    csvArrows_ = tagged(new QWidget(this), kCsvUpDownId);
    auto* arrows = new QVBoxLayout(csvArrows_);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    for (const bool up : {true, false}) {
        auto* arrow = new QToolButton(csvArrows_);
        arrow->setObjectName(up ? QStringLiteral("up") : QStringLiteral("down"));
        arrow->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
        arrow->setAutoRepeat(true);
        arrow->setFixedSize(16, 12);
        connect(arrow, &QToolButton::clicked, this, [this, up] { onCsvArrow(up); });
        arrows->addWidget(arrow);
    }
    bottomRow()->addWidget(csvArrows_);
    bottomRow()->addStretch(1);
}

void CalibrationPage::buildGroups()
{
    groupSelector_ = tagged(new QComboBox(this), kGroupSelectorId);
    for (const char* name : groupNames())
        groupSelector_->addItem(QString::fromUtf8(name));
    groupSelector_->setCurrentIndex(0);
    connect(groupSelector_, &QComboBox::activated, this, &CalibrationPage::showGroup);

    for (int g = 0; g < kGroups; ++g)
        groups_[static_cast<std::size_t>(g)] = buildGroup(g);

    // Compact: the groups one under the other, one of them visible. Wide:
    // exposure/gain above gamma, then defect pixels, then FPN, side by side.
    auto* area = new QWidget(this);
    if (wide()) {
        auto* row = new QHBoxLayout(area);
        row->setContentsMargins(0, 0, 0, 0);
        const std::array<std::vector<int>, 3> columns{{{0, 1}, {2}, {3}}};
        for (const auto& members : columns) {
            auto* column = new QVBoxLayout;
            for (int g : members)
                column->addWidget(groups_[static_cast<std::size_t>(g)]);
            column->addStretch(1);
            row->addLayout(column);
        }
        row->addStretch(1);
    } else {
        auto* column = new QVBoxLayout(area);
        column->setContentsMargins(0, 0, 0, 0);
        for (QGroupBox* group : groups_)
            column->addWidget(group);
        column->addStretch(1);
    }
    // Below what the page base put into the column, above its closing stretch.
    QBoxLayout* col = controlColumn();
    col->insertWidget(col->count() - 1, groupSelector_, 0, Qt::AlignLeft);
    col->insertWidget(col->count() - 1, area);
}

QGroupBox* CalibrationPage::buildGroup(int g)
{
    const GroupEntry& group = kGroupTable[static_cast<std::size_t>(g)];
    auto* box = tagged(new QGroupBox(QString::fromUtf8(group.title), this), group.id);
    box->setMinimumWidth(kGroupWidth);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(10);
    grid->setColumnMinimumWidth(0, 125);  // the widest caption: controls of all groups line up
    grid->setColumnStretch(2, 1);
    grid->setVerticalSpacing(4);
    auto addButton = [&](const ButtonEntry& b) {
        auto* button = tagged(new QPushButton(QString::fromUtf8(b.text), box), b.id);
        button->setFixedSize(kGroupButton);
        connect(button, &QPushButton::clicked, this, [this, id = b.id] { tableCommand(id); });
        if (b.id == kDpSaveId)
            dpSave_ = button;
        if (b.id == kFpnSaveId)
            fpnSave_ = button;
        return button;
    };
    // The button columns of a row: the second one 105 pixels right of the first.
    auto addButtons = [&](const Row& row, int r) {
        auto* pair = new QHBoxLayout;
        pair->setSpacing(105 - kGroupButton.width());
        for (const ButtonEntry& b : {row.first, row.second})
            if (b.id != 0)
                pair->addWidget(addButton(b));
        pair->addStretch(1);
        grid->addLayout(pair, r, 1, 1, 2);
    };
    int r = 0;
    for (const Row& row : group.rows) {
        switch (row.kind) {
        case Row::Slider: {
            const SliderEntry& s = sliders()[static_cast<std::size_t>(row.index)];
            const auto k = static_cast<std::size_t>(row.index);
            sliderCaptions_[k] = caption(s.caption, s.id - 100, box);
            sliders_[k] = tagged(new QSlider(Qt::Horizontal, box), s.id);
            sliders_[k]->setTickPosition(QSlider::NoTicks);
            sliders_[k]->setRange(s.minimum, s.maximum);
            sliders_[k]->setPageStep(pageStep(s));
            sliders_[k]->setSingleStep(1);
            sliders_[k]->setFixedWidth(kSliderWidth);
            labels_[k] = tagged(new QLabel(box), s.id + 100);
            labels_[k]->setMinimumWidth(48);
            connect(sliders_[k], &QSlider::valueChanged, this, [this, i = row.index] { onSliderMoved(i); });
            grid->addWidget(sliderCaptions_[k], r, 0);
            grid->addWidget(sliders_[k], r, 1);
            grid->addWidget(labels_[k], r, 2);
            break;
        }
        case Row::Combo: {
            const ComboEntry& c = combos()[static_cast<std::size_t>(row.index)];
            auto* combo = tagged(new QComboBox(box), c.id);
            for (const char* entry : c.entries)
                combo->addItem(QString::fromUtf8(entry));
            combo->setFixedWidth(kComboWidth);
            connect(combo, &QComboBox::activated, this, [this, j = row.index] { onComboConfirmed(j); });
            combos_[static_cast<std::size_t>(row.index)] = combo;
            grid->addWidget(caption(c.caption, c.id - 100, box), r, 0);
            grid->addWidget(combo, r, 1, Qt::AlignLeft);
            break;
        }
        case Row::Separator: {
            auto* line = tagged(new QFrame(box), row.index);
            line->setFrameShape(QFrame::HLine);
            line->setFrameShadow(QFrame::Sunken);
            grid->addWidget(line, r, 0, 1, 3);
            break;
        }
        case Row::CaptionButton:
            grid->addWidget(caption("Detection", row.index, box), r, 0);
            addButtons(row, r);
            grid->setRowMinimumHeight(r, kGroupButton.height());
            break;
        case Row::Buttons:
            addButtons(row, r);
            break;
        case Row::Result: {
            auto* result = tagged(new QPlainTextEdit(box), row.index);
            result->setReadOnly(true);
            result->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
            result->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            if (row.index == kFpnResultId) {
                result->setLineWrapMode(QPlainTextEdit::NoWrap);
                result->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
                fpnResult_ = result;
            } else {
                dpResult_ = result;
            }
            result->setFixedHeight(row.height);
            grid->addWidget(result, r, 0, 1, 3);
            break;
        }
        }
        ++r;
    }
    return box;
}

void CalibrationPage::tableCommand(int)
{
    // The gamma, defect-pixel and FPN table transfers and the detection
    // arrive with their features.
}

void CalibrationPage::showGroup(int index)
{
    values_.groupIndex = index;
    if (wide() || index < 0 || index >= kGroups)
        return;  // an index outside the groups moves nothing
    for (int g = 0; g < kGroups; ++g)
        groups_[static_cast<std::size_t>(g)]->setVisible(g == index);
    groupSelector_->setCurrentIndex(index);
}

void CalibrationPage::setSlider(int index, int value)
{
    if (index < 0 || index >= kCalibrationSliders)
        return;
    const auto k = static_cast<std::size_t>(index);
    values_.sliders[k] = value;
    const QSignalBlocker quiet(sliders_[k]);
    sliders_[k]->setValue(value);
    labels_[k]->setText(QString::fromStdString(labelText(sliders()[k], value)));
}

int CalibrationPage::slider(int index) const
{
    return index >= 0 && index < kCalibrationSliders ? values_.sliders[static_cast<std::size_t>(index)] : 0;
}

void CalibrationPage::selectCombo(int index, int selection)
{
    if (index < 0 || index >= kCalibrationCombos)
        return;
    values_.combos[static_cast<std::size_t>(index)] = selection;
    combos_[static_cast<std::size_t>(index)]->setCurrentIndex(selection);
}

int CalibrationPage::combo(int index) const
{
    return index >= 0 && index < kCalibrationCombos ? values_.combos[static_cast<std::size_t>(index)] : 0;
}

void CalibrationPage::showZoom(int selection)
{
    zoom_->setCurrentIndex(selection);
}

void CalibrationPage::setSliderRowEnabled(int index, bool slider, bool labelAndCaption)
{
    const auto k = static_cast<std::size_t>(index);
    sliders_[k]->setEnabled(slider);
    labels_[k]->setEnabled(labelAndCaption);
    sliderCaptions_[k]->setEnabled(labelAndCaption);
}

void CalibrationPage::applyFpnModeRule()
{
    // With FPN Mode2 the camera controls exposure to the target at a fixed RAW
    // gain, whose value stays readable. With "OFF" the enabling rules govern.
    if (values_.combos[kFpnMode] != 1)
        return;
    setSliderRowEnabled(1, false, false);
    setSliderRowEnabled(3, true, true);
    setSliderRowEnabled(picture::kRawGainSlider, false, true);
}

void CalibrationPage::followEnabling(bool exposureManual, bool rawGainManual)
{
    setSliderRowEnabled(1, exposureManual, exposureManual);
    setSliderRowEnabled(3, !exposureManual, !exposureManual);
    setSliderRowEnabled(picture::kRawGainSlider, rawGainManual, rawGainManual || values_.combos[kFpnMode] == 1);
}

void CalibrationPage::cisMemoryValidChanged(bool valid)
{
    dpSave_->setEnabled(valid);
    fpnSave_->setEnabled(valid && values_.combos[kFpnMode] == 1);
}

void CalibrationPage::sendSlider(int index)
{
    const SliderEntry& entry = sliders()[static_cast<std::size_t>(index)];
    if (entry.send)
        entry.send(values_.sliders[static_cast<std::size_t>(index)]);
}

void CalibrationPage::applyDefaults(bool allSliders)
{
    for (int i = allSliders ? 0 : kThresholdSlider; i < kCalibrationSliders; ++i) {
        setSlider(i, sliders()[static_cast<std::size_t>(i)].defaultValue);
        sendSlider(i);
    }
    for (int j = 0; j < kCalibrationCombos; ++j)
        selectCombo(j, 0);
    QDX_Set_Gamma(0);
    QDX_Set_DP_Corr(0);
    // FPN mode is "OFF" again, and its "Save" only exists for Mode2.
    fpnSave_->setEnabled(false);
}

void CalibrationPage::onSliderMoved(int index)
{
    const auto k = static_cast<std::size_t>(index);
    values_.sliders[k] = sliders_[k]->value();
    labels_[k]->setText(QString::fromStdString(labelText(sliders()[k], values_.sliders[k])));
    if (index == kThresholdSlider)
        return;  // the detection's own value, never sent
    sendSlider(index);
    if (PicturePanel* other = picture())
        other->setSlider(index, values_.sliders[k]);
}

void CalibrationPage::onComboConfirmed(int index)
{
    const int s = combos_[static_cast<std::size_t>(index)]->currentIndex();
    values_.combos[static_cast<std::size_t>(index)] = s;
    PicturePanel* other = picture();
    switch (index) {
    case kGammaMode:
        QDX_Set_Gamma(s);
        if (other)
            other->selectCombo(picture::kGamma, s);
        break;
    case kDpMode:
        QDX_Set_DP_Corr(s);
        if (other)
            other->selectCombo(picture::kDpCorr, s);
        break;
    case kFpnMode:
        choseFpnMode(s);
        break;
    default:
        break;  // the defect-pixel type only chooses a table
    }
    applyFpnModeRule();
    if (other)
        other->applyEnablingRules();
}

void CalibrationPage::choseFpnMode(int selection)
{
    PicturePanel* other = picture();
    if (selection == 1) {
        // Mode2 needs automatic exposure at a RAW gain of at most 64.
        if (other)
            other->selectCombo(picture::kMode, 1);
        QDX_Set_ControlMode(0, 1);
        int& saved = program().panelShared().savedFpnGain;
        QDX_Get_RawGain(&saved);  // a failed read keeps the gain saved before
        saved = cappedFpnGain(saved);
        if (other)
            other->setSlider(picture::kRawGainSlider, saved);
        setSlider(picture::kRawGainSlider, saved);
        QDX_Set_RawGain(saved);
        if (other)
            other->selectCombo(picture::kFpnCorr, 2);
        QDX_Set_FPN_Corr(2);
        if (program().panelShared().cisMemoryValid)
            fpnSave_->setEnabled(true);
    } else {
        if (other)
            other->selectCombo(picture::kFpnCorr, 0);
        QDX_Set_FPN_Corr(0);
        fpnSave_->setEnabled(false);
    }
}

void CalibrationPage::onZoomChosen(int selection)
{
    state().displayZoom.store(selection, std::memory_order_release);
    if (PicturePanel* other = picture())
        other->showZoom(selection);
    // Playback places its video for the new zoom once playback exists.
}

void CalibrationPage::onCsvBoxChanged()
{
    // The box's text stays as it is; the count is its number within 1..20.
    state().csvFrameCount.store(csvCountFromText(csvBox_->text().toStdString()), std::memory_order_release);
}

void CalibrationPage::onCsvArrow(bool up)
{
    const int count = csvCountStepped(csvBox_->text().toStdString(), up);
    state().csvFrameCount.store(count, std::memory_order_release);
    csvBox_->setText(QString::number(count));
}

void CalibrationPage::setCsvControlsEnabled(bool enabled)
{
    saveCsv_->setEnabled(enabled);
    csvBox_->setEnabled(enabled);
    csvArrows_->setEnabled(enabled);
}

void CalibrationPage::activated()
{
    // The camera delivers data format 1 while this page is shown.
    const unsigned char record[3] = {0x00, 0x01, 0x00};
    QDX_SetDevStatus(2, record);
    state().calibrationView.store(1, std::memory_order_release);
    state().displayTarget.store(kCalibrationPage, std::memory_order_release);

    // FPN correction starts off on this page, on the Picture page and in the camera.
    selectCombo(kFpnMode, 0);
    applyFpnModeRule();
    PicturePanel* other = picture();
    if (other)
        other->selectCombo(picture::kFpnCorr, 0);
    QDX_Set_FPN_Corr(0);
    fpnSave_->setEnabled(false);
    if (other)
        other->applyEnablingRules();

    if (MainWindow* main = mainWindow())
        if (QAction* saveCsv = main->action(kCmdSaveCsv))
            saveCsv->setEnabled(state().csvExportActive.load(std::memory_order_acquire) == 0);
}

}  // namespace qdx::viewer
