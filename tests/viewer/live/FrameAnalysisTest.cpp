// The frame analysis against a plain per-pixel computation written apart
// from it, on the simulated camera's colour chart and on frames made to order.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <random>
#include <string>
#include <tuple>

#include "CameraModel.h"
#include "FrameRenderer.h"
#include "live/FrameAnalysis.h"
#include "viewer/FrameBuilder.h"

namespace qdx::viewer {

// Found by argument-dependent lookup; static, as another test may print points too.
[[maybe_unused]] static void PrintTo(PixelPoint p, std::ostream* os)
{
    *os << "(" << p.x << ", " << p.y << ")";
}

namespace test {
namespace {

std::vector<uint8_t> chartFrame()
{
    std::vector<uint8_t> frame(kFrameBytes);
    sim::FrameRenderer renderer;
    renderer.render(sim::CameraModel("").frameSettings(), 7, frame.data());
    return frame;
}

std::vector<uint8_t> randomFrame()
{
    std::mt19937 rng(5);
    auto frame = makeFrame();
    const uint16_t extremes[] = {0x0000, 0x000F, 0x7FF0, 0xFFF0, 0xFFFF};
    for (std::size_t i = 2; i < kFrameWords - 2; ++i)
        setWord(frame, i, rng() % 4 ? static_cast<uint16_t>(rng()) : extremes[rng() % 5]);
    return frame;
}

// Pixel (x, y)'s words by their place in the frame.
uint16_t lumaWord(const std::vector<uint8_t>& frame, int x, int y)
{
    return frameWord(frame.data(), static_cast<std::size_t>(y) * kCameraSide * 2 + static_cast<std::size_t>(x) * 2 + 1);
}
uint16_t chromaWord(const std::vector<uint8_t>& frame, int x, int y, bool red)
{
    return frameWord(frame.data(), static_cast<std::size_t>(y) * kCameraSide * 2 + static_cast<std::size_t>(x / 2) * 4 +
                                       (red ? 2 : 0));
}

Bgr plainColour(const std::vector<uint8_t>& frame, int x, int y, bool grey)
{
    if (grey) {
        const auto level = static_cast<uint8_t>(lumaWord(frame, x, y) >> 8);
        return {level, level, level};
    }
    return yuvToBgr(lumaWord(frame, x, y) >> 4, (chromaWord(frame, x, y, false) >> 4) - 2048,
                    (chromaWord(frame, x, y, true) >> 4) - 2048);
}

const struct {
    const char* name;
    std::vector<uint8_t> (*frame)();
    PixelRect region;
} kAnalysisCases[] = {
    {"ChartPicture", chartFrame, {2, 2, 400, 400}},
    {"ChartWholeFrame", chartFrame, {0, 0, 404, 404}},
    {"ChartOddRegion", chartFrame, {3, 5, 101, 37}},
    {"ChartSinglePixel", chartFrame, {201, 150, 1, 1}},
    {"ChartPartlyOutside", chartFrame, {-10, 390, 20, 40}},
    {"RandomWords", randomFrame, {1, 0, 403, 404}},
    {"AllClippedWhite", [] { return makeFrame(0xFFF0); }, {2, 2, 400, 400}},
    {"AllClippedBlack", [] { return makeFrame(0x0000); }, {0, 0, 404, 404}},
};

// Guards the histograms (both column halves, odd region edges, the colours
// as the display shows them, grey as the high byte) and the statistics
// derived from them against sums over the pixels, for regions inside,
// across and beyond the frame; one analyser and result reused throughout,
// so that counts left from an earlier frame would show.
TEST(FrameAnalysisTest, AgreesWithPlainComputationOverThePixels)
{
    FrameAnalyser analyser;
    FrameAnalysis got;
    for (const auto& c : kAnalysisCases) {
        const auto frame = c.frame();
        const int x0 = std::max(c.region.x, 0), y0 = std::max(c.region.y, 0);
        const int x1 = std::min(c.region.x + c.region.width, kCameraSide);
        const int y1 = std::min(c.region.y + c.region.height, kCameraSide);
        for (bool grey : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (grey ? " grey" : " colour"));
            analyser.analyse(frame.data(), c.region, grey, got);

            Histograms want;
            long long n = 0, atZero = 0, atFull = 0;
            long double sum = 0, squares = 0;
            int min = INT_MAX, max = INT_MIN;
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) {
                    const int v = lumaWord(frame, x, y) >> 4;
                    ++want.luma[static_cast<std::size_t>(v)];
                    const Bgr shown = plainColour(frame, x, y, grey);
                    ++want.blue[shown.b];
                    ++want.green[shown.g];
                    ++want.red[shown.r];
                    ++n;
                    sum += v;
                    squares += static_cast<long double>(v) * v;
                    min = std::min(min, v);
                    max = std::max(max, v);
                    atZero += v == 0;
                    atFull += v == 4095;
                }
            const long double mean = sum / n;
            EXPECT_EQ(got.stats.region, (PixelRect{x0, y0, x1 - x0, y1 - y0}));
            EXPECT_TRUE(got.histograms.luma == want.luma);
            EXPECT_TRUE(got.histograms.red == want.red);
            EXPECT_TRUE(got.histograms.green == want.green);
            EXPECT_TRUE(got.histograms.blue == want.blue);
            const RegionStats& s = got.stats;
            EXPECT_EQ((std::tuple{s.pixels, s.min, s.max, s.atZero, s.atFull}), (std::tuple{n, min, max, atZero, atFull}));
            EXPECT_NEAR(s.mean, static_cast<double>(mean), 1e-9);
            EXPECT_NEAR(s.stddev, static_cast<double>(std::sqrt(std::max(0.0L, squares / n - mean * mean))), 1e-6);
        }
    }
}

// Guards figures worked out by hand (black and white side by side; a region
// wholly outside the frame giving nothing), pooled counts far beyond one
// frame's keeping their precision, and the rectangle helpers.
TEST(FrameAnalysisTest, KnownFiguresPooledCountsAndRectangles)
{
    auto frame = makeFrame(0x8000);
    setPair(frame, 100, 50, {0x8000, 0x0000, 0x8000, 0xFFF0});  // pixels (100, 100) and (101, 100)
    FrameAnalyser analyser;
    FrameAnalysis got;
    analyser.analyse(frame.data(), {100, 100, 2, 1}, false, got);
    const RegionStats& s = got.stats;
    EXPECT_EQ((std::tuple{s.pixels, s.mean, s.stddev, s.min, s.max, s.atZero, s.atFull}),
              (std::tuple{2LL, 2047.5, 2047.5, 0, 4095, 1LL, 1LL}));
    analyser.analyse(frame.data(), {404, 0, 10, 10}, false, got);
    EXPECT_EQ((std::tuple{got.stats.pixels, got.histograms.luma[2048], got.histograms.red[128]}),
              (std::tuple{0LL, 0u, 0u}));

    std::array<uint64_t, kLumaLevels> pooled{};
    pooled[0] = pooled[4095] = 1'000'000'000'000;
    pooled[2048] = 3;
    EXPECT_NEAR(lumaStatistics(pooled, {}).mean, 2047.5, 1e-9);
    EXPECT_NEAR(lumaStatistics(pooled, {}).stddev, 2047.5, 1e-6);
    EXPECT_DOUBLE_EQ(histogramMean(std::array<uint64_t, 256>{0, 3, 0, 1}), 1.5);

    EXPECT_EQ(rectFromCorners({5, 9}, {2, 3}), (PixelRect{2, 3, 4, 7}));
    EXPECT_EQ(rectFromCorners({2, 9}, {5, 3}), (PixelRect{2, 3, 4, 7}));
    EXPECT_EQ(clipToPicture({0, 0, 10, 10}, false), (PixelRect{2, 2, 8, 8}));
    EXPECT_EQ(clipToPicture({-5, 398, 500, 500}, true), (PixelRect{0, 398, 404, 6}));
    EXPECT_TRUE(clipToPicture({INT_MAX - 5, 0, 10, 10}, true).empty() && clipToPicture({402, 0, 2, 404}, false).empty());
}

// Guards the readout at the corners and the boundary: raw words and 12-bit
// values of the pixel's own luma and its pair's Cb and Cr (even and odd
// pixels alike), the displayed colour or grey, black where the boundary is
// hidden, and nothing read outside the frame.
TEST(FrameAnalysisTest, ReadPixelAtCornersAndBoundary)
{
    const auto frame = randomFrame();
    const PixelPoint points[] = {{0, 0}, {1, 0}, {403, 0}, {0, 403}, {403, 403}, {2, 2}, {3, 2}, {401, 401},
                                 {1, 200}, {402, 200}, {200, 1}, {200, 402}, {57, 300}};
    for (const PixelPoint p : points) {
        for (bool showBoundary : {false, true}) {
            for (bool grey : {false, true}) {
                SCOPED_TRACE(testing::PrintToString(p) + (showBoundary ? " shown" : " hidden") + (grey ? " grey" : ""));
                const PixelReadout r = readPixel(frame.data(), p, grey, showBoundary);
                const bool border = p.x < 2 || p.y < 2 || p.x > 401 || p.y > 401;
                const uint16_t y = lumaWord(frame, p.x, p.y), cb = chromaWord(frame, p.x, p.y, false),
                               cr = chromaWord(frame, p.x, p.y, true);
                EXPECT_EQ((std::tuple{r.at, r.yWord, r.cbWord, r.crWord, r.y, r.cb, r.cr}),
                          (std::tuple{p, y, cb, cr, y >> 4, cb >> 4, cr >> 4}));
                EXPECT_EQ(r.hidden, border && !showBoundary);
                EXPECT_EQ(r.shown, (r.hidden ? Bgr{0, 0, 0} : plainColour(frame, p.x, p.y, grey)));
            }
        }
    }
    for (const PixelPoint outside : {PixelPoint{-1, 0}, PixelPoint{404, 5}, PixelPoint{5, 404}}) {
        const PixelReadout r = readPixel(frame.data(), outside, false, true);
        EXPECT_EQ((std::tuple{r.hidden, r.yWord, r.shown}), (std::tuple{true, uint16_t{0}, Bgr{0, 0, 0}}));
    }
}

// Guards the picture area's mapping to camera pixels at both zooms, at its
// last pixel and just beyond.
TEST(FrameAnalysisTest, CameraPixelUnderThePictureArea)
{
    using P = std::optional<PixelPoint>;
    EXPECT_EQ((std::tuple{cameraPixelAt(0, 0, false), cameraPixelAt(403, 403, false), cameraPixelAt(404, 0, false),
                          cameraPixelAt(0, 404, false), cameraPixelAt(-1, 5, false)}),
              (std::tuple{P{{0, 0}}, P{{403, 403}}, P{}, P{}, P{}}));
    EXPECT_EQ((std::tuple{cameraPixelAt(3, 5, true), cameraPixelAt(807, 807, true), cameraPixelAt(403, 10, true),
                          cameraPixelAt(808, 100, true), cameraPixelAt(100, -1, true)}),
              (std::tuple{P{{1, 2}}, P{{403, 403}}, P{{201, 5}}, P{}, P{}}));
}

// Guards the line's pixels: each shape by hand, a tie resolved alike in
// either direction, and clipping (also of ends far outside the frame
// without overflow or a walk over every step).
TEST(FrameAnalysisTest, LinePointsByHand)
{
    using Points = std::vector<PixelPoint>;
    const struct {
        PixelPoint a, b;
        Points want;
    } cases[] = {
        {{10, 5}, {12, 5}, {{10, 5}, {11, 5}, {12, 5}}},                             // horizontal
        {{7, 2}, {7, 0}, {{7, 2}, {7, 1}, {7, 0}}},                                   // vertical, upwards
        {{0, 0}, {2, 2}, {{0, 0}, {1, 1}, {2, 2}}},                                   // diagonal
        {{0, 0}, {2, 5}, {{0, 0}, {0, 1}, {1, 2}, {1, 3}, {2, 4}, {2, 5}}},          // steep
        {{2, 5}, {0, 0}, {{2, 5}, {2, 4}, {1, 3}, {1, 2}, {0, 1}, {0, 0}}},          // reversed
        {{0, 0}, {2, 1}, {{0, 0}, {1, 0}, {2, 1}}},                                   // a tie
        {{2, 1}, {0, 0}, {{2, 1}, {1, 0}, {0, 0}}},                                   // the tie reversed
        {{7, 9}, {7, 9}, {{7, 9}}},                                                   // one point
        {{-3, 0}, {1, 0}, {{0, 0}, {1, 0}}},                                          // clipped at the start
        {{401, 403}, {406, 405}, {{401, 403}, {402, 403}}},                           // clipped at the end
        {{-5, -5}, {-1, 20}, {}},                                                     // outside
    };
    Points got;
    for (const auto& c : cases) {
        linePoints(c.a, c.b, got);
        EXPECT_EQ(got, c.want) << testing::PrintToString(c.a) << " to " << testing::PrintToString(c.b);
    }
    linePoints({INT_MIN, 10}, {INT_MAX, 10}, got);
    ASSERT_EQ(got.size(), 404u);
    EXPECT_EQ(got.front(), (PixelPoint{0, 10}));
    EXPECT_EQ(got.back(), (PixelPoint{403, 10}));
}

// Guards the line on random lines against its definition: one pixel a step
// along the longer axis, each within half a pixel of the true line, the
// same pixels whichever way it is drawn, and the profile the luma there.
TEST(FrameAnalysisTest, RandomLinesFollowTheTrueLine)
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> coordinate(-60, kCameraSide + 60);
    const auto frame = randomFrame();
    std::vector<PixelPoint> forward, backward;
    std::vector<uint16_t> profile;
    for (int round = 0; round < 2000; ++round) {
        const PixelPoint a{coordinate(rng), coordinate(rng)}, b{coordinate(rng), coordinate(rng)};
        linePoints(a, b, forward);
        linePoints(b, a, backward);
        SCOPED_TRACE(testing::PrintToString(a) + " to " + testing::PrintToString(b));
        ASSERT_TRUE(std::equal(forward.begin(), forward.end(), backward.rbegin(), backward.rend()));
        const int dx = b.x - a.x, dy = b.y - a.y;
        const bool xMajor = std::abs(dx) >= std::abs(dy);
        const int steps = std::max(std::abs(dx), std::abs(dy));
        const auto inside = [](PixelPoint p) { return p.x >= 0 && p.y >= 0 && p.x < kCameraSide && p.y < kCameraSide; };
        if (inside(a) && inside(b)) {
            ASSERT_EQ(forward.size(), static_cast<std::size_t>(steps) + 1);
        }
        for (std::size_t k = 0; k < forward.size(); ++k) {
            const PixelPoint p = forward[k];
            ASSERT_TRUE(inside(p));
            const double i = xMajor ? std::abs(p.x - a.x) : std::abs(p.y - a.y);
            const double t = steps ? i / steps : 0;
            ASSERT_LE(std::abs((xMajor ? a.y + t * dy : a.x + t * dx) - (xMajor ? p.y : p.x)), 0.5 + 1e-9);
            if (k > 0) {
                ASSERT_EQ(std::abs(xMajor ? p.x - forward[k - 1].x : p.y - forward[k - 1].y), 1);
            }
        }
        lineProfile(frame.data(), forward, profile);
        ASSERT_EQ(profile.size(), forward.size());
        for (std::size_t k = 0; k < forward.size(); ++k) {
            ASSERT_EQ(profile[k], lumaWord(frame, forward[k].x, forward[k].y) >> 4);
        }
    }
}

}  // namespace
}  // namespace test
}  // namespace qdx::viewer
