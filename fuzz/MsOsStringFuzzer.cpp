// The MS OS 1.0 string descriptor (index 0xEE), which discovery reads with
// wLength 18 from every vendor-specific device on the bus.
#include "FuzzSupport.h"
#include "link/MsOsDescriptors.h"

using namespace qdx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::span<const uint8_t> sent(data, size);
    const fuzz::Bytes bytes = fuzz::answer(sent, msos::kOsStringLength);
    const auto vendorCode = msos::osStringVendorCode(bytes);

    // The descriptor is 18 bytes long: what a device sends after it cannot change the verdict.
    QDX_FUZZ_CHECK(msos::osStringVendorCode(sent) == vendorCode);
    if (vendorCode)
        QDX_FUZZ_CHECK(fuzz::containsUtf16IgnoringCase(bytes, "MSFT100"));
    return 0;
}
