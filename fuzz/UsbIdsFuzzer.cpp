// QDX_USB_IDS: a list typed by people into the environment, so anything at all.
#include <cstdio>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "link/DeviceIds.h"

using namespace qdx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const UsbIdList list = parseUsbIds(text);

    // Every entry that is not blank is either taken or reported, none dropped in silence.
    std::size_t entries = 0;
    bool blank = true;
    for (const char c : text) {
        if (c == ',') {
            entries += blank ? 0 : 1;
            blank = true;
        } else if (c != ' ' && c != '\t') {
            blank = false;
        }
    }
    entries += blank ? 0 : 1;
    QDX_FUZZ_CHECK(list.ids.size() + list.rejected.size() == entries);

    // A reported entry is quoted as written and is rejected again on its own.
    for (const std::string& entry : list.rejected) {
        QDX_FUZZ_CHECK(!entry.empty() && text.find(entry) != std::string_view::npos);
        const UsbIdList alone = parseUsbIds(entry);
        QDX_FUZZ_CHECK(alone.ids.empty() && alone.rejected == std::vector<std::string>{entry});
    }

    // The IDs taken, written back in either letter case, read back the same.
    std::string written;
    for (const UsbId id : list.ids) {
        char entry[16];
        std::snprintf(entry, sizeof entry, "%04x:%04X,", id.vendor, id.product);
        written += entry;
    }
    const UsbIdList again = parseUsbIds(written);
    QDX_FUZZ_CHECK(again.ids == list.ids && again.rejected.empty());
    return 0;
}
