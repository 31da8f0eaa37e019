// The BOS descriptor: the link reads its 5-byte header, then the whole BOS
// with the wTotalLength the header declares, and asks for each MS OS 2.0
// descriptor set that a platform capability announces.
#include "FuzzSupport.h"
#include "link/MsOsDescriptors.h"

using namespace qdx;

namespace {

// A platform capability's header, then 8 bytes per descriptor-set entry.
constexpr std::size_t kPlatformHeaderLength = 20;
constexpr std::size_t kSetInfoLength = 8;
// The descriptor set's own header: a shorter set cannot name anything.
constexpr std::size_t kSetHeaderLength = 10;

}  // namespace

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
    QDX_FUZZ_CHECK(sets.empty() || msos::kBosHeaderLength + kPlatformHeaderLength + kSetInfoLength * sets.size() <=
                                       bos.size());
    for (const auto& set : sets)
        QDX_FUZZ_CHECK(set.totalLength >= kSetHeaderLength);
    // Bytes past wTotalLength are not part of the BOS.
    QDX_FUZZ_CHECK(msos::msOs20DescriptorSets(sent) == sets);
    return 0;
}
