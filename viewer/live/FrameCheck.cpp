#include "FrameCheck.h"

#include "FrameLayout.h"

namespace qdx::viewer {

int checkFrame(const uint8_t* frame, unsigned length)
{
    if (length != kFrameBytes || frame == nullptr)
        return kFrameWrongSize;
    const bool whole = frameWord(frame, 0) == 0xFF00 && frameWord(frame, 1) == 0x0080 &&
                       frameWord(frame, kFrameWords - 2) == 0xFF00 && frameWord(frame, kFrameWords - 1) == 0x009D;
    return whole ? kFrameWhole : kFrameWrongMarkers;
}

}  // namespace qdx::viewer
