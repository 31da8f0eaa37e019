// The Analysis window's share of the display thread: while the window is
// open, a shown frame is analysed (histograms and statistics of the region
// of interest, the luma along the chosen line) and kept, so that the window
// can read any pixel of the frame it last showed. No second frame stream: it
// sees frames the picture shows. The window reads a few times a second, so
// a frame is analysed only once the reader has taken the one before: frames
// nobody would read cost nothing.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "FrameAnalysis.h"
#include "TripleBuffer.h"
#include "core/threads/FrameConsumer.h"

namespace qdx::viewer {

// A line on the picture, in camera pixels.
struct PixelLine {
    PixelPoint from, to;
    friend bool operator==(const PixelLine&, const PixelLine&) = default;
};

// One analysed frame.
struct AnalysisSnapshot {
    uint64_t number = 0;  // counts the analysed frames from 1
    bool grey = false;
    bool showBoundary = false;
    FrameAnalysis analysis;
    std::optional<PixelLine> line;
    std::vector<PixelPoint> linePoints;
    std::vector<uint16_t> profile;  // 12-bit luma at each line point
    std::unique_ptr<uint8_t[]> frame;  // the whole camera frame
};

class AnalysisFeed final : public FrameConsumer {
public:
    AnalysisFeed();

    // Analysis runs only while active (the window is shown). Any thread.
    void setActive(bool active) { active_.store(active, std::memory_order_release); }
    bool active() const { return active_.load(std::memory_order_acquire); }

    // The region of interest (none: the whole shown picture) and the line of
    // the profile (none: no profile). Any thread; from the next frame on.
    void setRegion(std::optional<PixelRect> region);
    void setLine(std::optional<PixelLine> line);

    // Display thread.
    void frameShown(const ShownFrame& shown) override;

    // The reader's (one thread's) newest snapshot: null before the first;
    // valid and unchanged until the next call. Its number tells whether it
    // is new. Asks for the next shown frame to be analysed.
    const AnalysisSnapshot* latest();
    // The snapshot latest() last returned, without looking for a newer one.
    const AnalysisSnapshot* current() { return anyTaken_ ? snapshots_.front().get() : nullptr; }

private:
    std::atomic<bool> active_{false};
    std::atomic<bool> wanted_{true};  // the reader has taken the last published snapshot
    std::mutex settingsMutex_;  // Protects region_ and line_
    std::optional<PixelRect> region_;
    std::optional<PixelLine> line_;

    FrameAnalyser analyser_;  // display thread only
    uint64_t analysed_ = 0;   // display thread only

    TripleBuffer<std::unique_ptr<AnalysisSnapshot>> snapshots_;
    bool anyTaken_ = false;  // reader's own: the front snapshot holds an analysis
};

}  // namespace qdx::viewer
