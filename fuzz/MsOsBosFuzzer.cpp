// The BOS descriptor: the link reads its 5-byte header, then the whole BOS
// with the wTotalLength the header declares, and asks for each MS OS 2.0
// descriptor set that a platform capability announces.
#include "FuzzSupport.h"
#include "link/MsOsDescriptors.h"

using namespace qdx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::span<const uint8_t> sent(data, size);
    const auto total = msos::bosTotalLength(fuzz::answer(sent, msos::kBosHeaderLength));

    // The length must come from the header alone, or the link's first read would not tell it.
    QDX_FUZZ_CHECK(msos::bosTotalLength(sent) == total);
    if (!total) {
        QDX_FUZZ_CHECK(msos::msOs20DescriptorSets(sent).empty());
        return 0;
    }

    const fuzz::Bytes bos = fuzz::answer(sent, *total);
    const auto sets = msos::msOs20DescriptorSets(bos);
    // Every entry was read from bytes that arrived: no phantom sets.
    const std::size_t entriesEnd =
        msos::kBosHeaderLength + msos::kPlatformHeaderLength + msos::kSetInfoLength * sets.size();
    QDX_FUZZ_CHECK(sets.empty() || entriesEnd <= bos.size());
    for (const auto& set : sets)
        QDX_FUZZ_CHECK(set.totalLength >= msos::kSetHeaderLength);
    // Bytes past wTotalLength are not part of the BOS.
    QDX_FUZZ_CHECK(msos::msOs20DescriptorSets(sent) == sets);
    return 0;
}
