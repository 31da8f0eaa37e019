// The gamma table text file: any text file a user picks for Gamma Upload.
#include <string_view>

#include "FuzzSupport.h"
#include "core/files/GammaFile.h"

using namespace qdx::viewer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    GammaTables whole{};
    const bool usable = parseGammaText(text, whole);

    // The file reader's pieces, cut where the input's first byte says, read
    // as the whole text: a CR LF split between two reads is still one line end.
    const std::size_t piece = size ? data[0] % 17 + 1 : 1;
    GammaTables pieces{};
    GammaParser parser(pieces);
    for (std::size_t at = 0; at < size; at += piece)
        if (!parser.feed(text.substr(at, piece)))
            break;
    QDX_FUZZ_CHECK(parser.finish() == usable);
    QDX_FUZZ_CHECK(parser.entries() <= kGammaEntries);
    if (!usable)
        return 0;
    QDX_FUZZ_CHECK(pieces == whole);
    // What is taken is written as the viewer writes it and reads the same.
    GammaTables again{};
    QDX_FUZZ_CHECK(parseGammaText(gammaText(whole), again) && again == whole);
    return 0;
}
