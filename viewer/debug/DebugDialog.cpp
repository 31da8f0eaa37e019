#include "DebugDialog.h"

#include <QClipboard>
#include <QDateTime>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/ViewerState.h"

namespace qdx::viewer {
namespace {

// How many characters of each field are read.
constexpr std::size_t kAddressChars = 63;
constexpr std::size_t kMemoryAddressChars = 79;

std::string text(const QLineEdit* box)
{
    return box->text().toLatin1().toStdString();
}

// A field's caption, which also names the field for screen readers.
QLabel* caption(const QString& text, QWidget* field, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(field);
    return label;
}

QString qtext(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

DebugDialog::DebugDialog(ViewerState& state, QWidget* owner) : QDialog(owner), state_(state)
{
    setWindowTitle(QStringLiteral("Debug"));
    setModal(false);
    // Closed by its close box or Escape: forgotten, so that the menu makes a new one.
    connect(this, &QDialog::finished, this, &QObject::deleteLater);

    auto* i2c = new QGroupBox(QStringLiteral("I2C"), this);
    auto* i2cGrid = new QGridLayout(i2c);
    slave_ = field(2001, qtext(hexByte(state_.debugSlaveAddress.load(std::memory_order_acquire))));
    i2cData_ = field(2002, {});
    i2cSize_ = field(2003, QStringLiteral("2"));
    i2cResult_ = field(2004, {}, true);
    i2cGrid->addWidget(caption(QStringLiteral("Slave Addr"), slave_, i2c), 0, 0);
    i2cGrid->addWidget(slave_, 0, 1);
    i2cGrid->addWidget(caption(QStringLiteral("Write Data"), i2cData_, i2c), 1, 0);
    i2cGrid->addWidget(i2cData_, 1, 1, 1, 3);
    i2cGrid->addWidget(caption(QStringLiteral("Read Size"), i2cSize_, i2c), 2, 0);
    i2cGrid->addWidget(i2cSize_, 2, 1);
    i2cGrid->addWidget(caption(QStringLiteral("Result"), i2cResult_, i2c), 3, 0);
    i2cGrid->addWidget(i2cResult_, 3, 1, 1, 3);
    QPushButton* i2cWrite = button(3001, QStringLiteral("Write"), &DebugDialog::i2cWriteClicked);
    i2cGrid->addWidget(i2cWrite, 4, 1);
    i2cGrid->addWidget(button(3002, QStringLiteral("Read"), &DebugDialog::i2cReadClicked), 4, 2);
    i2cGrid->addWidget(button(3003, QStringLiteral("Write / Read"), &DebugDialog::i2cWriteReadClicked), 4, 3);

    auto* fpga = new QGroupBox(QStringLiteral("FPGA"), this);
    auto* fpgaGrid = new QGridLayout(fpga);
    fpgaAddress_ = field(2005, QStringLiteral("0"));
    fpgaData_ = field(2006, {});
    fpgaResult_ = field(2007, {}, true);
    fpgaGrid->addWidget(caption(QStringLiteral("Addr"), fpgaAddress_, fpga), 0, 0);
    fpgaGrid->addWidget(fpgaAddress_, 0, 1);
    fpgaGrid->addWidget(caption(QStringLiteral("Write Data"), fpgaData_, fpga), 1, 0);
    fpgaGrid->addWidget(fpgaData_, 1, 1);
    fpgaGrid->addWidget(caption(QStringLiteral("Result"), fpgaResult_, fpga), 2, 0);
    fpgaGrid->addWidget(fpgaResult_, 2, 1, 1, 2);
    fpgaGrid->addWidget(button(3004, QStringLiteral("Write"), &DebugDialog::fpgaWriteClicked), 3, 1);
    fpgaGrid->addWidget(button(3005, QStringLiteral("Read"), &DebugDialog::fpgaReadClicked), 3, 2);

    auto* eeprom = new QGroupBox(QStringLiteral("EEPROM"), this);
    auto* eepromGrid = new QGridLayout(eeprom);
    memoryType_ = field(2009, QStringLiteral("0"));
    memoryAddress_ = field(2010, QStringLiteral("4000"));
    memoryData_ = field(2011, {});
    memorySize_ = field(2012, QStringLiteral("1"));
    memoryResult_ = field(2013, {}, true);
    eepromGrid->addWidget(caption(QStringLiteral("Type"), memoryType_, eeprom), 0, 0);
    eepromGrid->addWidget(memoryType_, 0, 1);
    auto* types = new QLabel(QStringLiteral("0 = FX2 / 1 = CIS"), eeprom);
    memoryType_->setAccessibleDescription(types->text());
    eepromGrid->addWidget(types, 0, 2, 1, 2);
    eepromGrid->addWidget(caption(QStringLiteral("Addr"), memoryAddress_, eeprom), 1, 0);
    eepromGrid->addWidget(memoryAddress_, 1, 1);
    eepromGrid->addWidget(caption(QStringLiteral("Write Data"), memoryData_, eeprom), 2, 0);
    eepromGrid->addWidget(memoryData_, 2, 1, 1, 3);
    eepromGrid->addWidget(caption(QStringLiteral("Read Size"), memorySize_, eeprom), 3, 0);
    eepromGrid->addWidget(memorySize_, 3, 1);
    eepromGrid->addWidget(caption(QStringLiteral("Result"), memoryResult_, eeprom), 4, 0);
    eepromGrid->addWidget(memoryResult_, 4, 1, 1, 3);
    eepromGrid->addWidget(button(3008, QStringLiteral("Write"), &DebugDialog::eepromWriteClicked), 5, 1);
    eepromGrid->addWidget(button(3009, QStringLiteral("Read"), &DebugDialog::eepromReadClicked), 5, 2);
    eepromGrid->setColumnStretch(3, 1);

    auto* serialRow = new QGridLayout;
    serial_ = field(2008, {});
    serialResult_ = field(2014, {}, true);
    serialRow->addWidget(caption(QStringLiteral("SN"), serial_, this), 0, 0);
    serialRow->addWidget(serial_, 0, 1);
    serialRow->addWidget(button(3006, QStringLiteral("Write"), &DebugDialog::serialWriteClicked), 0, 2);
    serialRow->addWidget(button(3007, QStringLiteral("Read"), &DebugDialog::serialReadClicked), 0, 3);
    serialRow->addWidget(caption(QStringLiteral("Result"), serialResult_, this), 1, 0);
    serialRow->addWidget(serialResult_, 1, 1);

    log_ = new QPlainTextEdit(this);
    log_->setProperty("controlId", 2015);
    log_->setReadOnly(true);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setMaximumBlockCount(5000);
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    log_->setMinimumHeight(160);
    auto* copy = new QPushButton(QStringLiteral("Copy Log"), this);
    copy->setAutoDefault(false);
    connect(copy, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(logText()); });

    // Short numbers need short fields.
    for (QLineEdit* box : {slave_, i2cSize_, fpgaAddress_, fpgaData_, memoryType_, memoryAddress_, memorySize_})
        box->setMaximumWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0x000000")) + 16);

    auto* groups = new QGridLayout;
    groups->addWidget(i2c, 0, 0);
    groups->addWidget(fpga, 0, 1);
    groups->addWidget(eeprom, 1, 0, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(serialRow);
    layout->addWidget(caption(QStringLiteral("Requests"), log_, this));
    layout->addWidget(log_, 1);
    layout->addWidget(copy, 0, Qt::AlignRight);

    i2cWrite->setFocus();
}

DebugDialog::~DebugDialog()
{
    // The action's thread posts its result to this dialog: it ends first.
    if (worker_.joinable())
        worker_.join();
}

QString DebugDialog::logText() const
{
    return log_->toPlainText();
}

QLineEdit* DebugDialog::field(int id, const QString& text, bool readOnly)
{
    auto* box = new QLineEdit(text, this);
    box->setProperty("controlId", id);
    box->setReadOnly(readOnly);
    return box;
}

QPushButton* DebugDialog::button(int id, const QString& text, void (DebugDialog::*action)())
{
    auto* b = new QPushButton(text, this);
    b->setProperty("controlId", id);
    b->setAutoDefault(false);  // Return in a field presses nothing
    connect(b, &QPushButton::clicked, this, action);
    buttons_.push_back(b);
    return b;
}

void DebugDialog::run(std::function<DebugResult()> action, std::function<void(const DebugResult&)> show)
{
    busy_ = true;
    for (QPushButton* b : buttons_)
        b->setEnabled(false);
    if (worker_.joinable())
        worker_.join();  // the last action has posted its result already
    show_ = std::move(show);
    worker_ = std::jthread([this, action = std::move(action)] {
        DebugResult result = action();
        {
            std::lock_guard lock(doneMutex_);
            done_ = std::move(result);
        }
        // Posted by name: the result stays here, under the lock, rather than
        // travelling inside Qt's event.
        QMetaObject::invokeMethod(this, "finish", Qt::QueuedConnection);
    });
}

void DebugDialog::finish()
{
    std::optional<DebugResult> result;
    {
        std::lock_guard lock(doneMutex_);
        result.swap(done_);
    }
    if (!result)
        return;
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
    for (const Transaction& t : result->log)
        log_->appendPlainText(time + QStringLiteral("  ") + qtext(transactionLine(t)));
    show_(*result);
    for (QPushButton* b : buttons_)
        b->setEnabled(true);
    busy_ = false;
}

int DebugDialog::readSlave()
{
    const int slave = parseSlaveAddress(text(slave_));
    state_.debugSlaveAddress.store(slave, std::memory_order_release);
    slave_->setText(qtext(hexByte(slave)));
    return slave;
}

int DebugDialog::readSize(QLineEdit* box)
{
    const int size = parseReadSize(text(box));
    box->setText(QString::number(size));
    return size;
}

ByteList DebugDialog::readBytes(QLineEdit* box)
{
    const ByteList bytes = parseByteList(text(box));
    box->setText(qtext(hexBytes(bytes.view())));
    return bytes;
}

void DebugDialog::i2cWriteClicked()
{
    i2cResult_->clear();
    const int slave = readSlave();
    const ByteList bytes = readBytes(i2cData_);
    run([=] { return i2cWrite(slave, bytes.view()); }, [this](const DebugResult& r) { i2cResult_->setText(qtext(r.text)); });
}

void DebugDialog::i2cReadClicked()
{
    i2cResult_->clear();
    const int slave = readSlave();
    const int size = readSize(i2cSize_);
    run([=] { return i2cRead(slave, size); }, [this](const DebugResult& r) { i2cResult_->setText(qtext(r.text)); });
}

void DebugDialog::i2cWriteReadClicked()
{
    i2cResult_->clear();
    const int slave = readSlave();
    const ByteList bytes = readBytes(i2cData_);
    const int size = readSize(i2cSize_);
    run([=] { return i2cWriteRead(slave, bytes.view(), size); },
        [this](const DebugResult& r) { i2cResult_->setText(qtext(r.text)); });
}

void DebugDialog::fpgaWriteClicked()
{
    const uint32_t address = parseHexField(text(fpgaAddress_), kAddressChars);
    const uint32_t value = parseHexField(text(fpgaData_), kAddressChars);
    run([=] { return registerWrite(address, value); }, [this](const DebugResult& r) { fpgaResult_->setText(qtext(r.text)); });
}

void DebugDialog::fpgaReadClicked()
{
    const uint32_t address = parseHexField(text(fpgaAddress_), kAddressChars);
    run([=] { return registerRead(address); }, [this](const DebugResult& r) { fpgaResult_->setText(qtext(r.text)); });
}

void DebugDialog::serialWriteClicked()
{
    serialResult_->clear();
    const std::string serial = text(serial_);
    run([=] { return serialNumberWrite(serial); }, [this](const DebugResult& r) { serialResult_->setText(qtext(r.text)); });
}

void DebugDialog::serialReadClicked()
{
    serialResult_->clear();
    run([] { return serialNumberRead(); }, [this](const DebugResult& r) { serial_->setText(qtext(r.text)); });
}

void DebugDialog::eepromWriteClicked()
{
    memoryResult_->clear();
    const int type = parseMemoryType(text(memoryType_));
    const uint32_t address = parseHexField(text(memoryAddress_), kMemoryAddressChars);
    const ByteList bytes = readBytes(memoryData_);
    run([=] { return memoryWrite(type, address, bytes.view()); },
        [this](const DebugResult& r) { memoryResult_->setText(qtext(r.text)); });
}

void DebugDialog::eepromReadClicked()
{
    memoryResult_->clear();
    const int type = parseMemoryType(text(memoryType_));
    const uint32_t address = parseHexField(text(memoryAddress_), kMemoryAddressChars);
    const int size = readSize(memorySize_);
    run([=] { return memoryRead(type, address, size); },
        [this](const DebugResult& r) { memoryResult_->setText(qtext(r.text)); });
}

}  // namespace qdx::viewer
