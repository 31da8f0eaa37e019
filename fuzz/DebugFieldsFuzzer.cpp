// The Debug dialog's fields (and qdxctl's raw-access operands): text typed by
// an operator, so anything at all. Each reader must agree with the C
// library's reading of the same text, stay in its range, and read what the
// dialog writes back into the field as the same value.
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "core/device/DebugAccess.h"
#include "viewer/core/NumberReadingOracle.h"

using namespace qdx::viewer;
using namespace qdx::viewer::test;

namespace {

bool same(const HexScan& a, const HexScan& b)
{
    return a.found == b.found && (!a.found || (a.end == b.end && a.whole == b.whole && a.value == b.value));
}

bool same(const DecimalScan& a, const DecimalScan& b)
{
    return a.found == b.found && (!a.found || (a.end == b.end && a.whole == b.whole && a.value == b.value));
}

std::vector<uint8_t> bytesOf(const ByteList& list)
{
    return {list.view().begin(), list.view().end()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    QDX_FUZZ_CHECK(same(scanHex(text), hexOracle(text)));
    QDX_FUZZ_CHECK(same(scanDecimal(text), decimalOracle(text)));
    const ByteList list = parseByteList(text);
    QDX_FUZZ_CHECK(list.count >= 0 && list.count <= kDebugMostBytes);
    QDX_FUZZ_CHECK(bytesOf(list) == byteListOracle(text.substr(0, kByteListChars)));

    // The field's width comes from the input too: the dialog has fields of 63 and 79.
    const std::size_t width = size > 0 ? data[0] : 0;
    const HexScan field = hexOracle(text.substr(0, width));
    QDX_FUZZ_CHECK(parseHexField(text, width) == (field.found ? field.value : 0));

    // What the dialog writes back into a field reads as the same value.
    const int slave = parseSlaveAddress(text);
    QDX_FUZZ_CHECK(slave >= 0 && slave <= 0x7F && parseSlaveAddress(hexByte(slave)) == slave);
    const int readSize = parseReadSize(text);
    QDX_FUZZ_CHECK(readSize >= 1 && readSize <= kDebugMostBytes && parseReadSize(std::to_string(readSize)) == readSize);
    const std::string shown = hexBytes(list.view());
    QDX_FUZZ_CHECK(shown.size() == 3 * static_cast<std::size_t>(list.count));
    QDX_FUZZ_CHECK(bytesOf(parseByteList(shown)) == bytesOf(list));
    const int type = parseMemoryType(text);
    QDX_FUZZ_CHECK((type == 0 || type == 1) && parseMemoryType(std::to_string(type)) == type);
    return 0;
}
