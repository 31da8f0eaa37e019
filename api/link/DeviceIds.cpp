#include "link/DeviceIds.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "HexDigit.h"

// A distribution bakes the camera's IDs in through the CMake cache variable QDX_USB_IDS.
#ifndef QDX_BUILTIN_USB_IDS
#define QDX_BUILTIN_USB_IDS ""
#endif

namespace qdx {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(kBlanks);
    return text.substr(first, last - first + 1);
}

// One to four hex digits and nothing else: no sign, no "0x", no overflow.
std::optional<uint16_t> parseHex16(std::string_view text)
{
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    unsigned value = 0;
    for (const char c : text) {
        const int digit = hexDigitValue(c);
        if (digit < 0)
            return std::nullopt;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<uint16_t>(value);
}

std::optional<UsbId> parseEntry(std::string_view entry)
{
    const auto colon = entry.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const auto vendor = parseHex16(entry.substr(0, colon));
    const auto product = parseHex16(entry.substr(colon + 1));
    if (!vendor || !product)
        return std::nullopt;
    return UsbId{*vendor, *product};
}

void append(UsbIdList& to, UsbIdList&& from)
{
    to.ids.insert(to.ids.end(), from.ids.begin(), from.ids.end());
    for (auto& entry : from.rejected)
        to.rejected.push_back(std::move(entry));
}

}  // namespace

bool UsbIdList::contains(UsbId id) const
{
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

UsbIdList parseUsbIds(std::string_view text)
{
    UsbIdList list;
    while (true) {
        const auto comma = text.find(',');
        const auto entry = trimmed(text.substr(0, comma));
        if (!entry.empty()) {
            if (const auto id = parseEntry(entry))
                list.ids.push_back(*id);
            else
                list.rejected.emplace_back(entry);
        }
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return list;
}

UsbIdList configuredUsbIds()
{
    UsbIdList list;
    if (const char* fromEnvironment = std::getenv("QDX_USB_IDS"))
        list = parseUsbIds(fromEnvironment);
    append(list, parseUsbIds(QDX_BUILTIN_USB_IDS));
    return list;
}

}  // namespace qdx
