// The simulated bus's start settings from the environment's text, apart from
// the environment so that tests call them directly. The whole text must be
// one number; a time or rate out of range is clamped, a scene out of range
// and anything else refused for the default, each with the one line to say
// on stderr.
#pragma once

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace qdx::sim {

struct TimeSetting {
    std::chrono::microseconds value;
    std::string warning;  // empty when the text was taken as it stands
};

inline constexpr double kMinFramesPerSecond = 0.1;
inline constexpr double kMaxFramesPerSecond = 1000;
// Slower than this a control transfer or an EEPROM page write is no camera's.
inline constexpr std::chrono::microseconds kMaxSimLatency{100000};

namespace settings {

// The whole text as a decimal number (from_chars: no locale, no leading
// space or '+'). Numbers beyond a double become its largest or smallest.
inline std::optional<double> decimal(std::string_view text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || end != text.data() + text.size())
        return std::nullopt;
    if (error == std::errc::result_out_of_range) {
        const bool tiny = text.find("e-") != std::string_view::npos || text.find("E-") != std::string_view::npos;
        value = tiny ? std::numeric_limits<double>::denorm_min() : std::numeric_limits<double>::max();
        return text.front() == '-' ? -value : value;
    }
    if (error != std::errc())
        return std::nullopt;
    return value;
}

inline std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.4g", value);
    return text;
}

inline std::string quotedSetting(std::string_view name, std::string_view text)
{
    return "QDX: " + std::string(name) + "=\"" + std::string(text) + "\"";
}

}  // namespace settings

// QDX_SIM_FPS, frames per second, as the time between frames. 0 paces
// nothing: a frame whenever the host reads.
inline TimeSetting frameIntervalSetting(std::string_view text, std::chrono::microseconds fallback)
{
    const auto interval = [](double fps) { return std::chrono::microseconds(std::llround(1e6 / fps)); };
    const std::optional<double> fps = settings::decimal(text);
    if (!fps || !std::isfinite(*fps) || *fps < 0) {
        const double fallbackFps = fallback.count() > 0 ? 1e6 / static_cast<double>(fallback.count()) : 0;
        return {fallback, settings::quotedSetting("QDX_SIM_FPS", text) + " is not a frame rate: using the default, " +
                              settings::number(fallbackFps) + " frames/s"};
    }
    if (*fps == 0)
        return {std::chrono::microseconds(0), {}};
    const double clamped = std::clamp(*fps, kMinFramesPerSecond, kMaxFramesPerSecond);
    if (clamped != *fps) {
        return {interval(clamped), settings::quotedSetting("QDX_SIM_FPS", text) + " is outside " +
                                       settings::number(kMinFramesPerSecond) + ".." +
                                       settings::number(kMaxFramesPerSecond) + " frames/s (or 0, unpaced): using " +
                                       settings::number(clamped)};
    }
    return {interval(*fps), {}};
}

// A time in whole microseconds, within 0..max (QDX_SIM_CONTROL_US,
// QDX_SIM_EEPROM_WRITE_US).
inline TimeSetting microsecondsSetting(std::string_view name, std::string_view text,
                                       std::chrono::microseconds fallback, std::chrono::microseconds max)
{
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || end != text.data() + text.size() ||
        (error != std::errc() && error != std::errc::result_out_of_range)) {
        return {fallback, settings::quotedSetting(name, text) +
                              " is not a whole number of microseconds: using the default, " +
                              std::to_string(fallback.count())};
    }
    if (error == std::errc::result_out_of_range)
        value = text.front() == '-' ? std::numeric_limits<long long>::min() : std::numeric_limits<long long>::max();
    const long long clamped = std::clamp(value, 0LL, static_cast<long long>(max.count()));
    if (clamped != value) {
        return {std::chrono::microseconds(clamped), settings::quotedSetting(name, text) + " is outside 0.." +
                                                        std::to_string(max.count()) + " microseconds: using " +
                                                        std::to_string(clamped)};
    }
    return {std::chrono::microseconds(value), {}};
}

struct SceneSetting {
    int value;
    std::string warning;  // empty when the text was taken as it stands
};

inline constexpr int kSceneCount = 4;

// QDX_SIM_SCENE: the scene number 0..3 of QDXSim_SetScene.
inline SceneSetting sceneSetting(std::string_view text, int fallback)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (!text.empty() && error == std::errc() && end == text.data() + text.size() && value >= 0 &&
        value < kSceneCount)
        return {value, {}};
    return {fallback, settings::quotedSetting("QDX_SIM_SCENE", text) + " is not a scene 0.." +
                          std::to_string(kSceneCount - 1) + ": using the default, " + std::to_string(fallback)};
}

}  // namespace qdx::sim
