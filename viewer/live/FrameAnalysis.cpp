#include "FrameAnalysis.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace qdx::viewer {
namespace {

constexpr PixelRect kWholeFrame{0, 0, kCameraSide, kCameraSide};
constexpr std::size_t kPictureRowBytes = static_cast<std::size_t>(kCameraSide) * 3;
constexpr int kBoundary = 2;

PixelRect intersect(PixelRect a, PixelRect b)
{
    if (a.empty() || b.empty())
        return {};
    // 64-bit ends: a rectangle from a drag far off the picture must not overflow.
    const long long left = std::max<long long>(a.x, b.x);
    const long long top = std::max<long long>(a.y, b.y);
    const long long right = std::min<long long>(static_cast<long long>(a.x) + a.width, static_cast<long long>(b.x) + b.width);
    const long long bottom =
        std::min<long long>(static_cast<long long>(a.y) + a.height, static_cast<long long>(b.y) + b.height);
    if (right <= left || bottom <= top)
        return {};
    return {static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
            static_cast<int>(bottom - top)};
}

bool inFrame(PixelPoint p)
{
    return kWholeFrame.contains(p);
}

// The 32 bits of camera pixel (x, y): its chroma word low, its luma word high.
uint32_t pixelBits(const uint8_t* frame, int x, int y)
{
    uint32_t bits;
    std::memcpy(&bits, frame + static_cast<std::size_t>(y) * kFrameRowBytes + static_cast<std::size_t>(x) * 4, 4);
    return bits;  // the frame is little-endian, as is every processor this runs on
}

int luma12(const uint8_t* frame, PixelPoint p)
{
    return static_cast<int>(pixelBits(frame, p.x, p.y) >> 20);
}

}  // namespace

PixelRect shownPicture(bool showBoundary)
{
    return showBoundary ? kWholeFrame
                        : PixelRect{kBoundary, kBoundary, kCameraSide - 2 * kBoundary, kCameraSide - 2 * kBoundary};
}

PixelRect clipToPicture(PixelRect r, bool showBoundary)
{
    return intersect(r, shownPicture(showBoundary));
}

PixelRect rectFromCorners(PixelPoint a, PixelPoint b)
{
    const long long width = std::llabs(static_cast<long long>(a.x) - b.x) + 1;
    const long long height = std::llabs(static_cast<long long>(a.y) - b.y) + 1;
    // Corners so far apart that the size leaves int are no rectangle anyone drew.
    if (width > std::numeric_limits<int>::max() || height > std::numeric_limits<int>::max())
        return {};
    return {std::min(a.x, b.x), std::min(a.y, b.y), static_cast<int>(width), static_cast<int>(height)};
}

template <class Count>
RegionStats lumaStatistics(const std::array<Count, kLumaLevels>& luma, PixelRect region)
{
    RegionStats stats;
    stats.region = region;
    uint64_t pixels = 0, sum = 0;
    int min = -1, max = 0;
    for (int v = 0; v < kLumaLevels; ++v) {
        const uint64_t count = luma[static_cast<std::size_t>(v)];
        if (count == 0)
            continue;
        pixels += count;
        sum += count * static_cast<uint64_t>(v);
        if (min < 0)
            min = v;
        max = v;
    }
    if (pixels == 0)
        return stats;
    stats.pixels = static_cast<long long>(pixels);
    stats.mean = static_cast<double>(sum) / static_cast<double>(pixels);
    // Deviations from the mean, not the difference of two large sums, so
    // that nothing cancels however many pixels are pooled.
    double squares = 0;
    for (int v = min; v <= max; ++v) {
        const double d = v - stats.mean;
        squares += static_cast<double>(luma[static_cast<std::size_t>(v)]) * d * d;
    }
    stats.stddev = std::sqrt(squares / static_cast<double>(pixels));
    stats.min = min;
    stats.max = max;
    stats.atZero = static_cast<long long>(luma[0]);
    stats.atFull = static_cast<long long>(luma[kLumaFull]);
    return stats;
}

template RegionStats lumaStatistics(const std::array<uint32_t, kLumaLevels>&, PixelRect);
template RegionStats lumaStatistics(const std::array<uint64_t, kLumaLevels>&, PixelRect);

template <class Count>
double histogramMean(const std::array<Count, 256>& levels)
{
    uint64_t count = 0, sum = 0;
    for (std::size_t v = 0; v < levels.size(); ++v) {
        count += levels[v];
        sum += static_cast<uint64_t>(levels[v]) * v;
    }
    return count ? static_cast<double>(sum) / static_cast<double>(count) : 0.0;
}

template double histogramMean(const std::array<uint32_t, 256>&);
template double histogramMean(const std::array<uint64_t, 256>&);

FrameAnalyser::FrameAnalyser()
    : picture_(new uint8_t[static_cast<std::size_t>(kCameraSide) * kPictureRowBytes]),
      lumaCounts_(new uint32_t[2 * static_cast<std::size_t>(kLumaLevels)]),
      colourCounts_(new uint32_t[2 * 3 * 256])
{
}

FrameAnalyser::~FrameAnalyser() = default;

void FrameAnalyser::analyse(const uint8_t* frame, PixelRect region, bool grey, FrameAnalysis& out)
{
    Histograms& h = out.histograms;
    const PixelRect r = intersect(region, kWholeFrame);
    h.luma.fill(0);
    if (r.empty()) {
        h.red.fill(0);
        h.green.fill(0);
        h.blue.fill(0);
        out.stats = lumaStatistics(h.luma, r);
        return;
    }

    // Two histograms, for even and odd columns: neighbours in an even patch
    // of the picture fall in the same bin, and counting them into one would
    // make each increment wait for the one before.
    uint32_t* const even = lumaCounts_.get();
    uint32_t* const odd = even + kLumaLevels;
    std::fill_n(even, 2 * kLumaLevels, 0u);
    for (int y = r.y; y < r.y + r.height; ++y) {
        const uint8_t* row = frame + static_cast<std::size_t>(y) * kFrameRowBytes;
        int x = r.x;
        for (; x + 1 < r.x + r.width; x += 2) {
            uint32_t a, b;
            std::memcpy(&a, row + 4 * x, 4);
            std::memcpy(&b, row + 4 * x + 4, 4);
            ++even[a >> 20];
            ++odd[b >> 20];
        }
        if (x < r.x + r.width)
            ++even[pixelBits(frame, x, y) >> 20];
    }
    for (int v = 0; v < kLumaLevels; ++v)
        h.luma[static_cast<std::size_t>(v)] = even[v] + odd[v];
    out.stats = lumaStatistics(h.luma, r);

    if (grey) {
        // The grey level is the luma word's high byte: 16 luma levels each.
        for (std::size_t level = 0; level < 256; ++level) {
            uint32_t count = 0;
            for (std::size_t k = 0; k < 16; ++k)
                count += h.luma[16 * level + k];
            h.red[level] = count;
        }
        h.green = h.red;
        h.blue = h.red;
        return;
    }

    // The displayed colours of the whole frame by the display's own vector
    // code, then counted over the region (rows are stored bottom-up).
    convertCapturePicture(picture_.get(), frame, false, kCameraSide);
    uint32_t* const counts = colourCounts_.get();
    std::fill_n(counts, 2 * 3 * 256, 0u);
    uint32_t* const blueEven = counts;
    uint32_t* const greenEven = counts + 256;
    uint32_t* const redEven = counts + 512;
    uint32_t* const blueOdd = counts + 768;
    uint32_t* const greenOdd = counts + 1024;
    uint32_t* const redOdd = counts + 1280;
    for (int y = r.y; y < r.y + r.height; ++y) {
        const uint8_t* p = picture_.get() + static_cast<std::size_t>(kCameraSide - 1 - y) * kPictureRowBytes +
                           static_cast<std::size_t>(r.x) * 3;
        int x = 0;
        for (; x + 1 < r.width; x += 2, p += 6) {
            ++blueEven[p[0]];
            ++greenEven[p[1]];
            ++redEven[p[2]];
            ++blueOdd[p[3]];
            ++greenOdd[p[4]];
            ++redOdd[p[5]];
        }
        if (x < r.width) {
            ++blueEven[p[0]];
            ++greenEven[p[1]];
            ++redEven[p[2]];
        }
    }
    for (std::size_t v = 0; v < 256; ++v) {
        h.blue[v] = blueEven[v] + blueOdd[v];
        h.green[v] = greenEven[v] + greenOdd[v];
        h.red[v] = redEven[v] + redOdd[v];
    }
}

void linePoints(PixelPoint a, PixelPoint b, std::vector<PixelPoint>& out)
{
    out.clear();
    // Along the longer (major) axis one point a step; the other coordinate
    // is the line's, rounded. Computed per step rather than by accumulating
    // an error term, so that only the steps inside the frame are visited
    // (a line may start far outside it) and so that a tie rounds towards the
    // smaller coordinate whichever end the line starts from: a line dragged
    // backwards covers the same pixels.
    const long long dx = static_cast<long long>(b.x) - a.x;
    const long long dy = static_cast<long long>(b.y) - a.y;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const long long steps = xMajor ? std::llabs(dx) : std::llabs(dy);
    const long long majorStart = xMajor ? a.x : a.y;
    const long long minorStart = xMajor ? a.y : a.x;
    const int majorSign = (xMajor ? dx : dy) < 0 ? -1 : 1;
    const int minorSign = (xMajor ? dy : dx) < 0 ? -1 : 1;
    const uint64_t minorRun = static_cast<uint64_t>(xMajor ? std::llabs(dy) : std::llabs(dx));

    // The steps whose major coordinate lies in 0..kCameraSide-1.
    long long first = 0, last = steps;
    if (majorSign > 0) {
        first = std::max(first, -majorStart);
        last = std::min(last, kCameraSide - 1 - majorStart);
    } else {
        first = std::max(first, majorStart - (kCameraSide - 1));
        last = std::min(last, majorStart);
    }
    for (long long i = first; i <= last; ++i) {
        long long offset = 0;
        if (steps > 0) {
            // i * minorRun < 2^64: both are below 2^32.
            const uint64_t product = static_cast<uint64_t>(i) * minorRun;
            const uint64_t s = static_cast<uint64_t>(steps);
            uint64_t q = product / s;
            const uint64_t twice = 2 * (product % s);
            if (twice > s || (twice == s && minorSign < 0))
                ++q;
            offset = static_cast<long long>(q);
        }
        const long long major = majorStart + majorSign * i;
        const long long minor = minorStart + minorSign * offset;
        if (minor < 0 || minor >= kCameraSide)
            continue;
        const PixelPoint p = xMajor ? PixelPoint{static_cast<int>(major), static_cast<int>(minor)}
                                    : PixelPoint{static_cast<int>(minor), static_cast<int>(major)};
        out.push_back(p);
    }
}

void lineProfile(const uint8_t* frame, const std::vector<PixelPoint>& points, std::vector<uint16_t>& out)
{
    out.resize(points.size());
    for (std::size_t i = 0; i < points.size(); ++i)
        out[i] = inFrame(points[i]) ? static_cast<uint16_t>(luma12(frame, points[i])) : 0;
}

std::optional<PixelPoint> cameraPixelAt(int x, int y, bool zoom200)
{
    const int scale = zoom200 ? 2 : 1;
    if (x < 0 || y < 0 || x >= kCameraSide * scale || y >= kCameraSide * scale)
        return std::nullopt;
    return PixelPoint{x / scale, y / scale};
}

PixelReadout readPixel(const uint8_t* frame, PixelPoint p, bool grey, bool showBoundary)
{
    PixelReadout readout;
    readout.at = p;
    readout.hidden = !shownPicture(showBoundary).contains(p);
    if (!inFrame(p))
        return readout;  // nothing to read: black, hidden, zero words
    const uint32_t pair = pixelBits(frame, p.x & ~1, p.y);         // Cb, Y0
    const uint32_t own = pixelBits(frame, p.x, p.y);              // Cb or Cr, and this pixel's Y
    const uint32_t second = pixelBits(frame, (p.x & ~1) + 1, p.y);  // Cr, Y1
    readout.cbWord = static_cast<uint16_t>(pair & 0xFFFF);
    readout.crWord = static_cast<uint16_t>(second & 0xFFFF);
    readout.yWord = static_cast<uint16_t>(own >> 16);
    readout.y = readout.yWord >> 4;
    readout.cb = readout.cbWord >> 4;
    readout.cr = readout.crWord >> 4;
    if (readout.hidden) {
        readout.shown = {0, 0, 0};
    } else if (grey) {
        const auto level = static_cast<uint8_t>(readout.yWord >> 8);
        readout.shown = {level, level, level};
    } else {
        readout.shown = yuvToBgr(readout.y, readout.cb - 2048, readout.cr - 2048);
    }
    return readout;
}

}  // namespace qdx::viewer
