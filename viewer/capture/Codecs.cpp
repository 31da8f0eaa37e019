#include "Codecs.h"

#include <dlfcn.h>

#include <mutex>

#include "QDX_API.h"

namespace qdx::viewer {
namespace {

constexpr const char* kModule = "libqdx_codecs.so";

struct Loaded {
    const CodecTable* table = nullptr;
    std::string why;
};

Loaded load()
{
    // Installed and built in the folder qdx/ beside the library: a module
    // without a soname has no place in the library folder itself.
    std::string beside;
    if (Dl_info info{}; dladdr(reinterpret_cast<void*>(&QDX_Init), &info) != 0 && info.dli_fname) {
        const std::string library = info.dli_fname;
        if (const auto slash = library.rfind('/'); slash != std::string::npos)
            beside = library.substr(0, slash + 1) + "qdx/" + kModule;
    }
    void* handle = beside.empty() ? nullptr : dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        handle = dlopen(kModule, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = dlerror();
        return {nullptr, std::string("the codec module cannot be loaded: ") + (error ? error : kModule)};
    }
    using Entry = const CodecTable* (*)();
    const auto entry = reinterpret_cast<Entry>(dlsym(handle, "qdx_codec_table"));
    const CodecTable* table = entry ? entry() : nullptr;
    if (!table || table->version != kCodecTableVersion || !table->newLosslessEncoder || !table->writeTiff)
        return {nullptr, std::string("the codec module ") + kModule + " is of another build"};
    return {table, {}};  // stays loaded for the process
}

}  // namespace

const CodecTable* codecs(std::string& why)
{
    static std::once_flag once;
    static Loaded loaded;
    std::call_once(once, [] { loaded = load(); });
    if (!loaded.table)
        why = loaded.why;
    return loaded.table;
}

}  // namespace qdx::viewer
