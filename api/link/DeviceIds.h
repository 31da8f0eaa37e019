// USB vendor/product IDs that identify the camera without probing it: the list
// in the environment variable QDX_USB_IDS and the list built into the library.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qdx {

struct UsbId {
    uint16_t vendor = 0;
    uint16_t product = 0;

    auto operator<=>(const UsbId&) const = default;
};

struct UsbIdList {
    std::vector<UsbId> ids;
    std::vector<std::string> rejected;  // malformed entries, as written, for a warning

    bool contains(UsbId id) const;
};

// Parses "vvvv:pppp[,vvvv:pppp...]": each ID is one to four hex digits, blanks
// around an entry are ignored, empty entries are skipped. A malformed entry is
// put in `rejected`; the well-formed ones are kept. Thread-safe.
UsbIdList parseUsbIds(std::string_view text);

// The IDs in QDX_USB_IDS followed by the built-in ones. Reads the environment,
// so call it where nothing else changes the environment.
UsbIdList configuredUsbIds();

}  // namespace qdx
