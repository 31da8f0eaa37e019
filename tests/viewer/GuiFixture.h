// The viewer's window on an offscreen display with the simulated camera, and
// the ways tests reach into it: events run until a condition holds, controls
// found by the identifiers the design gives them, choices made as the
// operator makes them.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

#include <chrono>
#include <functional>
#include <memory>

#include "QDX_API.h"
#include "QDX_SIM.h"
#include "pages/Page.h"
#include "program/ViewerProgram.h"
#include "shell/MainWindow.h"
#include "viewer/ScriptedInteraction.h"

namespace qdx::viewer::test {

// Runs the event loop until pred holds or the time-out passes (by default
// only a safety net against a hang: a loaded machine may take seconds).
inline bool processUntil(const std::function<bool()>& pred,
                         std::chrono::milliseconds timeout = std::chrono::milliseconds(30000))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs the event loop for a while.
inline void processFor(std::chrono::milliseconds time)
{
    processUntil([] { return false; }, time);
}

// The control of root with the identifier id, of type W; a test failure and
// null when there is none.
template <typename W = QWidget>
W* control(const QWidget* root, int id)
{
    for (W* w : root->findChildren<W*>())
        if (w->property("controlId").toInt() == id)
            return w;
    ADD_FAILURE() << "no control " << id;
    return nullptr;
}

// As the operator confirming an entry of a combo box.
inline void choose(QComboBox* box, int selection)
{
    ASSERT_NE(box, nullptr);
    box->setCurrentIndex(selection);
    emit box->activated(selection);
}

// One step of the mouse wheel over the middle of w, as the window system
// delivers it: spontaneous, so that Qt hands it on to the parents of a
// control that ignores it (events sent by hand are not handed on).
inline void wheelOver(QWidget* w, int delta, Qt::KeyboardModifiers keys = Qt::NoModifier)
{
    QWidget* top = w->window();
    const QPointF local = w->mapTo(top, QPointF(w->width() / 2.0, w->height() / 2.0));
    QWindowSystemInterface::handleWheelEvent(top->windowHandle(), local, top->mapToGlobal(local), QPoint(),
                                             QPoint(0, delta), keys);
    QWindowSystemInterface::flushWindowSystemEvents();
}

// A key pressed and released on w's window, as the window system delivers
// it: to the focus widget, with Tab moving the focus as for the operator.
inline void keyOn(QWidget* w, int key, Qt::KeyboardModifiers keys = Qt::NoModifier)
{
    QWindow* window = w->window()->windowHandle();
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
        QWindowSystemInterface::handleKeyEvent(window, type, key, keys);
    QWindowSystemInterface::flushWindowSystemEvents();
}

// The offscreen screen's size, all of it available; windows opened later
// size themselves against it.
inline void setScreenSize(QSize size)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_NE(screen, nullptr);
    const QRect whole(QPoint(0, 0), size);
    QWindowSystemInterface::handleScreenGeometryChange(screen, whole, whole);
    QWindowSystemInterface::flushWindowSystemEvents();
    ASSERT_EQ(screen->availableGeometry(), whole);
}

// A desktop screen with room for either window mode.
inline constexpr QSize kTestScreen(2560, 1600);

inline bool cameraOpen()
{
    int status = 0;
    return QDX_GetStatus(&status) == QDX_OK && (status & QDX_STATUS_CONNECTED) != 0;
}

class ViewerWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDXSim_Reset();
        // What the window remembers (QDX_Viewer.conf) stays within the test.
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
    }

    void TearDown() override
    {
        window.reset();
        program.shutDown();
        qputenv("XDG_CONFIG_HOME", configHome_);
    }

    // Writes ini as "QDX_Viewer.ini" (unless empty), starts the program and
    // opens the window. withCamera: the library has opened the camera before
    // the window is built (setters fail quietly before).
    void open(const QByteArray& ini = {}, bool withCamera = false)
    {
        if (!ini.isEmpty()) {
            QFile file(configPath);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(ini);
        }
        program.startUp();
        if (withCamera) {
            ASSERT_TRUE(processUntil(cameraOpen));
        }
        window = std::make_unique<MainWindow>(program, interaction, configPath);
        window->show();
    }

    // Opens the window and waits until the device monitor's first full read
    // has reached the pages.
    void openAndWaitForCamera(const QByteArray& ini = {})
    {
        ASSERT_NO_FATAL_FAILURE(open(ini));
        ASSERT_TRUE(processUntil([&] { return page(0)->cameraInfo(5) != QString::fromUtf8(kNoCameraValue); }));
        processFor(std::chrono::milliseconds(150));  // the rest of that delivery
    }

    // Closes the window and shuts the program down, for a second open().
    void reopen(const QByteArray& ini)
    {
        window.reset();
        program.shutDown();
        open(ini);
    }

    Page* page(int index) const { return window->page(index); }

    template <typename W = QWidget>
    W* control(int pageIndex, int id) const
    {
        return test::control<W>(page(pageIndex), id);
    }
    // The Picture page's state text ("LIVE", "PLAY [..]", ...).
    QString stateText() const { return control<QLabel>(0, 7002)->text(); }

    const QByteArray configHome_ = qgetenv("XDG_CONFIG_HOME");  // the program's private one
    QTemporaryDir dir;
    QString configPath = dir.filePath(QStringLiteral("QDX_Viewer.ini"));
    ViewerProgram program;
    ScriptedInteraction interaction;
    std::unique_ptr<MainWindow> window;
};

}  // namespace qdx::viewer::test
