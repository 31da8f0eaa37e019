// The display conversion against known vectors; the whole-picture comparison
// with an independent reference is conversion_reference.py.
#include <gtest/gtest.h>

#include <random>

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

// Guards the grey routines reading the high byte of each luma word, not a
// chroma word or the low byte.
TEST(FrameConversionTest, GreyIsTheHighByteOfEachLumaWord)
{
    auto frame = makeFrame(0x1234);
    setPair(frame, 7, 3, {0xFFFF, 0xABC0, 0x0000, 0x12FF});
    std::vector<uint8_t> image(kDisplayBytes);
    convertGrey100(frame.data(), image.data());
    EXPECT_EQ(pixel(image.data(), 6, 7), (Bgr{0xAB, 0xAB, 0xAB}));
    EXPECT_EQ(pixel(image.data(), 7, 7), (Bgr{0x12, 0x12, 0x12}));
    convertGrey200(frame.data(), image.data());
    EXPECT_EQ(pixel(image.data(), 13, 15), (Bgr{0xAB, 0xAB, 0xAB}));
    EXPECT_EQ(pixel(image.data(), 14, 14), (Bgr{0x12, 0x12, 0x12}));
}

using Routine = void (*)(const uint8_t*, uint8_t*);

// Guards against the previous picture (or a 200% one) showing through around
// a 100% picture: the three quarters outside it are black after every frame.
TEST(FrameConversionTest, OutsideThePictureIsBlackAt100)
{
    const auto frame = makeFrame(0xFFF0);
    for (Routine routine : {convertColour100, convertGrey100}) {
        std::vector<uint8_t> image(kDisplayBytes, 0xA5);
        routine(frame.data(), image.data());
        for (int y = 0; y < kDisplaySide; ++y)
            for (int x = 0; x < kDisplaySide; ++x) {
                if (x >= kCameraSide || y >= kCameraSide) {
                    ASSERT_EQ(pixel(image.data(), x, y), (Bgr{0, 0, 0})) << "at " << x << ", " << y;
                }
            }
        EXPECT_NE(pixel(image.data(), 400, 403), (Bgr{0, 0, 0})) << "the picture itself is there";
    }
}

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

// Guards the border width at each zoom (2 pixels, 4 at 200%), that it covers
// all four edges and nothing inside, and that showing boundary pixels skips it.
TEST_P(BorderTest, BorderIsBlackOnlyWhileBoundaryPixelsAreHidden)
{
    const bool zoom200 = GetParam();
    const int extent = zoom200 ? kDisplaySide : kCameraSide;
    const int border = zoom200 ? 4 : 2;
    const auto frame = makeFrame(0xFFF0);
    std::vector<uint8_t> image(kDisplayBytes);
    for (bool grey : {false, true}) {
        renderFrame(frame.data(), image.data(), ViewOptions{zoom200, grey, false});
        for (int y = 0; y < extent; ++y) {
            for (int x = 0; x < extent; ++x) {
                const bool inBorder = x < border || y < border || x >= extent - border || y >= extent - border;
                const Bgr px = pixel(image.data(), x, y);
                if (inBorder)
                    ASSERT_EQ(px, (Bgr{0, 0, 0})) << "border pixel " << x << ", " << y;
                else
                    ASSERT_NE(px.g, 0) << "inner pixel " << x << ", " << y;
            }
        }
        renderFrame(frame.data(), image.data(), ViewOptions{zoom200, grey, true});
        EXPECT_NE(pixel(image.data(), border - 1, extent / 2).g, 0);
        EXPECT_NE(pixel(image.data(), extent / 2, extent - 1).g, 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Zoom, BorderTest, ::testing::Bool(),
                         [](const auto& p) { return p.param ? std::string("At200") : std::string("At100"); });

}  // namespace
}  // namespace qdx::viewer::test
