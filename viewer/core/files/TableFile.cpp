#include "TableFile.h"

#include <algorithm>

#include "AtomicFile.h"
#include "RegularFile.h"

namespace qdx::viewer {

bool tableFromBytes(std::string_view bytes, std::span<uint8_t> table, std::string& why)
{
    if (bytes.size() != table.size()) {
        why = std::to_string(bytes.size()) + " bytes, a table file holds " + std::to_string(table.size());
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), table.begin());
    return true;
}

bool readTableFile(const std::string& path, std::span<uint8_t> table, std::string& why)
{
    // Reads one byte more than the table at most: enough to refuse a larger file.
    std::string bytes;
    if (!readRegularFile(path, table.size(), bytes, why))
        return false;
    if (!tableFromBytes(bytes, table, why)) {
        why = path + ": " + why;
        return false;
    }
    return true;
}

bool writeTableFile(const std::string& path, std::span<const uint8_t> table, std::string& why)
{
    AtomicFile file;
    return file.open(path, why) && file.write(table, why) && file.commit(why);
}

}  // namespace qdx::viewer
