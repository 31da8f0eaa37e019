// JSON results on stdout, keys in the order they were added.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

namespace qdx::ctl {

using Json = nlohmann::ordered_json;

// Text from the camera (a serial number) need not be UTF-8: it is replaced,
// never thrown over.
inline void printJson(std::ostream& out, const Json& value)
{
    out << value.dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
}

}  // namespace qdx::ctl
