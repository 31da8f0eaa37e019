#include "PictureFit.h"

#include <algorithm>
#include <cmath>

namespace qdx::viewer {

PictureFit pictureFit(int width, int height, int pictureSide, bool fit)
{
    if (!fit || pictureSide <= 0)
        return {0, 0, pictureSide, 1.0};
    // Whole view pixels, so the picture's edges stay sharp.
    const int side = std::max(1, std::min(width, height));
    return {(width - side) / 2, (height - side) / 2, side, static_cast<double>(side) / pictureSide};
}

AreaPoint areaPixelAt(const PictureFit& fit, int x, int y)
{
    // The view pixel's centre decides, so that neighbouring view pixels never
    // disagree on an edge.
    const auto map = [&fit](int v, int origin) {
        return static_cast<int>(std::floor((v + 0.5 - origin) / fit.scale));
    };
    return {map(x, fit.left), map(y, fit.top)};
}

}  // namespace qdx::viewer
