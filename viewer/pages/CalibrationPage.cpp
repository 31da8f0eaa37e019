#include "CalibrationPage.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include <algorithm>
#include <span>
#include <vector>

#include "CalibrationTools.h"
#include "core/commands/CommandState.h"
#include "core/commands/Commands.h"
#include "core/model/CsvFrameCount.h"
#include "core/model/PanelModel.h"

namespace qdx::viewer {
namespace {

constexpr int kGroupSelectorId = 7003;
constexpr int kSaveCsvId = 7018, kCsvUpDownId = 7019, kCsvCountId = 7020, kCsvCaptionId = 7022;
constexpr int kDpResultId = 2001, kFpnResultId = 2002;
constexpr int kExposure = 1, kRawGain = 2, kTarget = 3;

// Identifiers of the Calibration sliders (their captions are 100 less, their
// labels 100 more) and combo boxes (captions 100 less).
constexpr int kSliderIds[kCalibrationSliders] = {5101, 5102, 5103, 5104, 5107};
constexpr int kComboIds[kCalibrationCombos] = {4102, 4103, 4104, 4105};

struct ButtonEntry {
    int id = 0;
    const char* text = nullptr;
};

// One row of a group: a slider, a combo box, a separator, a "Detection"
// caption with its button, a pair of buttons, or a result box.
struct Row {
    enum Kind { Slider, Combo, Separator, Detection, Buttons, Result } kind;
    int index = 0;                  // slider or combo index; caption id of Detection; result box id
    ButtonEntry first{}, second{};  // the button columns (id 0: none)
    int height = 0;                 // result box height
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
    {Row::Combo, kCalGammaMode},
    {Row::Buttons, 0, {3007, "Upload"}, {3008, "Download"}},
    {Row::Buttons, 0, {3009, "Save"}, {3010, "Clear"}},
};
constexpr Row kDefectRows[] = {
    {Row::Combo, kCalDpMode},
    {Row::Combo, kCalDpType},
    {Row::Slider, kThresholdSlider},
    {Row::Detection, 7009, {3013, "Start"}},
    {Row::Buttons, 0, {3014, "Upload"}, {3015, "Download"}},
    {Row::Buttons, 0, {3016, "Save"}, {3017, "Clear"}},
    {Row::Result, kDpResultId, {}, {}, 390},
};
constexpr Row kFpnRows[] = {
    {Row::Combo, kCalFpnMode},
    {Row::Detection, 7010, {3018, "Start"}},
    {Row::Buttons, 0, {3019, "Upload"}, {3020, "Download"}},
    {Row::Buttons, 0, {3021, "Save"}, {3022, "Clear"}},
    {Row::Result, kFpnResultId, {}, {}, 435},
};

constexpr std::array<GroupEntry, CalibrationPage::kGroups> kGroupTable{{
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

CalibrationPage::CalibrationPage(PageContext& context, QWidget* parent) : Page(context, kCalibrationPage, parent)
{
    buildPageWideControls();
    buildGroups();
    tools_ = new CalibrationTools(this, context, toolButtons_, resultBoxes_.at(kDpResultId),
                                  resultBoxes_.at(kFpnResultId), progress_);
    if (wide()) {
        groupSelector_->setEnabled(false);
        groupSelector_->hide();
    } else {
        showGroup(group_);
    }
    state().csvFrameCount.store(1, std::memory_order_release);
    panels().dpTable().clear();
    refresh();
    state().ready.set(ReadyGate::CalibrationPage);
}

void CalibrationPage::buildPageWideControls()
{
    addPageWideControls();

    bottomRow()->addSpacing(24);
    saveCsv_ = commandButton("Save as CSV", kSaveCsvId, kCmdSaveCsv);
    bottomRow()->addWidget(saveCsv_);
    QLabel* csvCaption = caption("num of frames :", kCsvCaptionId, this);
    bottomRow()->addWidget(csvCaption);

    csvBox_ = tagged(new QLineEdit(QStringLiteral("1"), this), kCsvCountId);
    csvCaption->setBuddy(csvBox_);
    // Up and Down step the count as the arrows beside it do.
    csvBox_->installEventFilter(this);
    csvBox_->setReadOnly(true);
    csvBox_->setAlignment(Qt::AlignRight);
    csvBox_->setFixedWidth(csvBox_->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);
    // The box's text stays as it is; the count is its number within 1..20.
    connect(csvBox_, &QLineEdit::textChanged, this, [this](const QString& text) {
        state().csvFrameCount.store(csvCountFromText(text.toStdString()), std::memory_order_release);
    });
    // The arrows sit right at the box.
    auto* counter = new QHBoxLayout;
    counter->setSpacing(0);
    counter->addWidget(csvBox_);
    bottomRow()->addLayout(counter);

    csvArrows_ = tagged(new QWidget(this), kCsvUpDownId);
    auto* arrows = new QVBoxLayout(csvArrows_);
    arrows->setContentsMargins(0, 0, 0, 0);
    arrows->setSpacing(0);
    for (const bool up : {true, false}) {
        auto* arrow = new QToolButton(csvArrows_);
        arrow->setObjectName(up ? QStringLiteral("up") : QStringLiteral("down"));
        arrow->setAccessibleName(up ? QStringLiteral("More frames") : QStringLiteral("Fewer frames"));
        arrow->setArrowType(up ? Qt::UpArrow : Qt::DownArrow);
        arrow->setAutoRepeat(true);
        arrow->setFixedSize(16, 12);
        connect(arrow, &QToolButton::clicked, this, [this, up] { onCsvArrow(up); });
        arrows->addWidget(arrow);
    }
    counter->addWidget(csvArrows_);
    bottomRow()->addStretch(1);
}

void CalibrationPage::buildGroups()
{
    groupSelector_ = dropDown(calibrationGroupNames(), kGroupSelectorId, wheelGuard(), this,
                              QStringLiteral("Calibration group"));
    connect(groupSelector_, &QComboBox::activated, this, &CalibrationPage::showGroup);
    for (int g = 0; g < kGroups; ++g)
        groups_[static_cast<std::size_t>(g)] = buildGroup(g);
    alignGroups(groups_);

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
            column->addWidget(group, 0, Qt::AlignLeft);
        column->addStretch(1);
    }
    // Below what the page base put into the column, above its closing stretch.
    QBoxLayout* col = controlColumn();
    col->insertWidget(col->count() - 1, groupSelector_, 0, Qt::AlignLeft);
    col->insertWidget(col->count() - 1, area);
    // What a long calibration command is doing while it runs.
    progress_ = new QLabel(this);
    progress_->setObjectName(QStringLiteral("calibrationProgress"));
    col->insertWidget(col->count() - 1, progress_);
}

QGroupBox* CalibrationPage::buildGroup(int g)
{
    const GroupEntry& group = kGroupTable[static_cast<std::size_t>(g)];
    auto* box = tagged(new QGroupBox(QString::fromUtf8(group.title), this), group.id);
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(3, 1);
    // A row's buttons in two columns, from the control column on.
    auto addButtons = [&](const Row& row, int r) {
        auto* pair = new QHBoxLayout;
        pair->setSpacing(10);
        for (const ButtonEntry& b : {row.first, row.second}) {
            if (b.id == 0)
                continue;
            auto* button = tagged(new QPushButton(QString::fromUtf8(b.text), box), b.id);
            button->setMinimumWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("Download")) + 24);
            toolButtons_[b.id] = button;
            pair->addWidget(button);
        }
        pair->addStretch(1);
        grid->addLayout(pair, r, 1, 1, 3);
    };
    int r = 0;
    for (const Row& row : group.rows) {
        const auto i = static_cast<std::size_t>(row.index);
        switch (row.kind) {
        case Row::Slider: {
            const CalibrationControl& c = calibrationSliderControl(row.index);
            const int id = kSliderIds[i];
            sliders_[i] = addSliderRow(grid, r, c.caption, c.scale, {id, id - 100, id + 100}, wheelGuard());
            connect(sliders_[i].slider, &QSlider::valueChanged, this,
                    [this, k = row.index](int v) { panels().moveCalibrationSlider(k, v); });
            break;
        }
        case Row::Combo: {
            const CalibrationControl& c = calibrationComboControl(row.index);
            combos_[i] = addComboRow(grid, r, c.caption, c.entries, {kComboIds[i], kComboIds[i] - 100}, wheelGuard());
            connect(combos_[i].box, &QComboBox::activated, this,
                    [this, j = row.index](int s) { panels().chooseCalibrationCombo(j, s); });
            break;
        }
        case Row::Separator:
            grid->addWidget(separator(row.index, box), r, 0, 1, 4);
            break;
        case Row::Detection: {
            QLabel* detection = caption("Detection", row.index, box);
            grid->addWidget(detection, r, 0);
            addButtons(row, r);
            detection->setBuddy(toolButtons_.at(row.first.id));
            break;
        }
        case Row::Buttons:
            addButtons(row, r);
            break;
        case Row::Result: {
            auto* result = tagged(new QPlainTextEdit(box), row.index);
            result->setReadOnly(true);
            result->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
            result->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            result->setAccessibleName(QString::fromUtf8(group.title) + QStringLiteral(" result"));
            resultBoxes_[row.index] = result;
            if (row.index == kFpnResultId) {
                result->setLineWrapMode(QPlainTextEdit::NoWrap);
                result->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            }
            result->setFixedHeight(row.height);
            grid->addWidget(result, r, 0, 1, 4);
            break;
        }
        }
        ++r;
    }
    return box;
}

void CalibrationPage::showGroup(int index)
{
    group_ = index;
    if (wide() || index < 0 || index >= kGroups)
        return;  // an index outside the groups moves nothing
    for (int g = 0; g < kGroups; ++g)
        groups_[static_cast<std::size_t>(g)]->setVisible(g == index);
    const QSignalBlocker quiet(groupSelector_);
    groupSelector_->setCurrentIndex(index);
}

void CalibrationPage::showModel()
{
    const PanelModel& model = panels();
    for (int i = 0; i < kCalibrationSliders; ++i)
        sliders_[static_cast<std::size_t>(i)].show(model.calibrationSlider(i));
    for (int j = 0; j < kCalibrationCombos; ++j)
        combos_[static_cast<std::size_t>(j)].show(model.calibrationCombo(j));
    const Enabling e = model.enabling();
    sliders_[kExposure].setEnabled(e.calExposure, e.calExposure);
    sliders_[kTarget].setEnabled(e.calTarget, e.calTarget);
    sliders_[kRawGain].setEnabled(e.calRawGain, e.calRawGainLabel);
    tools_->showEnabling(e);
}

void CalibrationPage::showCommandState(const CommandState& commands)
{
    Page::showCommandState(commands);
    for (QWidget* control : {static_cast<QWidget*>(saveCsv_), static_cast<QWidget*>(csvBox_), csvArrows_})
        control->setEnabled(commands.csvControls);
}

void CalibrationPage::onCsvArrow(bool up)
{
    const int count = csvCountStepped(csvBox_->text().toStdString(), up);
    state().csvFrameCount.store(count, std::memory_order_release);
    csvBox_->setText(QString::number(count));
}

bool CalibrationPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != csvBox_ || event->type() != QEvent::KeyPress || !csvBox_->isEnabled())
        return Page::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down)
        return Page::eventFilter(watched, event);
    onCsvArrow(key == Qt::Key_Up);
    return true;
}

void CalibrationPage::activated()
{
    panels().activateCalibration();
}

}  // namespace qdx::viewer
