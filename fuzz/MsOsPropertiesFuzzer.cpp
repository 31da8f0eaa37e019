// The MS OS 1.0 extended-properties descriptor (vendor request, wIndex 5).
// The link reads its 10-byte header, then asks for the length the header
// declares, at most 64 KiB; the device may send fewer bytes or other ones.
#include "FuzzSupport.h"
#include "link/MsOsDescriptors.h"

using namespace qdx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::span<const uint8_t> sent(data, size);
    const auto declared = msos::extendedPropertiesLength(fuzz::answer(sent, msos::kExtendedPropertiesHeaderLength));

    // The length must come from the header alone, or the link's first read would not tell it.
    QDX_FUZZ_CHECK(msos::extendedPropertiesLength(sent) == declared);
    if (!declared) {
        QDX_FUZZ_CHECK(!msos::extendedPropertiesNameCamera(sent));
        return 0;
    }
    QDX_FUZZ_CHECK(*declared >= msos::kExtendedPropertiesHeaderLength);

    const fuzz::Bytes bytes = fuzz::answer(sent, std::min<uint32_t>(*declared, UINT16_MAX));
    const bool camera = msos::extendedPropertiesNameCamera(bytes);
    if (camera) {
        QDX_FUZZ_CHECK(fuzz::containsUtf16IgnoringCase(bytes, "DeviceInterfaceGUID"));
        QDX_FUZZ_CHECK(fuzz::containsUtf16IgnoringCase(bytes, msos::kCameraInterfaceGuid));
    }
    // Bytes past the declared length are not part of the descriptor.
    QDX_FUZZ_CHECK(msos::extendedPropertiesNameCamera(sent) ==
                   msos::extendedPropertiesNameCamera(fuzz::answer(sent, *declared)));
    return 0;
}
