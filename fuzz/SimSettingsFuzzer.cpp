// The QDX_SIM_* start settings: environment text typed by people, so anything
// at all. The first byte picks the setting, the rest is its text.
#include <chrono>
#include <string>
#include <string_view>

#include "FuzzSupport.h"
#include "SimSettings.h"

using namespace qdx::sim;
using std::chrono::microseconds;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);
    // A text taken as it stands is a plain number: no warning for anything else.
    const bool plain = !text.empty() && text.find_first_not_of("0123456789.eE+-") == std::string_view::npos;
    switch (data[0] % 3) {
    case 0: {
        const TimeSetting fps = frameIntervalSetting(text, microseconds(33333));
        // Unpaced, or a frame rate 0.1..1000.
        QDX_FUZZ_CHECK(fps.value.count() == 0 || (fps.value.count() >= 1000 && fps.value.count() <= 10000000));
        QDX_FUZZ_CHECK(fps.warning.empty() || fps.warning.find("QDX_SIM_FPS") != std::string::npos);
        QDX_FUZZ_CHECK(fps.warning.empty() ? plain : true);
        break;
    }
    case 1: {
        const TimeSetting us = microsecondsSetting("QDX_SIM_CONTROL_US", text, microseconds(100), kMaxSimLatency);
        QDX_FUZZ_CHECK(us.value.count() >= 0 && us.value <= kMaxSimLatency);
        QDX_FUZZ_CHECK(us.warning.empty() ? plain && us.value.count() == std::stoll(std::string(text)) : true);
        break;
    }
    case 2: {
        const SceneSetting scene = sceneSetting(text, 0);
        QDX_FUZZ_CHECK(scene.value >= 0 && scene.value < kSceneCount);
        // Taken only as the number it is, else the default with a warning.
        if (scene.warning.empty())
            QDX_FUZZ_CHECK(plain && text.find_first_of(".eE") == std::string_view::npos &&
                           std::stoi(std::string(text)) == scene.value);
        else
            QDX_FUZZ_CHECK(scene.value == 0 && scene.warning.find("QDX_SIM_SCENE") != std::string::npos);
        break;
    }
    }
    return 0;
}
