// qdxctl stats against the simulated camera's test pattern, computed here
// pixel by pixel.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>

#include "CtlFixture.h"
#include "TestPattern.h"
#include "live/FrameConversion.h"

namespace qdx::ctl::test {
namespace {

using nlohmann::json;

// The figures of one frame of the pattern, from its words.
json patternFigures(uint64_t number, int x0, int y0, int width, int height)
{
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    sim::renderTestPattern(sim::FrameSettings{}, number, frame.data());
    const auto word = [&](int x, int y, int k) {
        const std::size_t at = (static_cast<std::size_t>(y) * QDX_FRAME_WIDTH + static_cast<std::size_t>(x)) * 4 + 2 * k;
        return (frame[at] | frame[at + 1] << 8) >> 4;
    };
    double n = 0, sum = 0, squares = 0, red = 0, green = 0, blue = 0;
    int min = 4096, max = -1, atZero = 0, atFull = 0;
    for (int y = y0; y < y0 + height; ++y)
        for (int x = x0; x < x0 + width; ++x) {
            const int v = word(x, y, 1);
            const auto shown = viewer::yuvToBgr(v, word(x & ~1, y, 0) - 2048, word(x | 1, y, 0) - 2048);
            n += 1, sum += v, squares += static_cast<double>(v) * v;
            min = std::min(min, v), max = std::max(max, v);
            atZero += v == 0, atFull += v == 4095;
            red += shown.r, green += shown.g, blue += shown.b;
        }
    const double mean = sum / n;
    return {{"mean", mean}, {"stddev", std::sqrt(squares / n - mean * mean)}, {"min", min}, {"max", max},
            {"at_zero", atZero}, {"at_full", atFull}, {"mean_red", red / n}, {"mean_green", green / n},
            {"mean_blue", blue / n}};
}

// Whether the printed figures are those of `want`, to the digits printed.
bool sameFigures(const json& got, const json& want)
{
    for (const auto& [key, value] : want.items()) {
        const double digits = key == "mean" || key == "stddev" ? 5e-4 : 5e-3;
        if (!got.contains(key) || std::abs(got[key].get<double>() - value.get<double>()) > digits + 1e-9)
            return false;
    }
    return true;
}

// Guards the figures of a region against the same region of the frame the
// camera sent (the pattern's moving bar makes it one of 101 frames), the
// region reported as given, the pooled pixel count of several frames, and
// the text summary's lines.
TEST_F(CtlTest, StatsAgreeWithTheFrameThePatternSent)
{
    const CtlRun run = runCtl({"stats", "--roi", "13,250,60,90", "--json"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    const json got = json::parse(run.out, nullptr, false);
    ASSERT_FALSE(got.is_discarded()) << run.out;
    EXPECT_EQ(got.value("frames", 0), 1);
    EXPECT_EQ(got["roi"], (json{{"x", 13}, {"y", 250}, {"width", 60}, {"height", 90}}));
    EXPECT_EQ(got.value("pixels", 0), 60 * 90);
    EXPECT_EQ(got.value("picture", ""), "colour");
    bool matched = false;
    for (uint64_t number = 0; number < 101 && !matched; ++number)
        matched = sameFigures(got, patternFigures(number, 13, 250, 60, 90));
    EXPECT_TRUE(matched) << run.out;

    const CtlRun text = runCtl({"stats", "--frames", "3"});
    ASSERT_EQ(text.status, kExitOk) << text.err;
    for (const char* line : {"frames      3\n", "roi         2,2,400,400\n", "pixels      480000\n", "min         256\n",
                             "at 0        0\n", "picture     colour\n"})
        EXPECT_NE(text.out.find(line), std::string::npos) << line << " in\n" << text.out;
}

// Guards the refusals: a region malformed or not wholly inside the frame,
// and frame counts out of range, are usage errors that print no figures.
TEST_F(CtlTest, StatsRefusesBadRegionsAndCounts)
{
    const std::vector<std::string> refused[] = {
        {"--roi", "1,2,3"},    {"--roi", "1,2,3,4,5"}, {"--roi", "1,,3,4"},   {"--roi", "-1,0,5,5"},
        {"--roi", "0,0,0,5"},  {"--roi", "400,0,5,1"}, {"--roi", "0,403,1,2"}, {"--frames", "0"},
        {"--frames", "10001"},
    };
    for (const auto& options : refused) {
        std::vector<std::string> args{"stats"};
        args.insert(args.end(), options.begin(), options.end());
        const CtlRun run = runCtl(args);
        EXPECT_EQ(run.status, kExitUsage) << options[1];
        EXPECT_NE(run.err.find(options[0] + " " + options[1] + ": "), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    const CtlRun corner = runCtl({"stats", "--roi", "403,403,1,1", "--json"});
    EXPECT_EQ(corner.status, kExitOk) << corner.err;
}

}  // namespace
}  // namespace qdx::ctl::test
