// The display conversion against known vectors; the whole-picture comparison
// with an independent reference is conversion_reference.py.
#include <gtest/gtest.h>
#include <algorithm>
#include <random>
#include <string>

#include "capture/CaptureImage.h"
#include "live/DisplayImage.h"
#include "viewer/FrameBuilder.h"

namespace qdx::viewer::test {
namespace {

struct PairVector {
    const char* name;
    uint16_t words[4];
    Bgr first, second;
};

const PairVector kVectors[] = {
    {"GreyAndWhite", {0x8000, 0x8000, 0x8000, 0xFFF0}, {128, 128, 128}, {255, 255, 255}},
    {"RedChromaWithBlackClamp", {0x8000, 0x8000, 0xBE80, 0x0000}, {128, 83, 215}, {0, 0, 87}},
    {"MarkerWords", {0xFF00, 0x0080, 0x8000, 0x8000}, {225, 0, 0}, {255, 84, 128}},
};

class ColourVectorTest : public ::testing::TestWithParam<std::tuple<PairVector, bool>> {};

// Guards the fixed-point colour arithmetic, its rounding towards minus
// infinity and its clamping, and where each pixel of a pair lands at either zoom.
TEST_P(ColourVectorTest, PairConvertsToExpectedPixels)
{
    const auto& [vector, zoom200] = GetParam();
    auto frame = makeFrame();
    const int row = 10, pair = 5;
    setPair(frame, row, pair, vector.words);
    std::vector<uint8_t> image(kDisplayBytes);
    (zoom200 ? convertColour200 : convertColour100)(frame.data(), image.data());
    const int scale = zoom200 ? 2 : 1;
    for (int dy = 0; dy < scale; ++dy) {
        for (int dx = 0; dx < scale; ++dx) {
            EXPECT_EQ(pixel(image.data(), scale * 2 * pair + dx, scale * row + dy), vector.first);
            EXPECT_EQ(pixel(image.data(), scale * (2 * pair + 1) + dx, scale * row + dy), vector.second);
        }
    }
    // The neighbours keep the background's mid grey.
    EXPECT_EQ(pixel(image.data(), scale * (2 * pair + 2), scale * row), (Bgr{128, 128, 128}));
}

INSTANTIATE_TEST_SUITE_P(Vectors, ColourVectorTest, ::testing::Combine(::testing::ValuesIn(kVectors), ::testing::Bool()),
                         [](const auto& p) {
                             return std::string(std::get<0>(p.param).name) + (std::get<1>(p.param) ? "At200" : "At100");
                         });

// Guards that the frame's own leading markers, a real pixel pair, are computed
// like any other and then hidden by the border unless boundary pixels are shown.
TEST(FrameConversionTest, LeadingMarkersLieInTheHiddenBorder)
{
    const auto frame = makeFrame();
    std::vector<uint8_t> image(kDisplayBytes);
    renderFrame(frame.data(), image.data(), ViewOptions{false, false, true});
    EXPECT_EQ(pixel(image.data(), 0, 0), (Bgr{225, 0, 0}));
    EXPECT_EQ(pixel(image.data(), 1, 0), (Bgr{255, 84, 128}));
    renderFrame(frame.data(), image.data(), ViewOptions{false, false, false});
    EXPECT_EQ(pixel(image.data(), 0, 0), (Bgr{0, 0, 0}));
    EXPECT_EQ(pixel(image.data(), 1, 0), (Bgr{0, 0, 0}));
}

using Routine = void (*)(const uint8_t*, uint8_t*);

// Guards that precision below the 12-bit samples (colour) and the 8-bit grey
// level cannot change the picture.
TEST(FrameConversionTest, LowBitsOfSamplesHaveNoEffect)
{
    std::mt19937 rng(7);
    auto frame = makeFrame();
    for (std::size_t i = 2; i < kFrameWords - 2; ++i)
        setWord(frame, i, static_cast<uint16_t>(rng()));
    auto noisy4 = frame, noisy8 = frame;
    for (std::size_t i = 2; i < kFrameWords - 2; ++i) {
        noisy4[2 * i] = static_cast<uint8_t>((frame[2 * i] & 0xF0) | (rng() & 0x0F));
        noisy8[2 * i] = static_cast<uint8_t>(rng());
    }
    std::vector<uint8_t> a(kDisplayBytes), b(kDisplayBytes);
    for (Routine routine : {convertColour100, convertColour200}) {
        routine(frame.data(), a.data());
        routine(noisy4.data(), b.data());
        EXPECT_EQ(a, b);
    }
    for (Routine routine : {convertGrey100, convertGrey200}) {
        routine(frame.data(), a.data());
        routine(noisy8.data(), b.data());
        EXPECT_EQ(a, b);
    }
}

class BorderTest : public ::testing::TestWithParam<bool> {};

// Guards the border width at each zoom (2 pixels, 4 at 200%) on all four
// edges and nothing inside, showing boundary pixels skipping it, and, at
// 100%, stale pixels outside the 404 x 404 picture being cleared.
TEST_P(BorderTest, BorderAndOutsideAreBlackUnlessBoundaryPixelsAreShown)
{
    const bool zoom200 = GetParam();
    const int extent = zoom200 ? kDisplaySide : kCameraSide;
    const int border = zoom200 ? 4 : 2;
    auto frame = makeFrame(0xFFF0);
    for (std::size_t marker : {std::size_t{0}, std::size_t{1}, kFrameWords - 2, kFrameWords - 1})
        setWord(frame, marker, 0xFFF0);  // a marker's grey is 0: keep every pixel bright
    for (bool grey : {false, true}) {
        for (bool show : {false, true}) {
            std::vector<uint8_t> image(kDisplayBytes, 0xA5);
            renderFrame(frame.data(), image.data(), ViewOptions{zoom200, grey, show});
            for (int y = 0; y < kDisplaySide; ++y) {
                for (int x = 0; x < kDisplaySide; ++x) {
                    const bool outside = x >= extent || y >= extent;
                    const bool inBorder = x < border || y < border || x >= extent - border || y >= extent - border;
                    const bool black = pixel(image.data(), x, y) == Bgr{0, 0, 0};
                    ASSERT_EQ(black, outside || (inBorder && !show))
                        << x << ", " << y << (grey ? " grey" : " colour") << (show ? " shown" : "");
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Zoom, BorderTest, ::testing::Bool(),
                         [](const auto& p) { return p.param ? std::string("At200") : std::string("At100"); });

// Guards the clear outside a 100% picture that the display image skips where
// a buffer holds black there already: after a 200% picture or the blue fill
// in each of the three buffers, 100% pictures must still show black outside.
TEST(DisplayImageTest, OutsideA100PercentPictureIsBlackWhateverTheBufferHeld)
{
    const auto frame = makeFrame(0xFFF0);  // white
    DisplayImage image;
    const auto outsideIsBlack = [&] {
        const uint8_t* shown = image.front();  // taking it after each picture rotates the buffers
        for (int y = 0; y < kDisplaySide; ++y)
            for (int x = y < kCameraSide ? kCameraSide : 0; x < kDisplaySide; ++x)
                if (!(pixel(shown, x, y) == Bgr{0, 0, 0}))
                    return false;
        return true;
    };
    for (bool blue : {false, true}) {
        for (int i = 0; i < 3; ++i) {
            if (blue)
                image.fillBlue();
            else
                image.render(frame.data(), ViewOptions{true, false, true});
            EXPECT_FALSE(outsideIsBlack());
        }
        for (int i = 0; i < 4; ++i) {
            image.render(frame.data(), ViewOptions{});
            EXPECT_TRUE(outsideIsBlack()) << (blue ? "after blue, " : "after 200%, ") << "picture " << i;
        }
    }
}

// Camera pixel (c, r) straight from its words: the plain per-pixel arithmetic.
Bgr plainPixel(const std::vector<uint8_t>& frame, int c, int r, bool grey)
{
    const std::size_t pair = static_cast<std::size_t>(r) * kCameraSide * 2 + static_cast<std::size_t>(c / 2) * 4;
    const int luma = frameWord(frame.data(), pair + 1 + 2 * (c % 2));
    if (grey) {
        const auto g = static_cast<uint8_t>(luma >> 8);
        return {g, g, g};
    }
    return yuvToBgr(luma >> 4, (frameWord(frame.data(), pair) >> 4) - 2048,
                    (frameWord(frame.data(), pair + 2) >> 4) - 2048);
}

// A picture whose pixel (x, y) is `got(x, y)` and expected to be
// `want(x, y)`: empty, or the first pixel that differs.
template <typename Got, typename Want>
std::string firstDifference(int width, int height, Got gotAt, Want want)
{
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Bgr got = gotAt(x, y), expected = want(x, y);
            if (!(got == expected))
                return std::to_string(x) + ", " + std::to_string(y) + ": (" + std::to_string(got.b) + ", " +
                       std::to_string(got.g) + ", " + std::to_string(got.r) + ") instead of (" +
                       std::to_string(expected.b) + ", " + std::to_string(expected.g) + ", " +
                       std::to_string(expected.r) + ")";
        }
    return {};
}

// Guards the vector kernels' regrouped arithmetic (16-bit products, the
// floor of green's sum, saturation), their shuffles, the display pixel's 4th
// byte and the ends of a row against the plain arithmetic, for every kernel
// this processor runs, so that whichever is timed fastest shows the same
// picture: colour over every (Cb, Cr) combination, each picture routine and
// the capture picture and a caller's BGRx and UYVY pictures over random
// words with extremes.
TEST(FrameConversionTest, EveryKernelMatchesPlainArithmetic)
{
    constexpr std::size_t pairsPerFrame = kFrameWords / 4;
    constexpr std::size_t chromaCombinations = 4096 * 4096;
    std::mt19937 rng(11);
    auto frame = makeFrame();
    const auto randomWords = [&] {
        const uint16_t extremes[] = {0x0000, 0x000F, 0x7FF0, 0x8000, 0xFFF0, 0xFFFF};
        for (std::size_t i = 0; i < kFrameWords; ++i)
            setWord(frame, i, rng() % 4 ? static_cast<uint16_t>(rng()) : extremes[rng() % 6]);
    };
    const auto inDisplay = [](const std::vector<uint8_t>& image) {
        return [&image](int x, int y) { return pixel(image.data(), x, y); };
    };
    const auto kernels = runnableKernels();
    ASSERT_EQ(kernels.back(), Kernel::Plain);
    for (int c = 0; c < kConversions; ++c)
        EXPECT_NE(std::find(kernels.begin(), kernels.end(), chosenKernel(static_cast<Conversion>(c))), kernels.end());
    struct RestoreChoice {
        ~RestoreChoice() { forceKernel(std::nullopt); }
    } restore;
    std::vector<uint8_t> image(kDisplayBytes), capture(kCaptureBytes);
    const Bgr kStale{0xA5, 0x5A, 0x33};  // a 100% picture leaves what lies outside it alone

    for (std::size_t first = 0; first < chromaCombinations; first += pairsPerFrame) {
        randomWords();  // the luma and the low bits of chroma
        for (std::size_t p = 0; p < pairsPerFrame; ++p) {
            const std::size_t combination = (first + p) % chromaCombinations;
            setWord(frame, 4 * p, static_cast<uint16_t>((combination % 4096) << 4 | (frame[8 * p] & 0x0F)));
            setWord(frame, 4 * p + 2, static_cast<uint16_t>((combination / 4096) << 4 | (frame[8 * p + 4] & 0x0F)));
        }
        std::vector<Bgr> want(static_cast<std::size_t>(kCameraSide) * kCameraSide);
        for (int r = 0; r < kCameraSide; ++r)
            for (int c = 0; c < kCameraSide; ++c)
                want[r * kCameraSide + c] = plainPixel(frame, c, r, false);
        for (Kernel kernel : kernels) {
            forceKernel(kernel);
            convertColour100(frame.data(), image.data());
            const std::string difference = firstDifference(kCameraSide, kCameraSide, inDisplay(image),
                                                           [&](int x, int y) { return want[y * kCameraSide + x]; });
            ASSERT_EQ(difference, "") << kernelName(kernel) << ", chroma from combination " << first;
        }
    }

    for (int round = 0; round < 2; ++round) {
        randomWords();
        for (Kernel kernel : kernels) {
            forceKernel(kernel);
            for (bool grey : {false, true}) {
                for (int scale : {1, 2}) {
                    fillPixels(image.data(), kDisplayBytes / kDisplayPixelBytes, kStale);
                    (scale == 2 ? (grey ? convertGrey200 : convertColour200)
                                : (grey ? convertGrey100 : convertColour100))(frame.data(), image.data());
                    const int extent = kCameraSide * scale;
                    EXPECT_EQ(firstDifference(kDisplaySide, kDisplaySide, inDisplay(image),
                                              [&](int x, int y) {
                                                  return x < extent && y < extent
                                                             ? plainPixel(frame, x / scale, y / scale, grey)
                                                             : kStale;
                                              }),
                              "")
                        << kernelName(kernel) << (grey ? " grey" : " colour") << " x" << scale;
                }
                for (int side : {404, 400}) {
                    const int border = (kCameraSide - side) / 2;
                    convertToCapture(capture.data(), frame.data(), grey, side);
                    EXPECT_EQ(firstDifference(
                                  side, side,
                                  [&](int x, int y) {
                                      const uint8_t* p = &capture[((side - 1 - y) * side + x) * 3];
                                      return Bgr{p[0], p[1], p[2]};
                                  },
                                  [&](int x, int y) { return plainPixel(frame, border + x, border + y, grey); }),
                              "")
                        << kernelName(kernel) << (grey ? " grey" : " colour") << " capture " << side;
                }
            }
            for (int side : {404, 400}) {
                // A caller's picture, rows top first with room after each, which stays as it was.
                const int border = (kCameraSide - side) / 2;
                const std::size_t stride = static_cast<std::size_t>(side) * kDisplayPixelBytes + 12;
                std::vector<uint8_t> bgrx(stride * side, 0xA5), uyvy(stride * side, 0xA5);
                convertPictureBgrx(frame.data(), side, bgrx.data(), stride);
                convertPictureUyvy(frame.data(), side, uyvy.data(), stride);
                std::ptrdiff_t bad = 0;
                for (int y = 0; y < side; ++y) {
                    const uint8_t* b = &bgrx[y * stride];
                    const uint8_t* u = &uyvy[y * stride];
                    for (int x = 0; x < side; ++x) {
                        const int fx = border + x, fy = border + y;
                        const uint8_t* pair = &frame[(static_cast<std::size_t>(fy) * kCameraSide + (fx & ~1)) * 4];
                        bad += Bgr{b[4 * x], b[4 * x + 1], b[4 * x + 2]} != plainPixel(frame, fx, fy, false);
                        bad += b[4 * x + 3] != 0xFF;
                        // U Y0 V Y1: the high bytes of Cb Y0 Cr Y1.
                        bad += u[2 * x] != pair[1 + 4 * (fx & 1)] || u[2 * x + 1] != pair[3 + 4 * (fx & 1)];
                    }
                    bad += std::count_if(b + side * 4, b + stride, [](uint8_t v) { return v != 0xA5; });
                    bad += std::count_if(u + side * 2, u + stride, [](uint8_t v) { return v != 0xA5; });
                }
                EXPECT_EQ(bad, 0) << kernelName(kernel) << " BGRx and UYVY picture " << side;
            }
        }
    }
}

}  // namespace
}  // namespace qdx::viewer::test
