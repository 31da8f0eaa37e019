// The window as a screen reader and a keyboard meet it: every control of
// both pages, the Analysis window and the Debug dialog named by its caption, in the Tab chain,
// its value label saying whose value it shows; and a slider reached with Tab
// and moved with a key changes the camera.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabWidget>

#include "viewer/AccessibilityWalk.h"
#include "viewer/GuiFixture.h"

#include "api/SimCameraFixture.h"

#include "analysis/AnalysisDock.h"
#include "core/commands/Commands.h"
#include "debug/DebugDialog.h"

namespace qdx::viewer::test {
namespace {

constexpr int kAlcComboId = 4103, kBlackLevelId = 5101, kBlackLevelLabelId = 5201;
constexpr int kCsvCountId = 7020;

using qdx::test::simRegister;

class AccessibilityTest : public ViewerWindowTest {
protected:
    void SetUp() override
    {
        ViewerWindowTest::SetUp();
        // Expert mode: every command and control exists.
        ASSERT_NO_FATAL_FAILURE(open("[QDX_Viewer]\nExpertMode=1\n", true));
    }
};

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    return all;
}

// Guards names a screen reader can say: a control without a caption tied to
// it is announced by its value ("0", "100%") or not at all, and a value label
// on its own says "28.8ms" without saying of what.
TEST_F(AccessibilityTest, EveryControlIsNamedAndReachable)
{
    window->action(kCmdAnalysis)->trigger();
    ASSERT_TRUE(window->analysisDock()->isVisible());
    const std::vector<std::string> faults = accessibilityFaults(window.get());
    EXPECT_TRUE(faults.empty()) << faults.size() << " faults in the main window:\n" << joined(faults);

    window->action(kCmdDebug)->trigger();
    const auto dialogs = window->findChildren<DebugDialog*>();
    ASSERT_EQ(dialogs.size(), 1);
    const std::vector<std::string> debugFaults = accessibilityFaults(dialogs[0]);
    EXPECT_TRUE(debugFaults.empty()) << debugFaults.size() << " faults in the Debug dialog:\n" << joined(debugFaults);

    // The walk itself tells a named control from a bare one.
    QComboBox bare(window.get());
    bare.addItem(QStringLiteral("100%"));
    EXPECT_EQ(accessibilityFaults(&bare).size(), 1u);
}

// Guards the keyboard path: Tab from the list above reaches the first slider,
// an arrow key moves it and the camera and its value label follow; Shift+Tab
// goes back to the list, whose down arrow reaches the camera too; the up arrow
// on the CSV frame count counts up as its arrow button does.
TEST_F(AccessibilityTest, KeyboardReachesAndChangesControls)
{
    auto* alc = control<QComboBox>(kPicturePage, kAlcComboId);
    auto* slider = control<QSlider>(kPicturePage, kBlackLevelId);
    ASSERT_TRUE(alc && slider);
    window->activateWindow();
    alc->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(processUntil([&] { return alc->hasFocus(); }));
    keyOn(alc, Qt::Key_Tab);
    ASSERT_TRUE(processUntil([&] { return slider->hasFocus(); })) << "focus on "
        << (QApplication::focusWidget() ? describe(QApplication::focusWidget()) : std::string("nothing"));
    keyOn(slider, Qt::Key_Right);
    EXPECT_TRUE(processUntil([] { return simRegister(QDX_REG_BLACK_LEVEL) == 1; }));
    EXPECT_EQ(control<QLabel>(kPicturePage, kBlackLevelLabelId)->text(), QStringLiteral("1"));

    // Back to the list, whose next entry a down arrow sends as a click would.
    const int alcBefore = simRegister(QDX_REG_ALC);
    keyOn(slider, Qt::Key_Backtab, Qt::ShiftModifier);
    ASSERT_TRUE(processUntil([&] { return alc->hasFocus(); }));
    keyOn(alc, Qt::Key_Down);
    EXPECT_EQ(alc->currentIndex(), 1);
    EXPECT_TRUE(processUntil([&] { return simRegister(QDX_REG_ALC) != alcBefore; }));

    window->tabs()->setCurrentIndex(kCalibrationPage);
    auto* count = control<QLineEdit>(kCalibrationPage, kCsvCountId);
    ASSERT_NE(count, nullptr);
    count->setFocus(Qt::OtherFocusReason);
    ASSERT_TRUE(processUntil([&] { return count->hasFocus(); }));
    keyOn(count, Qt::Key_Up);
    EXPECT_EQ(count->text(), QStringLiteral("2"));
    keyOn(count, Qt::Key_Down);
    keyOn(count, Qt::Key_Down);
    EXPECT_EQ(count->text(), QStringLiteral("1")) << "the count stays within 1..20";
}

}  // namespace
}  // namespace qdx::viewer::test
