// stats: the 12-bit luma statistics of a region over whole frames, and the
// mean colour the picture shows there: the analysis window's figures, by the
// viewer's own analyser.
#include <vector>

#include "CtlCommands.h"
#include "Figures.h"
#include "FrameSource.h"
#include "Json.h"
#include "QDX_API.h"
#include "live/FrameAnalysis.h"

namespace qdx::ctl {
namespace {

constexpr long long kMostFrames = 10000;

// Counts of all frames taken: a frame's 32-bit counts summed could overflow.
struct Pooled {
    std::array<uint64_t, viewer::kLumaLevels> luma{};
    std::array<uint64_t, 256> red{}, green{}, blue{};

    void add(const viewer::Histograms& h)
    {
        const auto sum = [](auto& into, const auto& from) {
            for (std::size_t i = 0; i < into.size(); ++i)
                into[i] += from[i];
        };
        sum(luma, h.luma);
        sum(red, h.red);
        sum(green, h.green);
        sum(blue, h.blue);
    }
};

struct StatsResult {
    long long frames = 0;
    bool grey = false;
    viewer::RegionStats luma;
    double red = 0, green = 0, blue = 0;
};

// "x,y,w,h" in camera pixels, wholly inside the frame: a script learns that
// its region is wrong instead of getting figures of another one.
std::optional<viewer::PixelRect> parseRoi(const std::string& text, std::string& why)
{
    long long v[4];
    std::size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const std::size_t comma = text.find(',', start);
        if ((i < 3) == (comma == std::string::npos)) {
            why = "--roi " + text + ": not x,y,w,h";
            return std::nullopt;
        }
        const auto n = parseInteger(std::string_view(text).substr(start, comma == std::string::npos ? comma : comma - start));
        if (!n) {
            why = "--roi " + text + ": not x,y,w,h";
            return std::nullopt;
        }
        v[i] = *n;
        start = comma + 1;
    }
    constexpr int side = viewer::kCameraSide;
    if (v[0] < 0 || v[1] < 0 || v[2] < 1 || v[3] < 1 || v[0] + v[2] > side || v[1] + v[3] > side) {
        why = "--roi " + text + ": not a region of at least one pixel inside the frame's 0.." +
              std::to_string(side - 1) + " x 0.." + std::to_string(side - 1);
        return std::nullopt;
    }
    return viewer::PixelRect{static_cast<int>(v[0]), static_cast<int>(v[1]), static_cast<int>(v[2]),
                             static_cast<int>(v[3])};
}

std::string roiText(const viewer::PixelRect& r)
{
    return std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
           std::to_string(r.height);
}

void printSummary(std::ostream& out, const StatsResult& s)
{
    const viewer::RegionStats& l = s.luma;
    out << "frames      " << s.frames << "\n"
        << "roi         " << roiText(l.region) << "\n"
        << "pixels      " << l.pixels << "\n"
        << "mean        " << fixed(l.mean, 3) << "\n"
        << "stddev      " << fixed(l.stddev, 3) << "\n"
        << "min         " << l.min << "\n"
        << "max         " << l.max << "\n"
        << "at 0        " << l.atZero << "\n"
        << "at 4095     " << l.atFull << "\n"
        << "picture     " << (s.grey ? "grey" : "colour") << "\n"
        << "mean red    " << fixed(s.red, 2) << "\n"
        << "mean green  " << fixed(s.green, 2) << "\n"
        << "mean blue   " << fixed(s.blue, 2) << "\n";
}

Json summaryJson(const StatsResult& s)
{
    const viewer::RegionStats& l = s.luma;
    return Json{{"frames", s.frames},
                {"roi", Json{{"x", l.region.x}, {"y", l.region.y}, {"width", l.region.width},
                             {"height", l.region.height}}},
                {"pixels", l.pixels},
                {"mean", rounded(l.mean, 3)},
                {"stddev", rounded(l.stddev, 3)},
                {"min", l.min},
                {"max", l.max},
                {"at_zero", l.atZero},
                {"at_full", l.atFull},
                {"picture", s.grey ? "grey" : "colour"},
                {"mean_red", rounded(s.red, 2)},
                {"mean_green", rounded(s.green, 2)},
                {"mean_blue", rounded(s.blue, 2)}};
}

}  // namespace

int runStats(Context& context, const Arguments& arguments)
{
    if (!arguments.operands().empty())
        return context.usageError("stats takes no operands");
    std::string why;
    viewer::PixelRect roi = viewer::shownPicture(false);
    if (const auto text = arguments.value("--roi")) {
        const auto parsed = parseRoi(*text, why);
        if (!parsed)
            return context.usageError(why);
        roi = *parsed;
    }
    const auto count = framesOption(arguments, 1, kMostFrames, 1, why);
    if (!count)
        return context.usageError(why);
    const long long frames = *count;
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    int format = 0;
    if (QDX_Get_DataFormat(&format) != QDX_OK)
        return context.failure("the data format could not be read");

    StatsResult result;
    result.grey = format == 1;  // the sensor's luma shows grey, as on the Calibration page
    // A frame already on its way when --set changed something shows the camera as it was.
    WholeFrames source(context.changedCamera() ? 1 : 0);
    if (!source.valid())
        return context.failure("the library gave no frame signal");
    Progress progress = context.progress("taking " + std::to_string(frames) + " frames");
    viewer::FrameAnalyser analyser;
    viewer::FrameAnalysis analysis;
    Pooled pooled;
    std::vector<uint8_t> frame;
    while (result.frames < frames) {
        const WholeFrames::Next next = source.next(frame, why);
        if (next == WholeFrames::Next::Stopped && result.frames > 0)
            break;  // the figures of the frames so far
        if (next == WholeFrames::Next::Stopped)
            return kExitFailure;
        if (next != WholeFrames::Next::Frame)
            return context.failure(why);
        analyser.analyse(frame.data(), roi, result.grey, analysis);
        pooled.add(analysis.histograms);
        ++result.frames;
        progress.update(std::to_string(result.frames) + " of " + std::to_string(frames) + " frames");
    }
    progress.finish();

    result.luma = viewer::lumaStatistics(pooled.luma, roi);
    result.red = viewer::histogramMean(pooled.red);
    result.green = viewer::histogramMean(pooled.green);
    result.blue = viewer::histogramMean(pooled.blue);
    if (arguments.has("--json"))
        printJson(context.out(), summaryJson(result));
    else
        printSummary(context.out(), result);
    return kExitOk;
}

}  // namespace qdx::ctl
