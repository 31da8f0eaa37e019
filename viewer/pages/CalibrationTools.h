// The Calibration page's tools behind its buttons: defect-pixel and FPN
// detection (3013, 3018) and the twelve table commands (3007..3010,
// 3014..3017, 3019..3022), with their dialogs, messages and result texts.
// The work is the viewer core's; this class runs what takes long (the frame
// wait, the gamma and FPN transfers) on a thread of its own with the wait
// cursor and a progress line, the buttons greyed until it ends, so the
// window keeps repainting and the live picture keeps running. GUI thread.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <stop_token>

#include "JobRunner.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace qdx::viewer {

class PageContext;
struct Enabling;
struct TableOutcome;

class CalibrationTools final : public QObject {
    Q_OBJECT

public:
    // buttons: the page's push buttons by identifier; the result boxes and the
    // progress line are the page's. All outlive this object, as does context.
    CalibrationTools(QWidget* page, PageContext& context, std::map<int, QPushButton*> buttons,
                     QPlainTextEdit* dpText, QPlainTextEdit* fpnText, QLabel* progress);
    // Waits for a running job (a frame wait is cut short).
    ~CalibrationTools() override;

    // Runs the command of a button; refused while another one runs.
    void run(int id);
    bool busy() const { return jobs_.busy(); }
    // The window is closing: a frame wait ends at once and a gamma upload
    // read from its file sends nothing; a table transfer under way runs to
    // its end, which the library's time-outs bound (a table cut short would
    // be left half written without a word).
    void stop();
    // The buttons as the rules and a running job allow.
    void showEnabling(const Enabling& enabling);
    // The result boxes from the viewer's tables.
    void showDpText();
    void showFpnText();

private:
    // work runs on the job thread; done then gets its result on the GUI
    // thread, after the wait cursor is gone.
    template <typename Work, typename Done>
    void startJob(const QString& progress, Work work, Done done);
    void showJob(const QString& progress);
    void showButtons();
    void say(const char* message);

    void detectDefects();
    void detectFpn();
    // One fresh frame, then compute on the GUI thread; a capture failure is said instead.
    void detect(std::function<void(const uint8_t*)> compute);
    void gammaUpload();
    void gammaDownload();
    void runGamma(const QString& progress, std::function<TableOutcome(std::stop_token)> transfer);
    void dpCommand(int id);
    void fpnCommand(int id);

    QWidget* page_;
    PageContext& context_;
    std::map<int, QPushButton*> buttons_;
    QPlainTextEdit* dpText_;
    QPlainTextEdit* fpnText_;
    QLabel* progress_;
    QString gammaUploadPath_;    // the last file chosen to upload, seeds the next open dialog
    QString gammaDownloadPath_;  // the last file chosen to download into
    bool dpSaveAllowed_ = true;   // by the rules, whatever a job does
    bool fpnSaveAllowed_ = false;
    JobRunner jobs_{"qdx-calibrate"};
};

}  // namespace qdx::viewer
