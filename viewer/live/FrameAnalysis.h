// What an engineer reads off a camera frame besides the picture: histograms
// of the 12-bit luma and of the displayed colours, the statistics of a region,
// the luma along a line, and the words behind one pixel. Qt-free; the display
// thread runs the analyser on the frames it shows, qdxctl on the frames it
// takes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "FrameConversion.h"
#include "FrameLayout.h"

namespace qdx::viewer {

inline constexpr int kLumaLevels = 4096;  // 12-bit luma
inline constexpr int kLumaFull = kLumaLevels - 1;

// Camera pixel coordinates: x to the right, y down, (0, 0) the top-left pixel
// of the frame (the first boundary pixel).
struct PixelPoint {
    int x = 0, y = 0;
    friend bool operator==(PixelPoint, PixelPoint) = default;
};

// A rectangle of camera pixels; empty when width or height is not positive.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
    bool contains(PixelPoint p) const { return p.x >= x && p.y >= y && p.x < x + width && p.y < y + height; }
    friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The camera pixels the picture shows: all 404 x 404 with the boundary
// pixels displayed, else the inner 400 x 400.
PixelRect shownPicture(bool showBoundary);

// The part of r inside the shown picture (empty if none). The rectangle of
// two corners dragged in either direction, both included.
PixelRect clipToPicture(PixelRect r, bool showBoundary);
PixelRect rectFromCorners(PixelPoint a, PixelPoint b);

// Statistics of the 12-bit luma of a region.
struct RegionStats {
    PixelRect region;
    long long pixels = 0;
    double mean = 0;
    double stddev = 0;  // population deviation
    int min = 0, max = 0;
    long long atZero = 0;  // pixels at 0 (clipped black)
    long long atFull = 0;  // pixels at 4,095 (clipped white)
};

// Histograms of one region: the 12-bit luma, and R, G, B (0..255) of the
// picture as the page shows it (colour, or grey on the Calibration page).
struct Histograms {
    std::array<uint32_t, kLumaLevels> luma{};
    std::array<uint32_t, 256> red{}, green{}, blue{};
};

// The statistics of a luma histogram, reported for region: one frame's, or
// counts pooled over many frames (summed in 64 bits, the deviation taken
// from the mean, so precision holds for any realistic number of frames).
template <class Count>
RegionStats lumaStatistics(const std::array<Count, kLumaLevels>& luma, PixelRect region);
// The mean level of a colour histogram; 0 when it is empty.
template <class Count>
double histogramMean(const std::array<Count, 256>& levels);

// One analysis of one frame.
struct FrameAnalysis {
    Histograms histograms;
    RegionStats stats;
};

// Runs the analysis on whole camera frames. Holds its working memory, so a
// call allocates nothing; one thread at a time.
class FrameAnalyser {
public:
    FrameAnalyser();
    ~FrameAnalyser();
    FrameAnalyser(const FrameAnalyser&) = delete;
    FrameAnalyser& operator=(const FrameAnalyser&) = delete;

    // Histograms and statistics of region (clipped to the frame; an empty
    // region gives zero counts) as shown grey or in colour.
    void analyse(const uint8_t* frame, PixelRect region, bool grey, FrameAnalysis& out);

private:
    std::unique_ptr<uint8_t[]> picture_;       // the displayed colours of the whole frame
    std::unique_ptr<uint32_t[]> lumaCounts_;   // luma histograms of even and odd columns
    std::unique_ptr<uint32_t[]> colourCounts_; // B, G, R histograms of even and odd columns
};

// The camera pixels of the straight line from a to b, both ends included,
// one a step along the longer axis (Bresenham); points outside the frame are
// left out. The profile is the 12-bit luma at each point. out is reused.
void linePoints(PixelPoint a, PixelPoint b, std::vector<PixelPoint>& out);
void lineProfile(const uint8_t* frame, const std::vector<PixelPoint>& points, std::vector<uint16_t>& out);

// The camera pixel under position (x, y) of the 808 x 808 picture area: at
// 100% the picture fills the top-left 404 x 404 area pixels, at 200% each
// camera pixel covers 2 x 2. None outside the picture.
std::optional<PixelPoint> cameraPixelAt(int x, int y, bool zoom200);

// Everything about one camera pixel.
struct PixelReadout {
    PixelPoint at;
    uint16_t yWord = 0, cbWord = 0, crWord = 0;  // raw 16-bit words (12-bit values left-justified)
    int y = 0, cb = 0, cr = 0;                    // 12-bit values, chroma 0..4095 (2048 is neutral)
    Bgr shown{};                                  // as the page shows it
    bool hidden = false;                          // a boundary pixel painted black
};

// p must lie in the frame (outside it: zero words, hidden, black). Cb and Cr
// are those of p's pixel pair.
PixelReadout readPixel(const uint8_t* frame, PixelPoint p, bool grey, bool showBoundary);

}  // namespace qdx::viewer
