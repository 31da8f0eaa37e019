// The row kernels are compiled once per instruction set (Highway's
// foreach_target re-includes this file) and the best one the processor has
// is picked at run time, so the program still runs on any x86-64.
#include "FrameConversion.h"

#include <array>
#include <cassert>
#include <cstring>
#include <utility>

#include "FrameLayout.h"

// SSE4 adds nothing these kernels use over SSSE3.
#ifndef HWY_DISABLED_TARGETS
#define HWY_DISABLED_TARGETS HWY_SSE4
#endif
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "live/FrameConversion.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef QDX_FRAME_CONVERSION_TABLES
#define QDX_FRAME_CONVERSION_TABLES
namespace qdx::viewer::tables {

// Byte shuffles for the vector kernels, per 16-byte block. A kernel step takes
// 16 pixels (8 pairs, 64 frame bytes) per block and writes them, scaled by
// `zoom`, as 16 * 3 * zoom bytes. 0x80 zeroes a byte (it comes from another
// source).
using Block = std::array<uint8_t, 16>;

template <std::size_t Sources, std::size_t Outputs>
struct alignas(16) Shuffles {
    std::array<std::array<Block, Sources>, Outputs> at{};
    std::array<std::array<bool, Sources>, Outputs> used{};
};

struct Pick {
    int source;
    int byte;
};

// Output byte k of a step is channel k % 3 (blue, green, red) of output pixel
// k / 3, which shows camera pixel k / 3 / zoom; where(pixel, channel) says in
// which source byte the kernel holds it.
template <std::size_t Sources, std::size_t Zoom, typename Where>
constexpr Shuffles<Sources, 3 * Zoom> makeShuffles(Where where)
{
    Shuffles<Sources, 3 * Zoom> s;
    for (auto& out : s.at)
        for (auto& block : out)
            block.fill(0x80);
    for (std::size_t k = 0; k < 48 * Zoom; ++k) {
        const Pick pick = where(static_cast<int>(k / 3 / Zoom), static_cast<int>(k % 3));
        s.at[k / 16][pick.source][k % 16] = static_cast<uint8_t>(pick.byte);
        s.used[k / 16][pick.source] = true;
    }
    return s;
}

// Colour: source 0 interleaves the blue/red pairs of pixels 0-7 (see
// colourStep), source 1 the green of pixels 0-7 (even bytes) and 8-15 (odd
// bytes), source 2 the blue/red pairs of pixels 8-15. Of a pixel pair, the
// even byte holds the first pixel's blue and the second pixel's red.
constexpr Pick colourPick(int pixel, int channel)
{
    if (channel == 1)
        return {1, pixel < 8 ? 2 * pixel : 2 * (pixel - 8) + 1};
    const int q = pixel % 8;
    const bool evenByte = (channel == 0) == (q % 2 == 0);
    return {pixel < 8 ? 0 : 2, evenByte ? 2 * q : 2 * q + 1};
}

// Grey: source s holds pixels 4s..4s+3 as frame bytes; the grey level is the
// high byte of the pixel's luma word.
constexpr Pick greyPick(int pixel, int)
{
    return {pixel / 4, 4 * (pixel % 4) + 3};
}

template <std::size_t Zoom>
inline constexpr auto kColour = makeShuffles<3, Zoom>(colourPick);
template <std::size_t Zoom>
inline constexpr auto kGrey = makeShuffles<4, Zoom>(greyPick);

// Per pixel pair (Cb Y0 Cr Y1 words): chroma words to the low half, luma
// words to the high half of each 8-byte group.
alignas(16) inline constexpr uint8_t kSplitPairs[16] = {0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15};
// Swaps the 16-bit halves of each 32-bit lane.
alignas(16) inline constexpr uint8_t kSwapHalves[16] = {2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13};
// Copies the high 16-bit half of each 32-bit lane into both halves.
alignas(16) inline constexpr uint8_t kDupHigh[16] = {2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15};

}  // namespace qdx::viewer::tables
#endif  // QDX_FRAME_CONVERSION_TABLES

HWY_BEFORE_NAMESPACE();
namespace qdx::viewer::HWY_NAMESPACE {
namespace {

#if HWY_TARGET == HWY_SCALAR

// Without SSSE3: the plain rows. At 200% the display row below gets a copy.
template <int Zoom, bool Grey>
void rowPixels(const uint8_t* src, int pixels, uint8_t* dst)
{
    uint8_t* out = dst;
    const auto sample12 = [](const uint8_t* word) { return (word[0] | (word[1] << 8)) >> 4; };
    for (int c = 0; c < pixels; c += 2, src += 8) {
        Bgr first, second;
        if constexpr (Grey) {
            first = {src[3], src[3], src[3]};
            second = {src[7], src[7], src[7]};
        } else {
            const int cb = sample12(src) - 2048;
            const int cr = sample12(src + 4) - 2048;
            first = yuvToBgr(sample12(src + 2), cb, cr);
            second = yuvToBgr(sample12(src + 6), cb, cr);
        }
        for (const Bgr pixel : {first, second}) {
            for (int i = 0; i < Zoom; ++i, out += 3) {
                out[0] = pixel.b;
                out[1] = pixel.g;
                out[2] = pixel.r;
            }
        }
    }
    if constexpr (Zoom == 2)
        std::memcpy(dst + kDisplayStride, dst, static_cast<std::size_t>(pixels) * 6);
}

#else

namespace hn = hwy::HWY_NAMESPACE;

// A step converts one group of 16 pixels per 16-byte block of the vector.
using D8 = hn::ScalableTag<uint8_t>;
using V8 = hn::Vec<D8>;
constexpr int kBlocks = static_cast<int>(hn::MaxLanes(D8())) / 16;
constexpr int kStepPixels = 16 * kBlocks;

// Stores block b of v to at + b * stride.
template <class D>
HWY_INLINE void storeBlocks(D d, hn::Vec<D> v, uint8_t* at, std::size_t stride)
{
    if constexpr (hn::MaxLanes(D()) == 16) {
        hn::StoreU(v, d, at);
    } else {
        const hn::Half<D> dh;
        storeBlocks(dh, hn::LowerHalf(dh, v), at, stride);
        storeBlocks(dh, hn::UpperHalf(dh, v), at + hn::MaxLanes(dh) / 16 * stride, stride);
    }
}

// The four source vectors of a step: block b of source j is the 16 frame
// bytes at 64 b + 16 j. Whole-vector loads, then blocks moved into place.
template <class D>
HWY_INLINE void loadSources(D d, const uint8_t* step, hn::Vec<D> (&source)[4])
{
    if constexpr (kBlocks == 1) {
        for (int j = 0; j < 4; ++j)
            source[j] = hn::LoadU(d, step + 16 * j);
    } else if constexpr (kBlocks == 2) {
        const auto v0 = hn::LoadU(d, step), v1 = hn::LoadU(d, step + 32);
        const auto v2 = hn::LoadU(d, step + 64), v3 = hn::LoadU(d, step + 96);
        source[0] = hn::ConcatLowerLower(d, v2, v0);
        source[1] = hn::ConcatUpperUpper(d, v2, v0);
        source[2] = hn::ConcatLowerLower(d, v3, v1);
        source[3] = hn::ConcatUpperUpper(d, v3, v1);
    } else {  // 4 blocks
        const auto v0 = hn::LoadU(d, step), v1 = hn::LoadU(d, step + 64);
        const auto v2 = hn::LoadU(d, step + 128), v3 = hn::LoadU(d, step + 192);
        // Blocks 0, 1 (then 2, 3) of v0, v2 and of v1, v3.
        const auto low02 = hn::ConcatLowerLower(d, v2, v0), low13 = hn::ConcatLowerLower(d, v3, v1);
        const auto high02 = hn::ConcatUpperUpper(d, v2, v0), high13 = hn::ConcatUpperUpper(d, v3, v1);
        source[0] = hn::OddEvenBlocks(hn::SwapAdjacentBlocks(low13), low02);
        source[1] = hn::OddEvenBlocks(low13, hn::SwapAdjacentBlocks(low02));
        source[2] = hn::OddEvenBlocks(hn::SwapAdjacentBlocks(high13), high02);
        source[3] = hn::OddEvenBlocks(high13, hn::SwapAdjacentBlocks(high02));
    }
}

// Output vector M of a step, put together from the sources its table uses.
// Everything here is unrolled at compile time, so that the vectors stay in
// registers and unused sources cost nothing.
template <const auto& Table, std::size_t M, std::size_t J>
HWY_INLINE void addSource(V8& out, V8 source)
{
    if constexpr (Table.used[M][J])
        out = hn::Or(out, hn::TableLookupBytesOr0(source, hn::LoadDup128(D8(), Table.at[M][J].data())));
}

// Stores output vector M: its block b goes to bytes 16 (Outputs b + M), and
// again `second` bytes further when that is not 0.
template <const auto& Table, std::size_t Outputs, std::size_t M, std::size_t... J>
HWY_INLINE void storeOutput(const V8 (&sources)[sizeof...(J)], uint8_t* dst, std::size_t second,
                            std::index_sequence<J...>)
{
    const D8 d;
    V8 out = hn::Zero(d);
    (addSource<Table, M, J>(out, sources[J]), ...);
    storeBlocks(d, out, dst + 16 * M, 16 * Outputs);
    if (second)
        storeBlocks(d, out, dst + second + 16 * M, 16 * Outputs);
}

template <const auto& Table, std::size_t Sources, std::size_t... M>
HWY_INLINE void storeOutputs(const V8 (&sources)[Sources], uint8_t* dst, std::size_t second,
                             std::index_sequence<M...>)
{
    (storeOutput<Table, sizeof...(M), M>(sources, dst, second, std::make_index_sequence<Sources>()), ...);
}

template <const auto& Table, std::size_t Sources>
HWY_INLINE void storeStep(const V8 (&sources)[Sources], uint8_t* dst, std::size_t second)
{
    storeOutputs<Table>(sources, dst, second, std::make_index_sequence<Table.at.size()>());
}

// The colour arithmetic, regrouped so that 16-bit lanes hold it exactly:
//   (Y * 65536 + k * C) >> 20 == (Y + floor(k * C / 65536)) >> 4
// (the low 16 bits of the product cannot carry into bit 20), and
// floor(k * C / 65536) is the high half of a 16 x 16-bit product:
// 116064 Cb = 14508 (8 Cb), 91894 Cr = 8354 (11 Cr). Green needs the floor of
// a sum: -46825 Cr - 22649 Cb = (18711 Cr - 22649 Cb) - 65536 Cr, so its
// offset is the high half of the 32-bit 18711 Cr - 22649 Cb, minus Cr. Luma
// plus offset is then clamped to 0..4095 by saturating arithmetic (biased so
// that the top clamps at 32767), and its top 8 bits are the result.
constexpr int16_t kClampBias = 32767 - 4095;

// Pixels 2p, 2p+1 of the group's 4 pairs (its two source vectors), as 16-bit
// lanes clamped to 0..4095: blueRed (B0 R1 ...), redBlue (R0 B1 ...), green.
struct Group {
    hn::Vec<hn::Repartition<uint16_t, D8>> blueRed, redBlue, green;
};

HWY_INLINE Group colourGroup(V8 first, V8 second)
{
    const D8 d8;
    const hn::Repartition<uint16_t, D8> du16;
    const hn::Repartition<int16_t, D8> di16;
    const hn::Repartition<int32_t, D8> di32;
    const hn::Repartition<uint64_t, D8> du64;
    const V8 split = hn::LoadDup128(d8, tables::kSplitPairs);
    const auto a = hn::BitCast(du64, hn::TableLookupBytes(first, split));
    const auto b = hn::BitCast(du64, hn::TableLookupBytes(second, split));
    // Each 32-bit lane is one pair: (Cb, Cr) and (Y0, Y1).
    auto chroma = hn::BitCast(di16, hn::InterleaveLower(du64, a, b));
    const auto luma = hn::ShiftRight<4>(hn::BitCast(du16, hn::InterleaveUpper(du64, a, b)));

    chroma = hn::ShiftRight<4>(hn::Xor(chroma, hn::Set(di16, int16_t{-32768})));  // centred on 0
    const auto scale = hn::BitCast(di16, hn::Set(di32, (11 << 16) | 8));
    const auto factor = hn::BitCast(di16, hn::Set(di32, (8354 << 16) | 14508));
    const auto blueRedOffset = hn::MulHigh(hn::Mul(chroma, scale), factor);
    const auto greenFactors = hn::BitCast(di16, hn::Set(di32, (18711 << 16) | (-22649 & 0xFFFF)));
    auto unused = hn::Zero(di32);
    const auto greenSum = hn::ReorderWidenMulAccumulate(di32, chroma, greenFactors, hn::Zero(di32), unused);
    // High half: floor(greenSum / 65536) - Cr.
    const auto greenOffset = hn::BitCast(d8, hn::Sub(hn::BitCast(di16, greenSum), chroma));

    const auto biased = hn::BitCast(di16, hn::Add(luma, hn::Set(du16, uint16_t{kClampBias})));
    const auto clamp = [&](auto offset) {
        return hn::SaturatedSub(hn::BitCast(du16, hn::SaturatedAdd(biased, hn::BitCast(di16, offset))),
                                hn::Set(du16, uint16_t{kClampBias}));
    };
    return {clamp(blueRedOffset), clamp(hn::TableLookupBytes(hn::BitCast(d8, blueRedOffset),
                                                             hn::LoadDup128(d8, tables::kSwapHalves))),
            clamp(hn::TableLookupBytes(greenOffset, hn::LoadDup128(d8, tables::kDupHigh)))};
}

// Two 16-bit vectors of 0..4095 to bytes: the top 8 bits of `even`'s lanes in
// the even bytes, of `odd`'s in the odd bytes.
template <class V16>
HWY_INLINE V8 interleaveTop8(V16 even, V16 odd)
{
    const D8 d8;
    return hn::OddEven(hn::BitCast(d8, hn::ShiftLeft<4>(odd)), hn::BitCast(d8, hn::ShiftRight<4>(even)));
}

template <int Zoom>
HWY_INLINE void colourStep(const uint8_t* src, uint8_t* dst, std::size_t zoomedStride)
{
    V8 source[4];
    loadSources(D8(), src, source);
    const Group a = colourGroup(source[0], source[1]);
    const Group b = colourGroup(source[2], source[3]);
    const V8 packed[3] = {interleaveTop8(a.blueRed, a.redBlue), interleaveTop8(a.green, b.green),
                          interleaveTop8(b.blueRed, b.redBlue)};
    storeStep<tables::kColour<Zoom>>(packed, dst, zoomedStride);
}

template <int Zoom>
HWY_INLINE void greyStep(const uint8_t* src, uint8_t* dst, std::size_t zoomedStride)
{
    V8 frame[4];
    loadSources(D8(), src, frame);
    storeStep<tables::kGrey<Zoom>>(frame, dst, zoomedStride);
}

// Converts `pixels` pixels of a row (at least one step's worth); the last
// step is moved back to end at the last pixel, rewriting a few pixels with
// the same values. At 200% the display row below gets the same pixels.
template <int Zoom, bool Grey>
void rowPixels(const uint8_t* src, int pixels, uint8_t* dst)
{
    constexpr std::size_t second = Zoom == 2 ? kDisplayStride : 0;
    for (int p = 0;; p += kStepPixels) {
        if (p > pixels - kStepPixels)
            p = pixels - kStepPixels;
        if constexpr (Grey)
            greyStep<Zoom>(src + 4 * p, dst + 3 * Zoom * p, second);
        else
            colourStep<Zoom>(src + 4 * p, dst + 3 * Zoom * p, second);
        if (p == pixels - kStepPixels)
            return;
    }
}

#endif  // HWY_TARGET == HWY_SCALAR

}  // namespace

// At 100% only what lies outside the picture is cleared; at 200% the picture
// covers the whole image.
template <int Zoom, bool Grey>
void convertPicture(const uint8_t* frame, uint8_t* image)
{
    constexpr std::size_t pictureRowBytes = kCameraSide * 3 * Zoom;
    for (int r = 0; r < kCameraSide; ++r) {
        uint8_t* row = image + static_cast<std::size_t>(Zoom * r) * kDisplayStride;
        rowPixels<Zoom, Grey>(frame + r * kFrameRowBytes, kCameraSide, row);
        if constexpr (Zoom == 1)
            std::memset(row + pictureRowBytes, 0, kDisplayStride - pictureRowBytes);
    }
    if constexpr (Zoom == 1)
        std::memset(image + kCameraSide * kDisplayStride, 0, kDisplayBytes - kCameraSide * kDisplayStride);
}

void colour100(const uint8_t* frame, uint8_t* image)
{
    convertPicture<1, false>(frame, image);
}
void colour200(const uint8_t* frame, uint8_t* image)
{
    convertPicture<2, false>(frame, image);
}
void grey100(const uint8_t* frame, uint8_t* image)
{
    convertPicture<1, true>(frame, image);
}
void grey200(const uint8_t* frame, uint8_t* image)
{
    convertPicture<2, true>(frame, image);
}

void captureRows(uint8_t* dest, const uint8_t* frame, bool grey, int side)
{
    const int first = (kCameraSide - side) / 2;  // 0, or 2 when the border is cut off
    const std::size_t rowBytes = static_cast<std::size_t>(side) * 3;
    for (int i = 0; i < side; ++i) {
        const uint8_t* src = frame + (first + i) * kFrameRowBytes + 4 * first;
        uint8_t* out = dest + (side - 1 - i) * rowBytes;  // bottom-up
        if (grey)
            rowPixels<1, true>(src, side, out);
        else
            rowPixels<1, false>(src, side, out);
    }
}

}  // namespace qdx::viewer::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qdx::viewer {

HWY_EXPORT(colour100);
HWY_EXPORT(colour200);
HWY_EXPORT(grey100);
HWY_EXPORT(grey200);
HWY_EXPORT(captureRows);

void convertColour100(const uint8_t* frame, uint8_t* image)
{
    HWY_DYNAMIC_DISPATCH(colour100)(frame, image);
}

void convertColour200(const uint8_t* frame, uint8_t* image)
{
    HWY_DYNAMIC_DISPATCH(colour200)(frame, image);
}

void convertGrey100(const uint8_t* frame, uint8_t* image)
{
    HWY_DYNAMIC_DISPATCH(grey100)(frame, image);
}

void convertGrey200(const uint8_t* frame, uint8_t* image)
{
    HWY_DYNAMIC_DISPATCH(grey200)(frame, image);
}

void convertCapturePicture(uint8_t* dest, const uint8_t* frame, bool grey, int side)
{
    assert(side == 404 || side == 400);  // the kernels take whole steps from the row's ends
    HWY_DYNAMIC_DISPATCH(captureRows)(dest, frame, grey, side);
}

namespace {

// Blackens `width` pixels at each edge of the top-left side x side square.
void blackenBorder(uint8_t* image, int side, int width)
{
    const std::size_t rowBytes = static_cast<std::size_t>(side) * 3;
    const std::size_t edgeBytes = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < side; ++y) {
        uint8_t* row = image + y * kDisplayStride;
        if (y < width || y >= side - width) {
            std::memset(row, 0, rowBytes);
        } else {
            std::memset(row, 0, edgeBytes);
            std::memset(row + rowBytes - edgeBytes, 0, edgeBytes);
        }
    }
}

}  // namespace

void blackenBorder100(uint8_t* image)
{
    blackenBorder(image, kCameraSide, 2);
}

void blackenBorder200(uint8_t* image)
{
    blackenBorder(image, kDisplaySide, 4);
}

void renderFrame(const uint8_t* frame, uint8_t* image, ViewOptions options)
{
    if (options.zoom200) {
        (options.grey ? convertGrey200 : convertColour200)(frame, image);
        if (!options.showBoundary)
            blackenBorder200(image);
    } else {
        (options.grey ? convertGrey100 : convertColour100)(frame, image);
        if (!options.showBoundary)
            blackenBorder100(image);
    }
}

}  // namespace qdx::viewer
#endif  // HWY_ONCE
