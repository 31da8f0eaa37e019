// The simulated EEPROM's image file in QDX_SIM_STATE_DIR: a file anyone may
// have replaced, cut or grown. The first byte picks the image's size
// (1..64 bytes, so that a file of the right size comes up often), the rest
// is the file.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "Eeprom.h"
#include "FuzzSupport.h"

using namespace qdx::sim;
namespace fs = std::filesystem;

namespace {

// A folder of the run's own, removed when the fuzzer exits.
struct Folder {
    Folder()
    {
        std::string pattern = (fs::temp_directory_path() / "qdx-fuzz-eeprom-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path = pattern;
    }
    ~Folder()
    {
        std::error_code error;
        if (!path.empty())
            fs::remove_all(path, error);
    }
    fs::path path;
};

const fs::path& folder()
{
    static const Folder made;
    return made.path;
}

std::vector<uint8_t> fileBytes(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0 || folder().empty())
        return 0;
    const std::size_t imageSize = 1 + data[0] % 64;
    const std::vector<uint8_t> file(data + 1, data + size);
    const fs::path path = folder() / "image";
    const fs::path aside = folder() / "image.wrong-size";
    std::error_code error;
    fs::remove(aside, error);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
    {
        Eeprom eeprom(imageSize, path.string());
        QDX_FUZZ_CHECK(eeprom.size() == imageSize && eeprom.persistent());
        std::vector<uint8_t> image(imageSize);
        QDX_FUZZ_CHECK(eeprom.read(0, imageSize, image.data()));
        if (file.size() == imageSize) {
            // The right size: taken byte for byte, nothing moved.
            QDX_FUZZ_CHECK(image == file && eeprom.startNote().empty() && !fs::exists(aside));
        } else {
            // Another size: kept whole beside, a blank image in its place.
            QDX_FUZZ_CHECK(image == std::vector<uint8_t>(imageSize, 0xFF));
            QDX_FUZZ_CHECK(fileBytes(aside) == file && fileBytes(path) == image);
            QDX_FUZZ_CHECK(eeprom.startNote().find("wrong-size") != std::string::npos);
        }
    }
    // What the image holds is the file's, once closed.
    QDX_FUZZ_CHECK(fs::file_size(path, error) == imageSize);
    return 0;
}
