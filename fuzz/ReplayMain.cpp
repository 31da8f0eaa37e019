// A fuzz target without libFuzzer: feeds the empty input, then every file
// named or found in the folders named, to LLVMFuzzerTestOneInput, so an input
// once stored in fuzz/corpus/ fails the normal build's tests (and its ASan and
// UBSan builds) if a change makes it crash again.
//   qdx_fuzz_NAME FOLDER-OR-FILE...
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size);
// Optional, as libFuzzer treats it.
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

namespace fs = std::filesystem;

// The regular files the arguments name, a folder's in name order so that a
// failure is reproduced the same way.
bool collect(const char* argument, std::vector<fs::path>& inputs)
{
    const fs::path path(argument);
    std::error_code error;
    if (fs::is_regular_file(path, error)) {
        inputs.push_back(path);
        return true;
    }
    if (!fs::is_directory(path, error)) {
        std::fprintf(stderr, "%s: neither a file nor a folder\n", argument);
        return false;
    }
    std::vector<fs::path> found;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
        if (it->is_regular_file(error))
            found.push_back(it->path());
    }
    if (error) {
        std::fprintf(stderr, "%s: %s\n", argument, error.message().c_str());
        return false;
    }
    std::sort(found.begin(), found.end());
    inputs.insert(inputs.end(), found.begin(), found.end());
    return true;
}

bool read(const fs::path& path, std::vector<uint8_t>& bytes)
{
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open())
        return false;
    bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    return !file.bad();
}

// As libFuzzer does: a buffer of exactly the input's size, never null, so
// that ASan reports a read past the end.
void run(const std::vector<uint8_t>& bytes)
{
    const auto copy = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    LLVMFuzzerTestOneInput(copy.get(), bytes.size());
}

}  // namespace

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!collect(argv[i], inputs))
            return 2;
    }
    // A target without seeds would pass here having checked nothing.
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s FOLDER-OR-FILE... (at least one input)\n", argv[0]);
        return 2;
    }

    run({});
    for (const fs::path& path : inputs) {
        std::vector<uint8_t> bytes;
        if (!read(path, bytes)) {
            std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
            return 2;
        }
        std::fprintf(stderr, "%s (%zu bytes)\n", path.c_str(), bytes.size());
        run(bytes);
    }
    std::printf("%zu inputs and the empty one replayed\n", inputs.size());
    return 0;
}
