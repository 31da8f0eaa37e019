// The "Debug" dialog: raw access for an expert to the camera's I2C bus, its
// FPGA registers, both EEPROMs and the sensor head's serial number, with a
// log of every request made. Modeless, owned by the main window; it deletes
// itself when closed. Each action reads its fields on the GUI thread (and
// writes them back as they were read), then calls the camera on a thread of
// its own, so the window never waits for the camera; the dialog's buttons
// rest until the answer is shown. GUI thread only.
#pragma once

#include <QDialog>

#include <functional>
#include <vector>

#include "core/device/DebugAccess.h"
#include "pages/JobRunner.h"

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace qdx::viewer {

struct ViewerState;

class DebugDialog final : public QDialog {
    Q_OBJECT

public:
    // state (for the I2C slave address kept between openings) must outlive the dialog.
    DebugDialog(ViewerState& state, QWidget* owner);
    ~DebugDialog() override;  // waits for a running action

    // An action is under way.
    bool busy() const { return jobs_.busy(); }
    // The log as shown, one line a request.
    QString logText() const;

private:
    QLineEdit* field(int id, const QString& text, bool readOnly = false);
    QPushButton* button(int id, const QString& text, void (DebugDialog::*action)());

    // Runs action on the dialog's job thread; then, on the GUI thread, shows
    // its log and hands its result to show.
    void run(std::function<DebugResult()> action, std::function<void(const DebugResult&)> show);

    int readSlave();
    int readSize(QLineEdit* box);
    ByteList readBytes(QLineEdit* box);

    void i2cWriteClicked();
    void i2cReadClicked();
    void i2cWriteReadClicked();
    void fpgaWriteClicked();
    void fpgaReadClicked();
    void serialWriteClicked();
    void serialReadClicked();
    void eepromWriteClicked();
    void eepromReadClicked();

    ViewerState& state_;
    QLineEdit* slave_;
    QLineEdit* i2cData_;
    QLineEdit* i2cSize_;
    QLineEdit* i2cResult_;
    QLineEdit* fpgaAddress_;
    QLineEdit* fpgaData_;
    QLineEdit* fpgaResult_;
    QLineEdit* memoryType_;
    QLineEdit* memoryAddress_;
    QLineEdit* memoryData_;
    QLineEdit* memorySize_;
    QLineEdit* memoryResult_;
    QLineEdit* serial_;
    QLineEdit* serialResult_;
    QPlainTextEdit* log_;
    std::vector<QPushButton*> buttons_;
    JobRunner jobs_{"qdx-debug"};
};

}  // namespace qdx::viewer
