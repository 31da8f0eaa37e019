// The ".qdx" settings file: a text file anyone may have edited or replaced.
#include <algorithm>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "core/files/SettingsFile.h"

using namespace qdx::viewer;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    SettingsFileProblem problem;
    const auto values = parseSettingsFile(text, problem);
    const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    if (!values) {
        // A refusal names a line of the file (or the one just after its end).
        QDX_FUZZ_CHECK(problem.line >= 1 && problem.line <= std::max(lines, kSettingsFileLines) + 1);
        QDX_FUZZ_CHECK(!problem.reason.empty());
        return 0;
    }
    // Taken: the header and 38 values, each one the library can encode.
    QDX_FUZZ_CHECK(lines >= kSettingsFileLines);
    QDX_FUZZ_CHECK(text.find(kSettingsFileHeader) != std::string_view::npos);
    for (std::size_t i = 0; i < values->size(); ++i) {
        const int v = (*values)[i];
        switch (settingsFileRows()[i].encoding) {
        case ValueEncoding::U16:
            QDX_FUZZ_CHECK(v >= 0 && v <= 65535);
            break;
        case ValueEncoding::Sm8:
            QDX_FUZZ_CHECK(v >= -255 && v <= 255);
            break;
        case ValueEncoding::S9:
            QDX_FUZZ_CHECK(v >= -256 && v <= 255);
            break;
        }
    }
    // What is taken is written back as the viewer writes it, and reads the same.
    const std::string written = formatSettingsFile(*values);
    QDX_FUZZ_CHECK(std::count(written.begin(), written.end(), '\n') == kSettingsFileLines);
    QDX_FUZZ_CHECK(written.find('\r') == std::string::npos);
    const auto again = parseSettingsFile(written, problem);
    QDX_FUZZ_CHECK(again && *again == *values);
    return 0;
}
