#include "DebugAccess.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <thread>
#include <utility>

#include "QDX_API.h"

namespace qdx::viewer {
namespace {

const char* requestName(uint8_t bRequest)
{
    switch (bRequest) {
    case QDX_REQUEST_DEVICE_INFO:
        return "device info read";
    case QDX_REQUEST_FORMAT_INFO:
        return "format info read";
    case QDX_REQUEST_DEVICE_STATUS:
        return "status read";
    case QDX_REQUEST_DEVICE_CONTROL:
        return "device control write";
    case QDX_REQUEST_I2C_READ:
        return "I2C read";
    case QDX_REQUEST_I2C_WRITE:
        return "I2C write";
    case QDX_REQUEST_MEMORY_READ:
        return "memory read";
    case QDX_REQUEST_MEMORY_WRITE:
        return "memory write";
    case QDX_REQUEST_REGISTER_READ:
        return "register read";
    case QDX_REQUEST_REGISTER_WRITE:
        return "register write";
    default:
        return "request";
    }
}

// The requests the library sends from this thread while a Recorder lives,
// as the library's request observer reports them: the log shows what was
// sent and received, not what we expect to be.
class Recorder {
public:
    Recorder()
    {
        // One observer for the process, set once; it only looks at the
        // recorder of the thread it is called on.
        static std::once_flag installed;
        std::call_once(installed, [] { QDX_SetRequestObserver(&Recorder::observe, nullptr); });
        current = this;
    }
    ~Recorder() { current = nullptr; }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // The requests since the last take.
    std::vector<Transaction> take() { return std::exchange(requests_, {}); }

    // The requests of a call that makes one at a time; the call itself when
    // it sent nothing (no library running).
    std::vector<Transaction> take(const char* call, int result)
    {
        std::vector<Transaction> requests = take();
        if (requests.empty()) {
            Transaction t;
            t.what = call;
            t.result = result;
            t.note = "nothing sent";
            requests.push_back(std::move(t));
        }
        return requests;
    }

private:
    static void observe(const QDX_REQUEST* request, void*)
    {
        if (current)
            current->add(*request);
    }

    void add(const QDX_REQUEST& r)
    {
        Transaction t;
        t.what = requestName(r.bRequest);
        t.hasSetup = true;
        t.bmRequestType = r.bmRequestType;
        t.bRequest = r.bRequest;
        t.wValue = r.wValue;
        t.wIndex = r.wIndex;
        t.wLength = r.wLength;
        if (r.data)
            ((r.bmRequestType & 0x80) ? t.received : t.sent).assign(r.data, r.data + r.wLength);
        t.result = r.result;
        // A memory polled until it is ready: one line for the same answer over and over.
        if (!requests_.empty()) {
            Transaction& last = requests_.back();
            if (last.hasSetup && last.bmRequestType == t.bmRequestType && last.bRequest == t.bRequest &&
                last.wValue == t.wValue && last.wIndex == t.wIndex && last.wLength == t.wLength &&
                last.sent == t.sent && last.received == t.received && last.result == t.result) {
                ++last.repeats;
                return;
            }
        }
        requests_.push_back(std::move(t));
    }

    static thread_local Recorder* current;
    std::vector<Transaction> requests_;
};

thread_local Recorder* Recorder::current = nullptr;

void append(std::vector<Transaction>& log, std::vector<Transaction>&& more)
{
    log.insert(log.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
}

Transaction refused(std::string what, std::string why)
{
    Transaction t;
    t.what = std::move(what);
    t.called = false;
    t.note = std::move(why);
    return t;
}

std::string hexNumber(uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, value);
    return text;
}

DebugResult failed(std::string text, std::vector<Transaction> log)
{
    DebugResult result;
    result.text = std::move(text);
    result.log = std::move(log);
    return result;
}

// The outcome of one raw call: "success." for a write, the bytes for a read
// (read not empty), failedText when the library reported an error.
DebugResult outcome(int called, std::vector<Transaction> log, std::span<const uint8_t> read, const char* failedText)
{
    DebugResult result;
    result.ok = called == QDX_OK;
    result.log = std::move(log);
    if (!result.ok) {
        result.text = failedText;
    } else if (read.empty()) {
        result.text = "success.";
    } else {
        result.received.assign(read.begin(), read.end());
        result.text = hexBytes(result.received);
    }
    return result;
}

const char* memoryName(int type)
{
    return type == QDX_MEMORY_FX2 ? "FX2 EEPROM" : "CIS EEPROM";
}

}  // namespace

std::string transactionLine(const Transaction& t)
{
    std::string line = t.what;
    if (t.hasSetup) {
        char setup[40];
        std::snprintf(setup, sizeof setup, "  setup %02X %02X %04X %04X %04X", t.bmRequestType, t.bRequest, t.wValue,
                      t.wIndex, t.wLength);
        line += setup;
    }
    const auto bytes = [](const std::vector<uint8_t>& b) {
        std::string text = hexBytes(b);
        text.pop_back();  // the space after the last byte
        return text;
    };
    if (!t.sent.empty())
        line += "  sent " + bytes(t.sent);
    if (!t.called) {
        line += "  not sent";
    } else {
        line += "  result " + std::to_string(t.result);
        if (!t.received.empty())
            line += "  received " + bytes(t.received);
    }
    if (t.repeats > 1)
        line += "  (" + std::to_string(t.repeats) + " times)";
    if (!t.note.empty())
        line += "  (" + t.note + ")";
    return line;
}

DebugResult i2cWrite(int slave, std::span<const uint8_t> bytes)
{
    Recorder recorder;
    const int result = QDX_I2CWrite(slave, static_cast<int>(bytes.size()), bytes.data());
    return outcome(result, recorder.take("QDX_I2CWrite", result), {}, "failed.");
}

DebugResult i2cRead(int slave, int size)
{
    size = std::clamp(size, 1, kDebugMostBytes);
    std::array<uint8_t, kDebugMostBytes> buffer{};
    Recorder recorder;
    const int result = QDX_I2CRead(slave, size, buffer.data());
    return outcome(result, recorder.take("QDX_I2CRead", result), std::span(buffer).first(static_cast<std::size_t>(size)),
                   "failed.");
}

DebugResult i2cWriteRead(int slave, std::span<const uint8_t> bytes, int size)
{
    DebugResult write = i2cWrite(slave, bytes);
    if (!write.ok) {
        write.text = "write failed.";
        return write;
    }
    DebugResult read = i2cRead(slave, size);
    read.log.insert(read.log.begin(), std::make_move_iterator(write.log.begin()),
                    std::make_move_iterator(write.log.end()));
    if (!read.ok)
        read.text = "read failed.";
    return read;
}

DebugResult registerWrite(uint32_t address, uint32_t value)
{
    if (address > kLastRegister)
        return failed("failed.", {refused("register write", "register " + hexNumber(address, 4) +
                                                                " is beyond the 16-bit register numbers")});
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    Recorder recorder;
    const int result = QDX_DeviceWrite(0, static_cast<int>(address), 2, bytes);
    return outcome(result, recorder.take("QDX_DeviceWrite", result), {}, "failed.");
}

DebugResult registerRead(uint32_t address)
{
    if (address > kLastRegister)
        return failed("failed.", {refused("register read", "register " + hexNumber(address, 4) +
                                                               " is beyond the 16-bit register numbers")});
    uint8_t bytes[2] = {};
    Recorder recorder;
    const int called = QDX_DeviceRead(0, static_cast<int>(address), 2, bytes);
    DebugResult result = outcome(called, recorder.take("QDX_DeviceRead", called), bytes, "failed.");
    if (result.ok) {
        char text[8];
        std::snprintf(text, sizeof text, "%X", bytes[0] * 256 + bytes[1]);
        result.text = text;
    }
    return result;
}

namespace {

// The range [address, address + count) lies within the memory's 20 bits.
bool memoryRange(uint32_t address, std::size_t count, std::string& why)
{
    if (address <= kLastMemoryAddress && count <= kLastMemoryAddress + 1 - address)
        return true;
    why = "address " + hexNumber(address, 5) + (count > 1 ? " + " + std::to_string(count) + " bytes" : "") +
          " is beyond the 20-bit memory addresses";
    return false;
}

}  // namespace

DebugResult memoryWrite(int type, uint32_t address, std::span<const uint8_t> bytes, std::chrono::milliseconds busyLimit)
{
    type = type == QDX_MEMORY_FX2 ? QDX_MEMORY_FX2 : QDX_MEMORY_CIS;
    if (std::string why; !memoryRange(address, bytes.size(), why))
        return failed("failed.", {refused("memory write", why)});

    // The memory finishes a write on its own; a further write waits until it
    // is no longer busy, but not forever: a memory stuck busy is a fault.
    Recorder recorder;
    const auto deadline = std::chrono::steady_clock::now() + busyLimit;
    int reads = 0;
    uint8_t state = QDX_MEMORY_BUSY;
    // The wait's outcome, said after the status reads.
    const auto waited = [&](std::string note) {
        std::vector<Transaction> log = recorder.take("QDX_GetDevStatus", QDX_ERR_TRANSFER);
        std::string& said = log.back().note;
        said += (said.empty() ? "" : "; ") + note;
        return log;
    };
    for (;;) {
        uint8_t record[64] = {};
        const int result = QDX_GetDevStatus(sizeof record, record);
        ++reads;
        if (result != QDX_OK)
            return failed("failed.(func.)", waited(std::to_string(reads) + (reads == 1 ? " read" : " reads")));
        state = record[type == QDX_MEMORY_FX2 ? QDX_DEVSTATUS_FX2_MEMORY_STATE : QDX_DEVSTATUS_CIS_MEMORY_STATE];
        if (state != QDX_MEMORY_BUSY)
            break;
        if (std::chrono::steady_clock::now() >= deadline)
            return failed("failed.(busy)", waited(std::string(memoryName(type)) + " still busy after " +
                                                  std::to_string(reads) + " reads"));
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    static constexpr const char* kStates[] = {"ready", "busy", "error", "absent"};
    std::vector<Transaction> log =
        waited(std::string(memoryName(type)) + " " + (state < 4 ? kStates[state] : "state " + std::to_string(state)) +
               (reads > 1 ? " after " + std::to_string(reads) + " reads" : ""));
    if (state == QDX_MEMORY_ERROR || state == QDX_MEMORY_ABSENT)
        return failed(state == QDX_MEMORY_ERROR ? "failed.(error.)" : "failed.(none)", std::move(log));

    const int result = QDX_FlashWrite(type, address, static_cast<int>(bytes.size()), bytes.data());
    append(log, recorder.take("QDX_FlashWrite", result));
    return outcome(result, std::move(log), {}, "failed.");
}

DebugResult memoryRead(int type, uint32_t address, int size)
{
    type = type == QDX_MEMORY_FX2 ? QDX_MEMORY_FX2 : QDX_MEMORY_CIS;
    size = std::clamp(size, 1, kDebugMostBytes);
    if (std::string why; !memoryRange(address, static_cast<std::size_t>(size), why))
        return failed("read failed.", {refused("memory read", why)});
    std::array<uint8_t, kDebugMostBytes> buffer{};
    Recorder recorder;
    const int result = QDX_FlashRead(type, address, size, buffer.data());
    return outcome(result, recorder.take("QDX_FlashRead", result),
                   std::span(buffer).first(static_cast<std::size_t>(size)), "read failed.");
}

namespace {

// The requests a library call of several made, then the call itself.
void logCall(DebugResult& result, Recorder& recorder, std::string call, int called, std::string note = {})
{
    append(result.log, recorder.take());
    Transaction t;
    t.what = std::move(call);
    t.result = called;
    t.note = std::move(note);
    result.log.push_back(std::move(t));
}

}  // namespace

DebugResult serialNumberWrite(std::string_view text)
{
    DebugResult result;
    Recorder recorder;
    int state = -1;
    const int check = QDX_Check_CISFlash(&state);
    logCall(result, recorder, "QDX_Check_CISFlash", check, check == QDX_OK ? "state " + std::to_string(state) : "");
    if (check != QDX_OK) {
        result.text = "failed.";
        return result;
    }
    if (state == QDX_CIS_FLASH_ABSENT) {
        result.text = "failed.(none)";
        return result;
    }
    const int init = QDX_Init_CISFlash(1);
    logCall(result, recorder, "QDX_Init_CISFlash(1)", init);
    if (init != QDX_OK) {
        result.text = "failed.";
        return result;
    }
    unsigned char buffer[kSerialNumberChars + 1] = {};
    text = text.substr(0, kSerialNumberChars);
    std::copy(text.begin(), text.end(), buffer);
    const int save = QDX_Save_CIS_SerialNo(buffer);
    logCall(result, recorder, "QDX_Save_CIS_SerialNo", save, "\"" + std::string(text.substr(0, 14)) + "\"");
    result.ok = save == QDX_OK;
    result.text = result.ok ? "success." : "failed.";
    return result;
}

DebugResult serialNumberRead()
{
    unsigned char buffer[64] = {};
    DebugResult result;
    Recorder recorder;
    const int load = QDX_Load_CIS_SerialNo(buffer);
    result.ok = load == QDX_OK;
    // Fourteen bytes at most, not terminated when all are used: the buffer's
    // zeros end the text.
    result.text = result.ok ? std::string(reinterpret_cast<const char*>(buffer)) : "failed.";
    logCall(result, recorder, "QDX_Load_CIS_SerialNo", load, result.ok ? "\"" + result.text + "\"" : "");
    return result;
}

}  // namespace qdx::viewer
