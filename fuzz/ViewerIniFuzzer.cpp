// "QDX_Viewer.ini": a text file in the folder the viewer starts in, which
// anyone may have edited, read and written back at every start.
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "core/files/ViewerConfig.h"

using namespace qdx::viewer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto before = profileValue(text, kConfigSection, kWindowModeKey);
    const int mode = parseProfileInt(before.value_or(""));
    const std::string value = std::to_string(mode);

    // The start's write-back: afterwards the file says what was read, a second
    // write-back changes nothing, and a value already there is replaced in
    // place, every other byte kept.
    const std::string written = setProfileValue(text, kConfigSection, kWindowModeKey, value);
    QDX_FUZZ_CHECK(profileValue(written, kConfigSection, kWindowModeKey) == value);
    QDX_FUZZ_CHECK(setProfileValue(written, kConfigSection, kWindowModeKey, value) == written);
    if (before)
        QDX_FUZZ_CHECK(written.size() == text.size() - before->size() + value.size());
    else
        QDX_FUZZ_CHECK(written.size() > text.size());
    // The other key is where it was.
    QDX_FUZZ_CHECK(profileValue(written, kConfigSection, kExpertModeKey) ==
                   profileValue(text, kConfigSection, kExpertModeKey));
    return 0;
}
