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

#include <array>

#include "core/model/ViewerState.h"

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

// The dialog's parts: three framed groups and the serial number's row.
enum Part { kI2c, kFpga, kEeprom, kSerial, kParts };

}  // namespace

DebugDialog::DebugDialog(ViewerState& state, QWidget* owner) : QDialog(owner), state_(state)
{
    setWindowTitle(QStringLiteral("Debug"));
    setModal(false);
    // Closed by its close box or Escape: forgotten, so that the menu makes a new one.
    connect(this, &QDialog::finished, this, &QObject::deleteLater);

    // Each field: its caption in column 0 of its row, the field from column
    // 1 over span columns; narrow for short numbers; note: a hint beside it.
    struct FieldRow {
        QLineEdit* DebugDialog::*member;
        int id;
        Part part;
        int row, span;
        const char* caption;
        const char* text;
        bool readOnly, narrow;
        const char* note;
    };
    static constexpr FieldRow kFields[] = {
        {&DebugDialog::slave_, 2001, kI2c, 0, 1, "Slave Addr", nullptr, false, true, nullptr},
        {&DebugDialog::i2cData_, 2002, kI2c, 1, 3, "Write Data", "", false, false, nullptr},
        {&DebugDialog::i2cSize_, 2003, kI2c, 2, 1, "Read Size", "2", false, true, nullptr},
        {&DebugDialog::i2cResult_, 2004, kI2c, 3, 3, "Result", "", true, false, nullptr},
        {&DebugDialog::fpgaAddress_, 2005, kFpga, 0, 1, "Addr", "0", false, true, nullptr},
        {&DebugDialog::fpgaData_, 2006, kFpga, 1, 1, "Write Data", "", false, true, nullptr},
        {&DebugDialog::fpgaResult_, 2007, kFpga, 2, 2, "Result", "", true, false, nullptr},
        {&DebugDialog::memoryType_, 2009, kEeprom, 0, 1, "Type", "0", false, true, "0 = FX2 / 1 = CIS"},
        {&DebugDialog::memoryAddress_, 2010, kEeprom, 1, 1, "Addr", "4000", false, true, nullptr},
        {&DebugDialog::memoryData_, 2011, kEeprom, 2, 3, "Write Data", "", false, false, nullptr},
        {&DebugDialog::memorySize_, 2012, kEeprom, 3, 1, "Read Size", "1", false, true, nullptr},
        {&DebugDialog::memoryResult_, 2013, kEeprom, 4, 3, "Result", "", true, false, nullptr},
        {&DebugDialog::serial_, 2008, kSerial, 0, 1, "SN", "", false, false, nullptr},
        {&DebugDialog::serialResult_, 2014, kSerial, 1, 1, "Result", "", true, false, nullptr},
    };
    struct ButtonRow {
        void (DebugDialog::*action)();
        int id;
        Part part;
        int row, column;
        const char* text;
    };
    static constexpr ButtonRow kButtons[] = {
        {&DebugDialog::i2cWriteClicked, 3001, kI2c, 4, 1, "Write"},
        {&DebugDialog::i2cReadClicked, 3002, kI2c, 4, 2, "Read"},
        {&DebugDialog::i2cWriteReadClicked, 3003, kI2c, 4, 3, "Write / Read"},
        {&DebugDialog::fpgaWriteClicked, 3004, kFpga, 3, 1, "Write"},
        {&DebugDialog::fpgaReadClicked, 3005, kFpga, 3, 2, "Read"},
        {&DebugDialog::eepromWriteClicked, 3008, kEeprom, 5, 1, "Write"},
        {&DebugDialog::eepromReadClicked, 3009, kEeprom, 5, 2, "Read"},
        {&DebugDialog::serialWriteClicked, 3006, kSerial, 0, 2, "Write"},
        {&DebugDialog::serialReadClicked, 3007, kSerial, 0, 3, "Read"},
    };

    static constexpr const char* kTitles[kParts] = {"I2C", "FPGA", "EEPROM", nullptr};
    std::array<QWidget*, kParts> boxes{};
    std::array<QGridLayout*, kParts> grids{};
    for (int part = 0; part < kParts; ++part) {
        if (kTitles[part]) {
            boxes[part] = new QGroupBox(QString::fromLatin1(kTitles[part]), this);
            grids[part] = new QGridLayout(boxes[part]);
        } else {
            boxes[part] = this;
            grids[part] = new QGridLayout;
        }
    }
    // Short numbers need short fields.
    const int narrow = fontMetrics().horizontalAdvance(QStringLiteral("0x000000")) + 16;
    // Part by part, fields before buttons: the order Tab goes.
    for (int part = 0; part < kParts; ++part) {
        QGridLayout* grid = grids[part];
        for (const FieldRow& f : kFields) {
            if (f.part != part)
                continue;
            const QString initial = f.text ? QString::fromLatin1(f.text)
                                           : qtext(hexByte(state_.debugSlaveAddress.load(std::memory_order_acquire)));
            QLineEdit* box = field(f.id, initial, f.readOnly);
            this->*f.member = box;
            if (f.narrow)
                box->setMaximumWidth(narrow);
            grid->addWidget(caption(QString::fromLatin1(f.caption), box, boxes[part]), f.row, 0);
            grid->addWidget(box, f.row, 1, 1, f.span);
            if (f.note) {
                auto* note = new QLabel(QString::fromLatin1(f.note), boxes[part]);
                box->setAccessibleDescription(note->text());
                grid->addWidget(note, f.row, 2, 1, 2);
            }
        }
        for (const ButtonRow& b : kButtons)
            if (b.part == part)
                grid->addWidget(button(b.id, QString::fromLatin1(b.text), b.action), b.row, b.column);
    }
    grids[kEeprom]->setColumnStretch(3, 1);

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

    auto* groups = new QGridLayout;
    groups->addWidget(boxes[kI2c], 0, 0);
    groups->addWidget(boxes[kFpga], 0, 1);
    groups->addWidget(boxes[kEeprom], 1, 0, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(grids[kSerial]);
    layout->addWidget(caption(QStringLiteral("Requests"), log_, this));
    layout->addWidget(log_, 1);
    layout->addWidget(copy, 0, Qt::AlignRight);

    buttons_.front()->setFocus();  // I2C "Write"
}

DebugDialog::~DebugDialog() = default;  // jobs_ waits for a running action

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
    for (QPushButton* b : buttons_)
        b->setEnabled(false);
    jobs_.run([action = std::move(action)](std::stop_token) { return action(); },
              [this, show = std::move(show)](const DebugResult& result) {
                  const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz"));
                  for (const Transaction& t : result.log)
                      log_->appendPlainText(time + QStringLiteral("  ") + qtext(transactionLine(t)));
                  show(result);
                  for (QPushButton* b : buttons_)
                      b->setEnabled(true);
              });
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
