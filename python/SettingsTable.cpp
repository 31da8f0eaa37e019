// Writes the viewer's settings table (viewer/core/model/Settings.h) as the
// JSON file the qdx Python package reads: names, captions, ranges, defaults,
// units, combo entries with the values the camera takes, and the library
// functions that send and read each setting. Run at build time, so the
// package never holds a copy of the table made by hand.
//   qdx_settings_table OUT.json
#include <dlfcn.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

#include <nlohmann/json.hpp>

#include "core/model/Settings.h"

namespace {

using qdx::viewer::ControlKind;
using qdx::viewer::LabelFormat;
using qdx::viewer::Setting;
using qdx::viewer::SettingId;
using Json = nlohmann::ordered_json;

// The table holds the library's functions themselves; the dynamic linker
// knows their exported names, which Python looks up in turn.
template <typename Function>
std::string exportedName(Function function)
{
    if (!function)
        return {};
    void* address = nullptr;
    static_assert(sizeof address == sizeof function);
    std::memcpy(&address, &function, sizeof address);
    Dl_info info{};
    if (::dladdr(address, &info) == 0 || !info.dli_sname || std::strncmp(info.dli_sname, "QDX_", 4) != 0 ||
        ::dlsym(RTLD_DEFAULT, info.dli_sname) != address)
        return {};
    return info.dli_sname;
}

const char* unitOf(LabelFormat format)
{
    switch (format) {
    case LabelFormat::Milliseconds:
        return "ms";
    case LabelFormat::Times:
        return "x";
    case LabelFormat::Decibel:
        return "dB";
    case LabelFormat::Integer:
    case LabelFormat::Fraction:
        break;
    }
    return "";
}

const char* kindOf(ControlKind kind)
{
    switch (kind) {
    case ControlKind::Slider:
        return "slider";
    case ControlKind::Combo:
        return "combo";
    case ControlKind::None:
        break;
    }
    return "none";
}

bool describe(SettingId id, Json& out)
{
    const Setting& s = qdx::viewer::setting(id);
    const std::string setter = s.set ? exportedName(s.set) : exportedName(s.setAt);
    const std::string getter = s.get ? exportedName(s.get) : exportedName(s.getAt);
    if (setter.empty() || getter.empty()) {
        std::cerr << "qdx_settings_table: " << s.name << ": its library functions have no exported names\n";
        return false;
    }
    Json entries = Json::array();
    for (std::size_t j = 0; j < s.entries.size(); ++j)
        entries.push_back(
            Json{{"text", s.entries[j]}, {"value", qdx::viewer::comboCameraValue(id, static_cast<int>(j))}});
    const bool indexed = !s.set;
    out = Json{{"name", s.name},
               {"caption", s.caption},
               {"kind", kindOf(s.control)},
               {"minimum", s.scale.minimum},
               {"maximum", s.scale.maximum},
               {"default", s.scale.defaultValue},
               {"unit", unitOf(s.scale.format)},
               {"factor", s.scale.factor},
               {"entries", entries},
               {"set", setter},
               {"get", getter},
               {"index", indexed ? Json(s.index) : Json(nullptr)},
               {"register", s.reg}};
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: qdx_settings_table OUT.json\n";
        return 2;
    }
    Json settings = Json::array();
    for (int i = 0; i < qdx::viewer::kSettingCount; ++i) {
        Json setting;
        if (!describe(static_cast<SettingId>(i), setting))
            return 1;
        settings.push_back(std::move(setting));
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << Json{{"settings", settings}}.dump(1) << "\n";
    out.close();
    if (!out) {
        std::cerr << "qdx_settings_table: " << argv[1] << ": could not be written\n";
        return 1;
    }
    return 0;
}
