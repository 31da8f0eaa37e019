// The MS OS 2.0 descriptor set (vendor request, wIndex 7). The link asks for
// the length the BOS announced, so a device can send up to 64 KiB of anything.
#include "FuzzSupport.h"
#include "link/MsOsDescriptors.h"

using namespace qdx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::span<const uint8_t> sent(data, size);
    const fuzz::Bytes bytes = fuzz::answer(sent, UINT16_MAX);
    const bool camera = msos::descriptorSetNamesCamera(bytes);
    if (camera) {
        QDX_FUZZ_CHECK(fuzz::containsUtf16IgnoringCase(bytes, "DeviceInterfaceGUID"));
        QDX_FUZZ_CHECK(fuzz::containsUtf16IgnoringCase(bytes, msos::kCameraInterfaceGuid));
    }
    // Bytes past the set header's wTotalLength are not part of the set.
    if (bytes.size() >= 10) {
        const std::size_t total = bytes[8] | (bytes[9] << 8);
        QDX_FUZZ_CHECK(msos::descriptorSetNamesCamera(fuzz::answer(bytes, total)) == camera);
    }
    return 0;
}
