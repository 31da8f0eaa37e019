// i2c, reg and eeprom: the Debug dialog's raw access from the command line,
// over the same readers and actions. Numbers are hexadecimal as in the dialog
// ("0x" allowed), sizes decimal. Where the dialog would mask or clamp a value
// (a slave address above 7F, a size beyond 1..64, a byte above FF), read
// text that is not entirely a number as 0, or send a write without data,
// this refuses it instead: nothing is sent.
#include <cstring>

#include "CtlCommands.h"
#include "Json.h"
#include "QDX_API.h"
#include "core/device/DebugAccess.h"

namespace qdx::ctl {
namespace {

using viewer::DebugResult;

// A whole hexadecimal number up to most; false with why.
bool hexOperand(const std::string& text, uint32_t most, const char* what, uint32_t& value, std::string& why)
{
    const viewer::HexScan scan = viewer::scanHex(text);
    if (!scan.found || !scan.whole || text.find('-') != std::string::npos || scan.value > most) {
        char range[32];
        std::snprintf(range, sizeof range, "0..%X", most);
        why = what + (" '" + text + "': not a hexadecimal number ") + range;
        return false;
    }
    value = scan.value;
    return true;
}

bool sizeOperand(const std::string& text, int& size, std::string& why)
{
    const viewer::DecimalScan scan = viewer::scanDecimal(text);
    if (!scan.found || !scan.whole || scan.value < 1 || scan.value > viewer::kDebugMostBytes) {
        why = "size '" + text + "': not a byte count 1.." + std::to_string(viewer::kDebugMostBytes);
        return false;
    }
    size = scan.value;
    return true;
}

// Bytes as separate operands or comma-separated ones: "01 02 ff", "01,02,ff".
bool byteOperands(std::span<const std::string> operands, viewer::ByteList& bytes, std::string& why)
{
    for (const std::string& operand : operands) {
        std::size_t at = 0;
        for (;;) {
            const std::size_t comma = operand.find(',', at);
            const std::string item = operand.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            uint32_t value = 0;
            if (!hexOperand(item, 0xFF, "byte", value, why))
                return false;
            if (bytes.count == viewer::kDebugMostBytes) {
                why = "at most " + std::to_string(viewer::kDebugMostBytes) + " bytes at a time";
                return false;
            }
            bytes.bytes[static_cast<std::size_t>(bytes.count++)] = static_cast<uint8_t>(value);
            if (comma == std::string::npos)
                break;
            at = comma + 1;
        }
    }
    return true;
}

bool memoryOperand(const std::string& text, int& type, std::string& why)
{
    if (text == "fx2" || text == "0")
        type = QDX_MEMORY_FX2;
    else if (text == "cis" || text == "1")
        type = QDX_MEMORY_CIS;
    else {
        why = "memory '" + text + "': fx2 (0) or cis (1)";
        return false;
    }
    return true;
}

// Only reads have a result worth JSON.
int refuseJsonForWrite(Context& context, const Arguments& arguments, bool write)
{
    return write && arguments.has("--json") ? context.usageError("--json is for reads") : kExitOk;
}

// Prints the log when asked, then the result: its text on stdout (or JSON), or
// the failure on stderr.
int report(Context& context, const Arguments& arguments, const DebugResult& result, Json json = {})
{
    if (arguments.has("--log"))
        for (const viewer::Transaction& t : result.log)
            context.err() << viewer::transactionLine(t) << "\n";
    if (!result.ok)
        return context.failure(result.text);
    if (arguments.has("--json")) {
        printJson(context.out(), json);
        return kExitOk;
    }
    std::string text = result.text;
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    context.out() << text << "\n";
    return kExitOk;
}

Json bytesJson(const DebugResult& result)
{
    return Json{{"bytes", result.received}};
}

}  // namespace

int runI2c(Context& context, const Arguments& arguments)
{
    const auto& ops = arguments.operands();
    std::string why;
    uint32_t slave = 0;
    if (ops.size() < 2 || (ops[0] != "read" && ops[0] != "write"))
        return context.usageError("i2c read SLAVE [SIZE] or i2c write SLAVE [BYTE...]");
    if (!hexOperand(ops[1], 0x7F, "slave address", slave, why))
        return context.usageError(why);
    viewer::ByteList bytes;
    int size = 2;
    if (ops[0] == "write") {
        if (!byteOperands(std::span(ops).subspan(2), bytes, why))
            return context.usageError(why);
        if (bytes.count == 0)
            return context.usageError("i2c write takes at least one BYTE");
    } else {
        if (ops.size() > 3)
            return context.usageError("i2c read takes SLAVE and SIZE");
        if (ops.size() == 3 && !sizeOperand(ops[2], size, why))
            return context.usageError(why);
        if (const auto sent = arguments.value("--write"); sent && !byteOperands(std::span(&*sent, 1), bytes, why))
            return context.usageError(why);
    }
    if (const int status = refuseJsonForWrite(context, arguments, ops[0] == "write"); status != kExitOk)
        return status;
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    const int address = static_cast<int>(slave);
    if (ops[0] == "write")
        return report(context, arguments, viewer::i2cWrite(address, bytes.view()));
    const DebugResult result = arguments.value("--write") ? viewer::i2cWriteRead(address, bytes.view(), size)
                                                          : viewer::i2cRead(address, size);
    return report(context, arguments, result, bytesJson(result));
}

int runReg(Context& context, const Arguments& arguments)
{
    const auto& ops = arguments.operands();
    std::string why;
    const bool write = !ops.empty() && ops[0] == "write";
    if (ops.empty() || (ops[0] != "read" && !write) || ops.size() != (write ? 3u : 2u))
        return context.usageError("reg read ADDR or reg write ADDR VALUE");
    uint32_t address = 0, value = 0;
    if (!hexOperand(ops[1], viewer::kLastRegister, "register", address, why) ||
        (write && !hexOperand(ops[2], 0xFFFF, "value", value, why)))
        return context.usageError(why);
    if (const int status = refuseJsonForWrite(context, arguments, write); status != kExitOk)
        return status;
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    if (write)
        return report(context, arguments, viewer::registerWrite(address, value));
    const DebugResult result = viewer::registerRead(address);
    const int read = result.received.size() == 2 ? result.received[0] << 8 | result.received[1] : 0;
    return report(context, arguments, result, Json{{"register", address}, {"value", read}});
}

int runEeprom(Context& context, const Arguments& arguments)
{
    const auto& ops = arguments.operands();
    std::string why;
    const bool write = !ops.empty() && ops[0] == "write";
    if (ops.size() < 3 || (ops[0] != "read" && !write))
        return context.usageError("eeprom read fx2|cis ADDR [SIZE] or eeprom write fx2|cis ADDR BYTE...");
    int type = 0;
    uint32_t address = 0;
    if (!memoryOperand(ops[1], type, why) || !hexOperand(ops[2], viewer::kLastMemoryAddress, "address", address, why))
        return context.usageError(why);
    viewer::ByteList bytes;
    int size = 1;
    if (write) {
        if (!byteOperands(std::span(ops).subspan(3), bytes, why))
            return context.usageError(why);
        if (bytes.count == 0)
            return context.usageError("eeprom write takes at least one BYTE");
    } else if (ops.size() > 4) {
        return context.usageError("eeprom read takes MEMORY, ADDR and SIZE");
    } else if (ops.size() == 4 && !sizeOperand(ops[3], size, why)) {
        return context.usageError(why);
    }
    const std::size_t count = write ? static_cast<std::size_t>(bytes.count) : static_cast<std::size_t>(size);
    if (count > viewer::kLastMemoryAddress + 1 - address)
        return context.usageError("the bytes run past the memory's last address FFFFF");
    if (const int status = refuseJsonForWrite(context, arguments, write); status != kExitOk)
        return status;
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    if (write)
        return report(context, arguments, viewer::memoryWrite(type, address, bytes.view()));
    const DebugResult result = viewer::memoryRead(type, address, size);
    return report(context, arguments, result, bytesJson(result));
}

}  // namespace qdx::ctl
