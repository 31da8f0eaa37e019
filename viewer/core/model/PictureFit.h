// Where the picture sits in its view, one mapping for painting and for the
// mouse: at 100% and 200% the picture's area pixels start at the view's
// top-left corner one to one; fitted, the picture is scaled to the largest
// square the view holds and centred in it. Qt-free.
#pragma once

namespace qdx::viewer {

// The display zoom's choices (ViewerState::displayZoom).
inline constexpr int kZoom100 = 0;
inline constexpr int kZoom200 = 1;
inline constexpr int kZoomFit = 2;

struct AreaPoint {
    int x = 0;
    int y = 0;
    bool operator==(const AreaPoint&) const = default;
};

// Area point (x, y) is at view point (left + x * scale, top + y * scale).
struct PictureFit {
    int left = 0;
    int top = 0;
    int side = 0;  // of the picture in view pixels
    double scale = 1.0;
};

// The placement of a square picture of pictureSide area pixels in a view of
// width x height; fit false keeps it one to one at the top-left corner.
PictureFit pictureFit(int width, int height, int pictureSide, bool fit);

// The area pixel under the view pixel (x, y); outside the picture for a view
// pixel beside it.
AreaPoint areaPixelAt(const PictureFit& fit, int x, int y);

}  // namespace qdx::viewer
