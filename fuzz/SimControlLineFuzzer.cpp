// A line to the simulated camera's control channel: whatever a client sends.
#include <string>
#include <string_view>

#include "ControlCommand.h"
#include "FuzzSupport.h"

using namespace qdx::sim;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const ControlLine parsed = parseControlLine(line);
    // The reply is one line: a reason never carries a line break.
    QDX_FUZZ_CHECK(parsed.error.find('\n') == std::string::npos && parsed.error.find('\r') == std::string::npos);
    QDX_FUZZ_CHECK(!(parsed.command && !parsed.error.empty()));
    if (!parsed.command)
        return 0;
    // Taken: bounded, and read back from its own text as the same command.
    QDX_FUZZ_CHECK(line.size() <= kControlLineMax);
    const std::string text = controlLineText(*parsed.command);
    QDX_FUZZ_CHECK(text.size() < kControlLineMax);
    const ControlLine again = parseControlLine(text);
    QDX_FUZZ_CHECK(again.command == parsed.command);
    return 0;
}
