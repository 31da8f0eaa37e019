// What the operator sees of both pages in both window modes: no control sits
// on another, no text is cut, and no value label is covered by its slider at
// either end of the slider's range.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>

#include <string>
#include <vector>

#include "viewer/GuiFixture.h"

#include "pages/CalibrationPage.h"
#include "pages/PicturePage.h"
#include "pages/PictureView.h"

namespace qdx::viewer::test {
namespace {

constexpr int kCsvCountId = 7020, kCsvArrowsId = 7019;

// The widgets the operator reads or uses, as opposed to the containers and
// the parts of a composite control (the CSV count's arrows are one control).
bool isLeaf(const QWidget* w)
{
    return w->property("controlId").toInt() == kCsvArrowsId || qobject_cast<const QLabel*>(w) ||
           qobject_cast<const QAbstractButton*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QSlider*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QAbstractScrollArea*>(w) || qobject_cast<const PictureView*>(w);
}

// The CSV frame count's arrows sit right at its box, as one control.
bool buddies(const QWidget* a, const QWidget* b)
{
    const int ids = a->property("controlId").toInt() + b->property("controlId").toInt();
    return ids == kCsvCountId + kCsvArrowsId;
}

std::string describe(const QWidget* w)
{
    const auto* label = qobject_cast<const QLabel*>(w);
    const auto* button = qobject_cast<const QAbstractButton*>(w);
    const QString text = label ? label->text() : button ? button->text() : QString();
    return std::string(w->metaObject()->className()) + " " + std::to_string(w->property("controlId").toInt()) +
           " \"" + text.toStdString() + "\"";
}

class PageLayoutTest : public ViewerWindowTest, public ::testing::WithParamInterface<int> {
protected:
    // The leaves visible on page p, with their rectangles in page coordinates.
    std::vector<std::pair<QWidget*, QRect>> visibleLeaves(int p) const
    {
        std::vector<std::pair<QWidget*, QRect>> leaves;
        for (QWidget* w : page(p)->findChildren<QWidget*>()) {
            if (!isLeaf(w) || !w->isVisibleTo(page(p)))
                continue;
            bool part = false;  // of a composite control
            for (QWidget* up = w->parentWidget(); up && up != page(p); up = up->parentWidget())
                part |= isLeaf(up);
            if (!part)
                leaves.emplace_back(w, QRect(w->mapTo(page(p), QPoint()), w->size()));
        }
        return leaves;
    }

    // Every leaf at least 2 pixels from every other, every text whole.
    void checkPage(int p, const std::string& where) const
    {
        const auto leaves = visibleLeaves(p);
        ASSERT_GT(leaves.size(), 20u) << where;
        for (std::size_t i = 0; i < leaves.size(); ++i) {
            const auto& [w, rect] = leaves[i];
            EXPECT_GE(w->width(), textWidth(w)) << where << ": cut " << describe(w);
            for (std::size_t j = i + 1; j < leaves.size(); ++j) {
                if (buddies(w, leaves[j].first))
                    continue;
                EXPECT_FALSE(rect.adjusted(-1, -1, 1, 1).intersects(leaves[j].second.adjusted(-1, -1, 1, 1)))
                    << where << ": " << describe(w) << " touches " << describe(leaves[j].first);
            }
        }
        for (QGroupBox* group : page(p)->findChildren<QGroupBox*>()) {
            if (group->isVisibleTo(page(p))) {
                EXPECT_GE(group->width(), group->fontMetrics().horizontalAdvance(group->title()) + 16)
                    << where << ": cut title " << group->title().toStdString();
            }
        }
    }

    // The width a leaf's text needs.
    static int textWidth(const QWidget* w)
    {
        if (const auto* label = qobject_cast<const QLabel*>(w))
            return label->fontMetrics().horizontalAdvance(label->text());
        if (const auto* button = qobject_cast<const QAbstractButton*>(w))
            return button->fontMetrics().horizontalAdvance(button->text()) + (button->text().isEmpty() ? 0 : 8);
        if (const auto* box = qobject_cast<const QComboBox*>(w))
            return box->minimumSizeHint().width();
        return 0;
    }

    // Each slider of page p at both ends of its range: its value label whole
    // and clear of it.
    void checkSliderEnds(int p, const std::string& where)
    {
        for (QSlider* slider : page(p)->findChildren<QSlider*>()) {
            if (!slider->isVisibleTo(page(p)))
                continue;
            auto* label = control<QLabel>(p, slider->property("controlId").toInt() + 100);
            ASSERT_NE(label, nullptr);
            for (int v : {slider->minimum(), slider->maximum()}) {
                slider->setValue(v);
                processFor(std::chrono::milliseconds(0));
                const QRect s(slider->mapTo(page(p), QPoint()), slider->size());
                const QRect l(label->mapTo(page(p), QPoint()), label->size());
                EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
                    << where << ": label cut at " << label->text().toStdString();
                EXPECT_FALSE(s.adjusted(-1, -1, 1, 1).intersects(l)) << where << ": slider on its label at " << v;
            }
        }
    }
};

// Guards the layouts as the operator sees them, page by page and, in the
// compact window, group by group (labels were covered by their sliders,
// "ON (Mode2)" was cut, page buttons touched each other).
TEST_P(PageLayoutTest, NothingOverlapsAndNoTextIsCut)
{
    const int windowMode = GetParam();
    ASSERT_NO_FATAL_FAILURE(open(QByteArray("[QDX_Viewer]\nWindowMode=") + QByteArray::number(windowMode) + "\n"));
    for (int p = 0; p < 2; ++p) {
        window->tabs()->setCurrentIndex(p);
        const int groups = windowMode ? 1 : (p == kPicturePage ? 3 : CalibrationPage::kGroups);
        for (int g = 0; g < groups; ++g) {
            if (!windowMode)
                choose(control<QComboBox>(p, 7003), g);
            processFor(std::chrono::milliseconds(20));
            const std::string where = "mode " + std::to_string(windowMode) + " page " + std::to_string(p) +
                                      " group " + std::to_string(g);
            checkPage(p, where);
            checkSliderEnds(p, where);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(WindowModes, PageLayoutTest, ::testing::Values(0, 1),
                         [](const auto& p) { return p.param ? "Wide" : "Compact"; });

}  // namespace
}  // namespace qdx::viewer::test
