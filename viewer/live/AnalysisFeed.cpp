#include "AnalysisFeed.h"

#include <cstring>

namespace qdx::viewer {
namespace {

std::unique_ptr<AnalysisSnapshot> emptySnapshot()
{
    auto snapshot = std::make_unique<AnalysisSnapshot>();
    snapshot->frame = std::make_unique<uint8_t[]>(kFrameBytes);
    // The longest line crosses the frame diagonally: one point a pixel of the
    // longer axis. Reserved now, so the display thread never allocates.
    snapshot->linePoints.reserve(kCameraSide);
    snapshot->profile.reserve(kCameraSide);
    return snapshot;
}

}  // namespace

AnalysisFeed::AnalysisFeed() : snapshots_(emptySnapshot(), emptySnapshot(), emptySnapshot()) {}

void AnalysisFeed::setRegion(std::optional<PixelRect> region)
{
    {
        std::lock_guard lock(settingsMutex_);
        region_ = region;
    }
    wanted_.store(true, std::memory_order_release);  // shown at the next refresh, not the one after
}

void AnalysisFeed::setLine(std::optional<PixelLine> line)
{
    {
        std::lock_guard lock(settingsMutex_);
        line_ = line;
    }
    wanted_.store(true, std::memory_order_release);
}

void AnalysisFeed::frameShown(const ShownFrame& shown)
{
    if (!active() || !wanted_.exchange(false, std::memory_order_acq_rel))
        return;
    std::optional<PixelRect> region;
    std::optional<PixelLine> line;
    {
        std::lock_guard lock(settingsMutex_);
        region = region_;
        line = line_;
    }

    AnalysisSnapshot& out = *snapshots_.back();
    out.number = ++analysed_;
    out.grey = shown.grey;
    out.showBoundary = shown.showBoundary;
    const PixelRect whole = shownPicture(shown.showBoundary);
    analyser_.analyse(shown.frame, region ? clipToPicture(*region, shown.showBoundary) : whole, shown.grey,
                      out.analysis);
    out.line = line;
    out.linePoints.clear();
    out.profile.clear();
    if (line) {
        linePoints(line->from, line->to, out.linePoints);
        lineProfile(shown.frame, out.linePoints, out.profile);
    }
    std::memcpy(out.frame.get(), shown.frame, kFrameBytes);
    snapshots_.publish();
}

const AnalysisSnapshot* AnalysisFeed::latest()
{
    anyTaken_ |= snapshots_.take();
    wanted_.store(true, std::memory_order_release);
    return anyTaken_ ? snapshots_.front().get() : nullptr;
}

}  // namespace qdx::viewer
