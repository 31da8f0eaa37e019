// SIGINT, SIGTERM and SIGHUP close the viewer as File > Exit does. The
// handler, on whichever thread the signal lands, only writes the signal's
// number into a pipe; a socket notifier reads it on the GUI thread and closes
// the window, which finishes a recording first. Should a question or notice
// of that close still be open when the next signal comes, the event loops end
// at once. One object at a time; GUI thread.
#pragma once

#include <QObject>
#include <QPointer>

class QSocketNotifier;
class QWidget;

namespace qdx::viewer {

class QuitSignals final : public QObject {
    Q_OBJECT

public:
    // Catches the three signals from now on; a signal that comes before
    // there is a window to close is acted on once there is one.
    explicit QuitSignals(QObject* parent = nullptr);
    // The signals' default actions again.
    ~QuitSignals() override;

    // The window a signal closes.
    void closes(QWidget* window);
    // Whether the signals are caught (the pipe could be made).
    bool active() const { return notifier_ != nullptr; }
    // The first signal caught, 0 while none came.
    int caught() const { return caught_; }

private:
    void readSignals();

    int pipe_[2] = {-1, -1};            // the handler writes [1], the notifier reads [0]
    QSocketNotifier* notifier_ = nullptr;
    QPointer<QWidget> window_;
    int caught_ = 0;
    bool closing_ = false;  // the window was asked to close for a signal
};

}  // namespace qdx::viewer
