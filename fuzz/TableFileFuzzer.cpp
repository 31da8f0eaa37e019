// The defect-pixel and FPN table files: any file a user names for
// `qdxctl table set dp|fpn`.
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "core/files/TableFile.h"

using namespace qdx::viewer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    for (const std::size_t tableSize : {std::size_t{256}, std::size_t{82416}}) {
        std::vector<uint8_t> table(tableSize, 0xA5);
        std::string why;
        const bool taken = tableFromBytes(bytes, table, why);
        // Exactly the table's size, taken byte for byte; anything else changes nothing.
        QDX_FUZZ_CHECK(taken == (size == tableSize));
        if (taken)
            QDX_FUZZ_CHECK(std::equal(table.begin(), table.end(), data));
        else
            QDX_FUZZ_CHECK(!why.empty() && table == std::vector<uint8_t>(tableSize, 0xA5));
    }
    return 0;
}
