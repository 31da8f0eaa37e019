#include "FrameCheck.h"

#include "FrameLayout.h"

namespace qdx::viewer {

int checkFrame(const uint8_t* frame, unsigned length)
{
    if (length != kFrameBytes || frame == nullptr)
        return kFrameWrongSize;
    const bool whole = frameWord(frame, 0) == QDX_FRAME_START_MARKER0 && frameWord(frame, 1) == QDX_FRAME_START_MARKER1 &&
                       frameWord(frame, kFrameWords - 2) == QDX_FRAME_END_MARKER0 &&
                       frameWord(frame, kFrameWords - 1) == QDX_FRAME_END_MARKER1;
    return whole ? kFrameWhole : kFrameWrongMarkers;
}

}  // namespace qdx::viewer
