// The row kernels are compiled once per instruction set (Highway's
// foreach_target re-includes this file, header-only: nothing of libhwy.so,
// whose start-up costs every program milliseconds) and each conversion takes
// the fastest the processor runs, so the program still runs on any x86-64.
#include "FrameConversion.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <chrono>
#include <cstring>
#include <mutex>
#include <utility>

#include "FrameLayout.h"

// Highway's debug checks call into libhwy.so; the tests compare every kernel
// with the plain arithmetic instead.
#define HWY_IS_DEBUG_BUILD 0
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

// Byte shuffles for the capture picture's kernels (3 bytes a pixel), per
// 16-byte block. A kernel step takes 16 pixels (8 pairs, 64 frame bytes) per
// block and writes them as 48 bytes. 0x80 zeroes a byte (it comes from
// another source).
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

// Output byte k of a step is channel k % 3 (blue, green, red) of pixel k / 3;
// where(pixel, channel) says in which source byte the kernel holds it.
template <std::size_t Sources, typename Where>
constexpr Shuffles<Sources, 3> makeShuffles(Where where)
{
    Shuffles<Sources, 3> s;
    for (auto& out : s.at)
        for (auto& block : out)
            block.fill(0x80);
    for (std::size_t k = 0; k < 48; ++k) {
        const Pick pick = where(static_cast<int>(k / 3), static_cast<int>(k % 3));
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

inline constexpr auto kColour = makeShuffles<3>(colourPick);
inline constexpr auto kGrey = makeShuffles<4>(greyPick);

// Per pixel pair (Cb Y0 Cr Y1 words): chroma words to the low half, luma
// words to the high half of each 8-byte group.
alignas(16) inline constexpr uint8_t kSplitPairs[16] = {0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15};
// Swaps the 16-bit halves of each 32-bit lane.
alignas(16) inline constexpr uint8_t kSwapHalves[16] = {2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13};
// Copies the high 16-bit half of each 32-bit lane into both halves.
alignas(16) inline constexpr uint8_t kDupHigh[16] = {2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15};
// A display pixel's blue, green and red from the grey level in the top byte
// of the pixel's 4 frame bytes; 0x80 zeroes the 4th byte for the 0xFF.
alignas(16) inline constexpr uint8_t kGreyPixels[16] = {3, 3, 3, 0x80, 7, 7, 7, 0x80, 11, 11, 11, 0x80, 15, 15, 15, 0x80};
// 32-bit lane indexes that show each pixel twice: lanes i / 2 (from entry 0)
// and then the vector's second half (from entry lanes).
alignas(64) inline constexpr int32_t kTwice[32] = {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7,
                                                   8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15};
inline constexpr uint32_t kOpaque = 0xFF000000;  // the 4th byte of a display pixel

}  // namespace qdx::viewer::tables
#endif  // QDX_FRAME_CONVERSION_TABLES

HWY_BEFORE_NAMESPACE();
namespace qdx::viewer::HWY_NAMESPACE {
namespace {

#if HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

// Without SSSE3: the plain rows, display pixels (4 bytes, the 4th 0xFF) or
// capture pixels (3 bytes). At 200% the display row below gets a copy.
template <int Zoom, bool Grey, std::size_t PixelBytes>
void plainRow(const uint8_t* src, int pixels, uint8_t* dst)
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
            for (int i = 0; i < Zoom; ++i, out += PixelBytes) {
                out[0] = pixel.b;
                out[1] = pixel.g;
                out[2] = pixel.r;
                if constexpr (PixelBytes == 4)
                    out[3] = 0xFF;
            }
        }
    }
    if constexpr (Zoom == 2)
        std::memcpy(dst + kDisplayStride, dst, static_cast<std::size_t>(pixels) * 2 * PixelBytes);
}

template <int Zoom, bool Grey>
void displayRow(const uint8_t* src, int pixels, uint8_t* dst)
{
    plainRow<Zoom, Grey, kDisplayPixelBytes>(src, pixels, dst);
}

template <bool Grey>
void captureRow(const uint8_t* src, int pixels, uint8_t* dst)
{
    plainRow<1, Grey, 3>(src, pixels, dst);
}

void uyvyRow(const uint8_t* src, int pixels, uint8_t* dst)
{
    for (int i = 0; i < 2 * pixels; ++i)
        dst[i] = src[2 * i + 1];
}

#else

namespace hn = hwy::HWY_NAMESPACE;

using D8 = hn::ScalableTag<uint8_t>;
using V8 = hn::Vec<D8>;
using D16 = hn::Repartition<uint16_t, D8>;
using D32 = hn::Repartition<uint32_t, D8>;
constexpr int kBlocks = static_cast<int>(hn::MaxLanes(D8())) / 16;

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

// Block b of each of the group's vectors holds pixels 4b..4b+3 of its first
// source vector, then those of its second, as 16-bit lanes clamped to
// 0..4095: blueRed (B0 R1 B2 R3), redBlue (R0 B1 R2 B3), green.
struct Group {
    hn::Vec<D16> blueRed, redBlue, green;
};

HWY_INLINE Group colourGroup(V8 first, V8 second)
{
    const D8 d8;
    const D16 du16;
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
HWY_INLINE V8 interleaveTop8(hn::Vec<D16> even, hn::Vec<D16> odd)
{
    const D8 d8;
    return hn::OddEven(hn::BitCast(d8, hn::ShiftLeft<4>(odd)), hn::BitCast(d8, hn::ShiftRight<4>(even)));
}

// ---- Display rows. A step converts two whole vectors of frame bytes (first,
// then second, 4 * kBlocks pixels each) into as many display pixels in the
// same order: interleaving a group's blue-green and red-0xFF words within
// each block puts first's pixels, then second's, back in a row.
constexpr int kVectorPixels = 4 * kBlocks;

HWY_INLINE void colourPixels(V8 first, V8 second, V8& low, V8& high)
{
    const D8 d8;
    const D16 du16;
    const Group g = colourGroup(first, second);
    // Even pixels' blue lies in blueRed, odd pixels' in redBlue; red the other way round.
    const auto blueGreen = hn::BitCast(du16, interleaveTop8(hn::OddEven(g.redBlue, g.blueRed), g.green));
    const auto redOpaque = hn::Or(hn::ShiftRight<4>(hn::OddEven(g.blueRed, g.redBlue)), hn::Set(du16, uint16_t{0xFF00}));
    low = hn::BitCast(d8, hn::InterleaveLower(du16, blueGreen, redOpaque));
    high = hn::BitCast(d8, hn::InterleaveUpper(du16, blueGreen, redOpaque));
}

HWY_INLINE V8 greyPixels(V8 frame)
{
    const D8 d8;
    return hn::Or(hn::TableLookupBytes(frame, hn::LoadDup128(d8, tables::kGreyPixels)),
                  hn::BitCast(d8, hn::Set(D32(), tables::kOpaque)));
}

// Stores display pixels at `at`; at 200% each twice, on this row and the next.
template <int Zoom>
HWY_INLINE void storePixels(V8 pixels, uint8_t* at)
{
    const D8 d8;
    if constexpr (Zoom == 1) {
        hn::StoreU(pixels, d8, at);
    } else {
        const D32 d32;
        const auto p = hn::BitCast(d32, pixels);
        V8 left, right;
        if constexpr (kBlocks == 1) {
            left = hn::BitCast(d8, hn::InterleaveLower(d32, p, p));
            right = hn::BitCast(d8, hn::InterleaveUpper(d32, p, p));
        } else {
            left = hn::BitCast(d8, hn::TableLookupLanes(p, hn::SetTableIndices(d32, tables::kTwice)));
            right = hn::BitCast(
                d8, hn::TableLookupLanes(p, hn::SetTableIndices(d32, tables::kTwice + hn::MaxLanes(d32))));
        }
        for (uint8_t* row : {at, at + kDisplayStride}) {
            hn::StoreU(left, d8, row);
            hn::StoreU(right, d8, row + hn::MaxLanes(d8));
        }
    }
}

// Converts `pixels` pixels of a row (at least one step's worth); the last
// step is moved back to end at the last pixel, rewriting a few pixels with
// the same values.
template <int Zoom, bool Grey>
void displayRow(const uint8_t* src, int pixels, uint8_t* dst)
{
    const D8 d8;
    constexpr int step = 2 * kVectorPixels;
    for (int p = 0;; p += step) {
        if (p > pixels - step)
            p = pixels - step;
        const V8 first = hn::LoadU(d8, src + 4 * p), second = hn::LoadU(d8, src + 4 * (p + kVectorPixels));
        V8 low, high;
        if constexpr (Grey) {
            low = greyPixels(first);
            high = greyPixels(second);
        } else {
            colourPixels(first, second, low, high);
        }
        uint8_t* out = dst + kDisplayPixelBytes * Zoom * p;
        storePixels<Zoom>(low, out);
        storePixels<Zoom>(high, out + kDisplayPixelBytes * Zoom * kVectorPixels);
        if (p == pixels - step)
            return;
    }
}

// ---- UYVY rows: the high byte of each word, in the frame's order (Cb Y0 Cr
// Y1 is U Y0 V Y1). A step takes two vectors of frame bytes into one.
void uyvyRow(const uint8_t* src, int pixels, uint8_t* dst)
{
    const D8 d8;
    constexpr int step = 2 * kVectorPixels;
    for (int p = 0;; p += step) {
        if (p > pixels - step)
            p = pixels - step;
        const V8 first = hn::LoadU(d8, src + 4 * p), second = hn::LoadU(d8, src + 4 * (p + kVectorPixels));
        hn::StoreU(hn::ConcatOdd(d8, second, first), d8, dst + 2 * p);
        if (p == pixels - step)
            return;
    }
}

// ---- Capture rows (3 bytes a pixel). A step converts one group of 16 pixels
// per 16-byte block of the vector.
constexpr int kCaptureStepPixels = 16 * kBlocks;

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

// Stores output vector M: its block b goes to bytes 16 (3 b + M).
template <const auto& Table, std::size_t M, std::size_t... J>
HWY_INLINE void storeOutput(const V8 (&sources)[sizeof...(J)], uint8_t* dst, std::index_sequence<J...>)
{
    const D8 d;
    V8 out = hn::Zero(d);
    (addSource<Table, M, J>(out, sources[J]), ...);
    storeBlocks(d, out, dst + 16 * M, 48);
}

template <const auto& Table, std::size_t Sources, std::size_t... M>
HWY_INLINE void storeStep(const V8 (&sources)[Sources], uint8_t* dst, std::index_sequence<M...>)
{
    (storeOutput<Table, M>(sources, dst, std::make_index_sequence<Sources>()), ...);
}

template <bool Grey>
HWY_INLINE void captureStep(const uint8_t* src, uint8_t* dst)
{
    V8 source[4];
    loadSources(D8(), src, source);
    if constexpr (Grey) {
        storeStep<tables::kGrey>(source, dst, std::make_index_sequence<3>());
    } else {
        const Group a = colourGroup(source[0], source[1]);
        const Group b = colourGroup(source[2], source[3]);
        const V8 packed[3] = {interleaveTop8(a.blueRed, a.redBlue), interleaveTop8(a.green, b.green),
                              interleaveTop8(b.blueRed, b.redBlue)};
        storeStep<tables::kColour>(packed, dst, std::make_index_sequence<3>());
    }
}

// As displayRow, for the capture picture.
template <bool Grey>
void captureRow(const uint8_t* src, int pixels, uint8_t* dst)
{
    for (int p = 0;; p += kCaptureStepPixels) {
        if (p > pixels - kCaptureStepPixels)
            p = pixels - kCaptureStepPixels;
        captureStep<Grey>(src + 4 * p, dst + 3 * p);
        if (p == pixels - kCaptureStepPixels)
            return;
    }
}

#endif  // HWY_TARGET == HWY_SCALAR || HWY_TARGET == HWY_EMU128

template <int Zoom, bool Grey>
void convertPicture(const uint8_t* frame, uint8_t* image)
{
    for (int r = 0; r < kCameraSide; ++r)
        displayRow<Zoom, Grey>(frame + r * kFrameRowBytes, kCameraSide,
                               image + static_cast<std::size_t>(Zoom * r) * kDisplayStride);
}

template <bool Grey>
void captureRows(const uint8_t* frame, uint8_t* dest, int side)
{
    const int first = (kCameraSide - side) / 2;  // 0, or 2 when the border is cut off
    const std::size_t rowBytes = static_cast<std::size_t>(side) * 3;
    for (int i = 0; i < side; ++i) {
        const uint8_t* src = frame + (first + i) * kFrameRowBytes + 4 * first;
        captureRow<Grey>(src, side, dest + (side - 1 - i) * rowBytes);  // bottom-up
    }
}

// Rows top first, `stride` bytes apart, of the side x side picture at the frame's centre.
template <void (*Row)(const uint8_t*, int, uint8_t*)>
void pictureRows(const uint8_t* frame, uint8_t* dest, int side, std::size_t stride)
{
    const int first = (kCameraSide - side) / 2;
    for (int i = 0; i < side; ++i)
        Row(frame + (first + i) * kFrameRowBytes + 4 * first, side, dest + static_cast<std::size_t>(i) * stride);
}

}  // namespace

// The routines, in Conversion's order; the display pictures ignore `side`,
// all but the caller's pictures `stride`.
void colour100(const uint8_t* frame, uint8_t* out, int, std::size_t)
{
    convertPicture<1, false>(frame, out);
}
void colour200(const uint8_t* frame, uint8_t* out, int, std::size_t)
{
    convertPicture<2, false>(frame, out);
}
void grey100(const uint8_t* frame, uint8_t* out, int, std::size_t)
{
    convertPicture<1, true>(frame, out);
}
void grey200(const uint8_t* frame, uint8_t* out, int, std::size_t)
{
    convertPicture<2, true>(frame, out);
}
void captureColour(const uint8_t* frame, uint8_t* out, int side, std::size_t)
{
    captureRows<false>(frame, out, side);
}
void captureGrey(const uint8_t* frame, uint8_t* out, int side, std::size_t)
{
    captureRows<true>(frame, out, side);
}
void pictureBgrx(const uint8_t* frame, uint8_t* out, int side, std::size_t stride)
{
    pictureRows<displayRow<1, false>>(frame, out, side, stride);
}
void pictureUyvy(const uint8_t* frame, uint8_t* out, int side, std::size_t stride)
{
    pictureRows<uyvyRow>(frame, out, side, stride);
}

}  // namespace qdx::viewer::HWY_NAMESPACE
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace qdx::viewer {
namespace {

using Routine = void (*)(const uint8_t* frame, uint8_t* out, int side, std::size_t stride);

struct KernelRoutines {
    Kernel kernel;
    Routine routines[kConversions];  // in Conversion's order
};

#define QDX_KERNEL_ROUTINES(ns) \
    {                                                                                            \
        ns::colour100, ns::colour200, ns::grey100, ns::grey200, ns::captureColour, ns::captureGrey, \
            ns::pictureBgrx, ns::pictureUyvy                                                        \
    }

// Widest first, the plain code last.
constexpr KernelRoutines kKernels[] = {
#if HWY_TARGETS & HWY_AVX3
    {Kernel::Avx512, QDX_KERNEL_ROUTINES(N_AVX3)},
#endif
#if HWY_TARGETS & HWY_AVX2
    {Kernel::Avx2, QDX_KERNEL_ROUTINES(N_AVX2)},
#endif
#if HWY_TARGETS & HWY_SSSE3
    {Kernel::Ssse3, QDX_KERNEL_ROUTINES(N_SSSE3)},
#endif
#if HWY_TARGETS & HWY_SCALAR
    {Kernel::Plain, QDX_KERNEL_ROUTINES(N_SCALAR)},
#else
    {Kernel::Plain, QDX_KERNEL_ROUTINES(N_EMU128)},
#endif
};

#undef QDX_KERNEL_ROUTINES

// The compiler may use every extension Highway builds a kernel for (AVX2:
// with SSE4, PCLMUL, AES, BMI1/2, FMA and F16C; AVX-512: F, VL, DQ and BW), so
// the processor must have them all. The compiler's checks include the
// operating system's support for the wide registers.
bool processorRuns(Kernel kernel)
{
    __builtin_cpu_init();
    switch (kernel) {
    case Kernel::Plain:
        return true;
    case Kernel::Ssse3:
        return __builtin_cpu_supports("ssse3");
    case Kernel::Avx2:
        return processorRuns(Kernel::Ssse3) && __builtin_cpu_supports("sse4.1") &&
               __builtin_cpu_supports("sse4.2") && __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("aes") &&
               __builtin_cpu_supports("avx") && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
               __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma") && __builtin_cpu_supports("f16c");
    case Kernel::Avx512:
        return processorRuns(Kernel::Avx2) && __builtin_cpu_supports("avx512f") &&
               __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512bw");
    }
    return false;
}

const std::vector<const KernelRoutines*>& runnable()
{
    static const std::vector<const KernelRoutines*> kernels = [] {
        std::vector<const KernelRoutines*> found;
        for (const KernelRoutines& k : kKernels)
            if (processorRuns(k.kernel))
                found.push_back(&k);
        return found;
    }();
    return kernels;
}

// The fastest kernel for a conversion: the best of a few runs of each on a
// made-up frame, in rounds that take the kernels in turn so that other work
// on the machine slows them alike. The plain code only stands in where no
// vector kernel runs: it is several times slower, and timing it would cost
// the first frame milliseconds.
const KernelRoutines* fastest(Conversion conversion)
{
    const auto& kernels = runnable();
    const std::size_t candidates = std::max<std::size_t>(1, kernels.size() - 1);
    if (candidates == 1)
        return kernels.front();
    std::vector<uint8_t> frame(kFrameBytes), out(kDisplayBytes);
    uint32_t noise = 2463534242u;  // xorshift32
    for (uint8_t& byte : frame) {
        noise ^= noise << 13;
        noise ^= noise >> 17;
        noise ^= noise << 5;
        byte = static_cast<uint8_t>(noise);
    }
    using Clock = std::chrono::steady_clock;
    std::vector<Clock::duration> best(candidates, Clock::duration::max());
    constexpr int kRounds = 5;
    for (int round = 0; round < kRounds; ++round) {
        for (std::size_t i = 0; i < candidates; ++i) {
            const auto start = Clock::now();
            kernels[i]->routines[static_cast<int>(conversion)](frame.data(), out.data(), kCameraSide, kDisplayStride);
            best[i] = std::min(best[i], Clock::now() - start);
        }
    }
    return kernels[static_cast<std::size_t>(std::min_element(best.begin(), best.end()) - best.begin())];
}

struct Choice {
    std::once_flag timed;
    const KernelRoutines* kernel = nullptr;  // written once under `timed`
};
Choice choices[kConversions];
std::atomic<const KernelRoutines*> forced{nullptr};  // written by forceKernel, any thread

Routine routine(Conversion conversion)
{
    const int index = static_cast<int>(conversion);
    if (const KernelRoutines* kernel = forced.load(std::memory_order_acquire))
        return kernel->routines[index];
    Choice& choice = choices[index];
    std::call_once(choice.timed, [&] { choice.kernel = fastest(conversion); });
    return choice.kernel->routines[index];
}

}  // namespace

const char* kernelName(Kernel kernel)
{
    switch (kernel) {
    case Kernel::Plain:
        return "plain";
    case Kernel::Ssse3:
        return "SSSE3";
    case Kernel::Avx2:
        return "AVX2";
    case Kernel::Avx512:
        return "AVX-512";
    }
    return "?";
}

std::vector<Kernel> runnableKernels()
{
    std::vector<Kernel> kernels;
    for (const KernelRoutines* k : runnable())
        kernels.push_back(k->kernel);
    return kernels;
}

Kernel chosenKernel(Conversion conversion)
{
    const Routine chosen = routine(conversion);
    for (const KernelRoutines& k : kKernels)
        if (k.routines[static_cast<int>(conversion)] == chosen)
            return k.kernel;
    return Kernel::Plain;
}

void forceKernel(std::optional<Kernel> kernel)
{
    const KernelRoutines* found = nullptr;
    for (const KernelRoutines* k : runnable())
        if (kernel && k->kernel == *kernel)
            found = k;
    assert(found || !kernel);  // only a kernel this processor runs
    forced.store(found, std::memory_order_release);
}

void convertColour100(const uint8_t* frame, uint8_t* image)
{
    routine(Conversion::Colour100)(frame, image, kCameraSide, kDisplayStride);
}

void convertColour200(const uint8_t* frame, uint8_t* image)
{
    routine(Conversion::Colour200)(frame, image, kCameraSide, kDisplayStride);
}

void convertGrey100(const uint8_t* frame, uint8_t* image)
{
    routine(Conversion::Grey100)(frame, image, kCameraSide, kDisplayStride);
}

void convertGrey200(const uint8_t* frame, uint8_t* image)
{
    routine(Conversion::Grey200)(frame, image, kCameraSide, kDisplayStride);
}

void convertCapturePicture(uint8_t* dest, const uint8_t* frame, bool grey, int side)
{
    assert(side == 404 || side == 400);  // the kernels take whole steps from the row's ends
    routine(grey ? Conversion::CaptureGrey : Conversion::CaptureColour)(frame, dest, side, 0);
}

void convertPictureBgrx(const uint8_t* frame, int side, uint8_t* dest, std::size_t stride)
{
    assert((side == 404 || side == 400) && stride >= static_cast<std::size_t>(side) * kDisplayPixelBytes);
    routine(Conversion::PictureBgrx)(frame, dest, side, stride);
}

void convertPictureUyvy(const uint8_t* frame, int side, uint8_t* dest, std::size_t stride)
{
    assert((side == 404 || side == 400) && stride >= static_cast<std::size_t>(side) * 2);
    routine(Conversion::PictureUyvy)(frame, dest, side, stride);
}

void fillPixels(uint8_t* at, std::size_t count, Bgr colour)
{
    const uint8_t pixel[kDisplayPixelBytes] = {colour.b, colour.g, colour.r, 0xFF};
    constexpr std::size_t perBlock = 16;
    uint8_t block[perBlock * kDisplayPixelBytes];
    for (std::size_t i = 0; i < perBlock; ++i)
        std::memcpy(block + i * kDisplayPixelBytes, pixel, kDisplayPixelBytes);
    std::size_t i = 0;
    for (; i + perBlock <= count; i += perBlock)
        std::memcpy(at + i * kDisplayPixelBytes, block, sizeof block);
    std::memcpy(at + i * kDisplayPixelBytes, block, (count - i) * kDisplayPixelBytes);
}

void blackenOutside100(uint8_t* image)
{
    constexpr std::size_t outside = kDisplaySide - kCameraSide;
    for (int r = 0; r < kCameraSide; ++r)
        fillPixels(image + r * kDisplayStride + kCameraSide * kDisplayPixelBytes, outside, Bgr{0, 0, 0});
    fillPixels(image + kCameraSide * kDisplayStride, outside * kDisplaySide, Bgr{0, 0, 0});
}

namespace {

// Blackens `width` pixels at each edge of the top-left side x side square.
void blackenBorder(uint8_t* image, int side, int width)
{
    const auto w = static_cast<std::size_t>(width), s = static_cast<std::size_t>(side);
    for (int y = 0; y < side; ++y) {
        uint8_t* row = image + y * kDisplayStride;
        if (y < width || y >= side - width) {
            fillPixels(row, s, Bgr{0, 0, 0});
        } else {
            fillPixels(row, w, Bgr{0, 0, 0});
            fillPixels(row + (s - w) * kDisplayPixelBytes, w, Bgr{0, 0, 0});
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

void renderFrame(const uint8_t* frame, uint8_t* image, ViewOptions options, bool outsideIsBlack)
{
    if (options.zoom200) {
        (options.grey ? convertGrey200 : convertColour200)(frame, image);
        if (!options.showBoundary)
            blackenBorder200(image);
    } else {
        (options.grey ? convertGrey100 : convertColour100)(frame, image);
        if (!outsideIsBlack)
            blackenOutside100(image);
        if (!options.showBoundary)
            blackenBorder100(image);
    }
}

}  // namespace qdx::viewer
#endif  // HWY_ONCE
