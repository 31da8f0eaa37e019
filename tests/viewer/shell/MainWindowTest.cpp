// The main window on an offscreen display, with the simulated camera.
#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QWheelEvent>

#include <algorithm>

#include "viewer/GuiFixture.h"

#include "api/SimCameraFixture.h"
#include "core/commands/Commands.h"
#include "core/commands/ControlIds.h"
#include "core/device/CameraReads.h"
#include "pages/CalibrationPage.h"
#include "pages/CalibrationTools.h"
#include "pages/PictureView.h"
#include "shell/ContentScrollArea.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;

// The texts of a menu's items, separators as "-".
QStringList menuTexts(QMenuBar* bar, const QString& title)
{
    QStringList texts;
    for (QAction* menu : bar->actions()) {
        if (menu->text() != title || !menu->menu())
            continue;
        for (QAction* item : menu->menu()->actions())
            texts << (item->isSeparator() ? QStringLiteral("-") : item->text());
    }
    return texts;
}

class MainWindowTest : public ViewerWindowTest {
protected:
    Worker::State displayState() { return program.displayState(); }

    // The DISP count of a page's rates line, or -1 while it has none.
    int shownDisp(int page)
    {
        static const QRegularExpression pattern(QStringLiteral("^fps DISP:(\\d+) / USB:(\\d+)$"));
        const auto match = pattern.match(window->page(page)->ratesLabel()->text());
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }
};

// Guards the first start in an empty folder: the file appears with both keys
// 0, and the operator menus lack the three expert items (but keep separators).
TEST_F(MainWindowTest, FirstStartWritesIniAndShowsOperatorMenus)
{
    open();
    QFile file(configPath);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.contains(QStringLiteral("WindowMode=0")) && text.contains(QStringLiteral("ExpertMode=0")))
        << text.toStdString();
    for (int id : {kCmdDebug, kCmdSaveDefault, kCmdClearDefault})
        EXPECT_EQ(window->action(id), nullptr) << id;
    EXPECT_EQ(menuTexts(window->menuBar(), QStringLiteral("&Option")),
              (QStringList{QStringLiteral("Display Boundary Pixels"), QStringLiteral("Analysis"),
                           QStringLiteral("Full Screen")}));
    EXPECT_EQ(menuTexts(window->menuBar(), QStringLiteral("EEPROM")),
              (QStringList{QStringLiteral("Load Parameter  [Data Read]"), QStringLiteral("Save Parameter  [Data Write]"),
                           QStringLiteral("-"), QStringLiteral("Load Default Parameter  [Default]")}));
    EXPECT_FALSE(window->config().wide());
    EXPECT_EQ(window->windowTitle(), QStringLiteral("QDX Viewer"));
    EXPECT_FALSE(window->windowIcon().isNull()) << "the icon's resource was not linked in";
}

// Guards a refused camera shown as no camera (only a blue picture), or said
// again at every poll over the window's other notices: the status line says
// it once and again only when it changes, Camera Info shows it on both pages,
// and both clear when the camera opens.
TEST_F(MainWindowTest, RefusedCameraIsSaidOnceAndClearedWhenItOpens)
{
    QDXSim_SetAccess(0, QDXSIM_ACCESS_DENIED);
    open();
    QStatusBar* status = window->statusBar();
    ASSERT_TRUE(processUntil([&] { return !page(0)->deviceProblem().isEmpty(); }));
    const QString denied = page(0)->deviceProblem();
    EXPECT_TRUE(denied.startsWith(QStringLiteral("Camera 0 (simulated): permission denied. To fix: install the udev rule")))
        << denied.toStdString();
    EXPECT_EQ(page(1)->deviceProblem(), denied);
    EXPECT_EQ(status->currentMessage(), denied);
    EXPECT_EQ(page(0)->noCameraNotice(), denied) << "the picture says it too";

    status->showMessage(QStringLiteral("Saved x.bmp"));
    processFor(milliseconds(400));  // several polls of the monitor
    EXPECT_EQ(status->currentMessage(), QStringLiteral("Saved x.bmp")) << "said again at a later poll";

    QDXSim_SetAccess(0, QDXSIM_ACCESS_BUSY);
    ASSERT_TRUE(processUntil([&] { return page(0)->deviceProblem().contains(QStringLiteral("in use")); }));
    EXPECT_EQ(status->currentMessage(), page(0)->deviceProblem());

    QDXSim_SetAccess(0, QDXSIM_ACCESS_GRANTED);
    ASSERT_TRUE(processUntil([&] { return page(0)->deviceProblem().isEmpty(); }));
    EXPECT_TRUE(status->currentMessage().isEmpty());
    ASSERT_TRUE(processUntil([&] { return page(0)->noCameraNotice().isEmpty(); }));
    EXPECT_TRUE(cameraOpen());
}

// Guards expert mode: every one of the 19 commands is in the menu once, each
// item carrying its identifier, in the order of the identifiers' menus.
TEST_F(MainWindowTest, ExpertModeHasEveryCommandOnce)
{
    open("[QDX_Viewer]\nExpertMode=1\n");
    QStringList titles;
    std::vector<int> ids;
    for (QAction* menu : window->menuBar()->actions()) {
        titles << menu->text();
        for (QAction* item : menu->menu()->actions())
            if (!item->isSeparator())
                ids.push_back(item->property("controlId").toInt());
    }
    EXPECT_EQ(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("Capture"), QStringLiteral("&Option"),
                                   QStringLiteral("EEPROM"), QStringLiteral("Help")}));
    EXPECT_EQ(ids, (std::vector<int>{40005, 40006, 40007, 40011, 40012, 40002, 40008, 40009, 40010, 40019, 40003,
                                     40004, 40018, 40020, 40013, 40014, 40015, 40016, 40017, 40001, 40021}));
    EXPECT_EQ(window->action(kCmdSaveDefault)->text(), QStringLiteral("Save Parameter as Default"));
}

// Guards against a shortcut list that leaves out or misnames a shortcut the
// menus have: in expert mode (every command in a menu) Help > Keyboard
// Shortcuts lists exactly the menu items that carry keys, each with its keys
// and its item's text, and a second request shows the same list, not another.
TEST_F(MainWindowTest, KeyboardShortcutsListEveryShortcutOfTheMenus)
{
    open("[QDX_Viewer]\nExpertMode=1\n");
    QStringList fromMenus;
    for (QAction* menu : window->menuBar()->actions())
        for (QAction* item : menu->menu()->actions())
            if (!item->shortcut().isEmpty())
                fromMenus << item->shortcut().toString(QKeySequence::NativeText) + QStringLiteral(" = ") +
                                 item->text().remove(QLatin1Char('&')) +
                                 (item->property("controlId").toInt() == kCmdDebug ? QStringLiteral(" (expert mode)")
                                                                                    : QString());
    ASSERT_EQ(fromMenus.size(), 15);  // with Quick Still and Full Screen

    window->action(kCmdKeyboardShortcuts)->trigger();
    window->action(kCmdKeyboardShortcuts)->trigger();
    const auto dialogs = window->findChildren<QDialog*>(QStringLiteral("keyboardShortcuts"));
    ASSERT_EQ(dialogs.size(), 1);
    EXPECT_TRUE(dialogs[0]->isVisible());
    auto* table = dialogs[0]->findChild<QTableWidget*>();
    ASSERT_NE(table, nullptr);
    QStringList listed;
    for (int row = 0; row < table->rowCount(); ++row)
        listed << table->item(row, 0)->text() + QStringLiteral(" = ") + table->item(row, 1)->text();
    fromMenus.sort();
    listed.sort();
    EXPECT_EQ(listed, fromMenus);
}

// Guards the version box: its title and both lines word for word, the
// program's version and the library's, through the interaction seam.
TEST_F(MainWindowTest, VersionBoxShowsProgramAndLibraryVersions)
{
    open();
    window->action(kCmdVersion)->trigger();
    ASSERT_EQ(interaction.messages.size(), 1u);
    EXPECT_EQ(interaction.messages[0].title, QStringLiteral("info"));
    EXPECT_EQ(interaction.messages[0].text, QStringLiteral("App Version 1.1.0.0\nAPI Version 1.1.0.0\n"));
    EXPECT_EQ(interaction.messages[0].icon, MessageIcon::Information);
    EXPECT_EQ(interaction.messages[0].buttons, MessageButtons::Ok);
}

// Guards the boundary option: its check mark follows the state, and choosing
// it twice returns to the start.
TEST_F(MainWindowTest, BoundaryPixelsTwiceReturnsToStart)
{
    open();
    QAction* item = window->action(kCmdBoundaryPixels);
    ASSERT_NE(item, nullptr);
    EXPECT_FALSE(item->isChecked());
    item->trigger();
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(program.state().showBoundaryPixels.load(), 1);
    item->trigger();
    EXPECT_FALSE(item->isChecked());
    EXPECT_EQ(program.state().showBoundaryPixels.load(), 0);
}

// Guards against a parameter command writing the camera under a calibration
// command that runs beside the window: the settings-file and EEPROM items and
// both pages' "Default", "Data Write", "Data Read" are greyed until it ends.
TEST_F(MainWindowTest, ParameterCommandsWaitForALongCalibrationCommand)
{
    ASSERT_NO_FATAL_FAILURE(openAndWaitForCamera());
    window->tabs()->setCurrentIndex(kCalibrationPage);
    const auto parameterCommandsEnabled = [&](bool enabled) {
        for (int id = kCmdLoadParameterFile; id <= kCmdClearDefault; ++id) {
            if (QAction* item = window->action(id)) {
                EXPECT_EQ(item->isEnabled(), enabled) << id;
            }
        }
        for (int p : {kPicturePage, kCalibrationPage})
            for (int id : {3001, 3002, 3003})
                EXPECT_EQ(control(p, id)->isEnabled(), enabled) << p << " " << id;
    };
    const CalibrationTools& tools = qobject_cast<CalibrationPage*>(page(kCalibrationPage))->tools();
    QDXSim_SetStalled(1);  // the detection waits for its frame
    control<QPushButton>(kCalibrationPage, 3013)->click();
    ASSERT_TRUE(tools.busy());
    parameterCommandsEnabled(false);
    QDXSim_SetStalled(0);
    ASSERT_TRUE(processUntil([&] { return !tools.busy(); }));
    parameterCommandsEnabled(true);
}

// Guards the live view end to end: frames of the camera reach the Picture
// page's picture area and rates line, and the controls carry their identifiers.
TEST_F(MainWindowTest, LivePictureAndRatesReachThePicturePage)
{
    open();
    EXPECT_EQ(window->tabs()->property("controlId").toInt(), kTabControlId);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(window->page(i)->pictureView()->property("controlId").toInt(), kPictureAreaId);
        EXPECT_EQ(window->page(i)->pictureView()->size(), QSize(808, 808));
        EXPECT_EQ(window->page(i)->ratesLabel()->property("controlId").toInt(), kRatesTextId);
    }
    EXPECT_EQ(window->tabs()->tabText(0), QStringLiteral("Picture"));
    EXPECT_EQ(window->tabs()->tabText(1), QStringLiteral("Calibration"));
    EXPECT_EQ(displayState(), Worker::Running);
    ASSERT_TRUE(processUntil([&] { return shownDisp(0) > 0; })) << window->page(0)->ratesLabel()->text().toStdString();
    const QImage shown = window->page(0)->pictureView()->grab().toImage();
    const QColor inside = shown.pixelColor(200, 100), outside = shown.pixelColor(600, 600);
    EXPECT_NE(inside, QColor(Qt::black));
    EXPECT_NE(inside, QColor(Qt::blue));
    EXPECT_EQ(outside, QColor(Qt::black)) << "a 100% picture leaves the rest black";
}

// Guards the page notifications on tab switches: the shown page becomes the
// display target, the Calibration page's picture is grey, the rates follow.
TEST_F(MainWindowTest, TabSwitchMovesTheLiveViewBetweenPages)
{
    open();
    EXPECT_EQ(program.state().displayTarget.load(), kPicturePage);
    window->tabs()->setCurrentIndex(1);
    EXPECT_EQ(program.state().displayTarget.load(), kCalibrationPage);
    EXPECT_EQ(program.state().calibrationView.load(), 1);
    ASSERT_TRUE(processUntil([&] { return shownDisp(1) > 0; }));
    ASSERT_TRUE(processUntil([&] {
        const QColor c = window->page(1)->pictureView()->grab().toImage().pixelColor(150, 100);
        return c.red() == c.green() && c.green() == c.blue() && c.red() > 0;
    })) << "the Calibration page shows grey levels";
    window->tabs()->setCurrentIndex(0);
    EXPECT_EQ(program.state().displayTarget.load(), kPicturePage);
    EXPECT_EQ(program.state().calibrationView.load(), 0);
}

// Guards the close sequence while frames stream: the display thread is
// stopped with the window, nothing hangs, and shutdown completes.
TEST_F(MainWindowTest, CloseWhileStreamingStopsTheLiveViewFirst)
{
    open();
    ASSERT_TRUE(processUntil([&] { return shownDisp(0) > 0; }));
    EXPECT_TRUE(window->close());
    EXPECT_EQ(displayState(), Worker::Ended);
    EXPECT_EQ(program.state().displayTarget.load(), kNoTarget);
    window.reset();
    program.shutDown();
    EXPECT_EQ(qdx::test::threadsNamed("qdx-"), 0) << "a viewer thread outlived the program";
}

// Guards "Exit": it closes the window through the same close sequence.
TEST_F(MainWindowTest, ExitClosesTheWindow)
{
    open();
    window->action(kCmdExit)->trigger();
    ASSERT_TRUE(processUntil([&] { return !window->isVisible(); }));
    EXPECT_EQ(displayState(), Worker::Ended);
}

// Guards the window modes: the wide window has room for all three control
// groups beside the picture, the compact one for one.
TEST_F(MainWindowTest, WideWindowModeWidensTheContent)
{
    open("[QDX_Viewer]\nWindowMode=2\n");
    EXPECT_TRUE(window->config().wide());
    EXPECT_GE(window->tabs()->minimumWidth(), 1867);
    reopen("[QDX_Viewer]\nWindowMode=0\n");
    EXPECT_GE(window->tabs()->minimumWidth(), 1182);
    EXPECT_LT(window->tabs()->minimumWidth(), 1867);
}

// Guards scrolling a window smaller than its content: one page per wheel
// step, sideways with exactly Shift or exactly Ctrl, downwards otherwise
// (Shift+Ctrl too), and a resize starts again at the top-left.
TEST_F(MainWindowTest, WheelScrollsByPagesAndResizeResets)
{
    open();
    window->resize(420, 320);
    ASSERT_TRUE(processUntil([&] { return window->size() == QSize(420, 320); }));
    auto* area = window->findChild<ContentScrollArea*>();
    ASSERT_NE(area, nullptr);
    QScrollBar* h = area->horizontalScrollBar();
    QScrollBar* v = area->verticalScrollBar();
    const int hp = h->pageStep(), vp = v->pageStep();
    ASSERT_GT(h->maximum(), hp);
    ASSERT_GT(v->maximum(), vp);
    auto wheel = [&](int delta, Qt::KeyboardModifiers keys) {
        const QPointF at(50, 50);
        QWheelEvent event(at, area->viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, keys,
                          Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(area->viewport(), &event);
    };
    wheel(-120, Qt::ShiftModifier);
    EXPECT_EQ(h->value(), hp);
    EXPECT_EQ(v->value(), 0);
    wheel(-15, Qt::ControlModifier);  // a small step still pages, and the end stops it
    const int far = std::min(2 * hp, h->maximum());
    EXPECT_EQ(h->value(), far);
    wheel(120, Qt::ShiftModifier);
    EXPECT_EQ(h->value(), far - hp);
    wheel(-120, Qt::ShiftModifier | Qt::ControlModifier);
    EXPECT_EQ(v->value(), vp);
    wheel(-120, Qt::NoModifier);
    EXPECT_EQ(v->value(), std::min(2 * vp, v->maximum()));
    EXPECT_EQ(h->value(), far - hp);
    window->resize(440, 340);
    ASSERT_TRUE(processUntil([&] { return window->size() == QSize(440, 340); }));
    EXPECT_EQ(h->value(), 0);
    EXPECT_EQ(v->value(), 0);
}

// Guards the wheel over the page's controls: over a slider or combo box
// without the focus it scrolls the window and leaves the camera alone (one
// step over "Black Level" used to send a new black level); with the focus it
// changes the control as usual.
TEST_F(MainWindowTest, WheelOverAnUnfocusedControlScrollsInstead)
{
    ASSERT_NO_FATAL_FAILURE(open({}, true));
    window->resize(1300, 500);  // the whole width, a part of the height
    ASSERT_TRUE(processUntil([&] { return window->size() == QSize(1300, 500); }));
    QScrollBar* v = window->findChild<ContentScrollArea*>()->verticalScrollBar();
    auto* slider = control<QSlider>(0, 5101);
    auto* combo = control<QComboBox>(0, 4102);
    const int writes = QDXSim_GetRequestCount(0x19);
    wheelOver(slider, -120);
    EXPECT_EQ(v->value(), std::min(v->pageStep(), v->maximum()));
    v->setValue(0);
    wheelOver(combo, -120);
    EXPECT_EQ(v->value(), std::min(v->pageStep(), v->maximum()));
    EXPECT_EQ(slider->value(), 0);
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_EQ(QDXSim_GetRequestCount(0x19), writes);

    window->activateWindow();
    slider->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(processUntil([&] { return slider->hasFocus(); }));
    v->setValue(0);
    const int before = v->value();
    wheelOver(slider, 120);
    EXPECT_GT(slider->value(), 0);
    EXPECT_EQ(v->value(), before);
    EXPECT_EQ(qdx::test::simRegister(QDX_REG_BLACK_LEVEL), slider->value());
}

}  // namespace
}  // namespace qdx::viewer::test
