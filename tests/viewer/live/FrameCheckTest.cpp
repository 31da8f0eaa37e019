// The whole-frame check that decides whether a frame may be shown or used.
#include <gtest/gtest.h>

#include "live/FrameCheck.h"
#include "viewer/FrameBuilder.h"

namespace qdx::viewer::test {
namespace {

struct Damage {
    const char* name;
    unsigned length;      // byte count the library reported
    std::size_t word;     // word to change (ignored when value is 0xFFFFFFFF)
    uint32_t value;
    int expected;
};

const Damage kCases[] = {
    {"Whole", kFrameBytes, 0, 0xFFFFFFFF, kFrameWhole},
    {"Empty", 0, 0, 0xFFFFFFFF, kFrameWrongSize},
    {"OneByteShort", kFrameBytes - 1, 0, 0xFFFFFFFF, kFrameWrongSize},
    {"OneByteLong", kFrameBytes + 1, 0, 0xFFFFFFFF, kFrameWrongSize},
    {"WholeSlot", 1048576, 0, 0xFFFFFFFF, kFrameWrongSize},
    {"WrongSizeAndMarkers", 4, 0, 0x1234, kFrameWrongSize},
    {"FirstMarker", kFrameBytes, 0, 0xFF01, kFrameWrongMarkers},
    {"SecondMarker", kFrameBytes, 1, 0x0081, kFrameWrongMarkers},
    {"SecondToLastMarker", kFrameBytes, kFrameWords - 2, 0xFE00, kFrameWrongMarkers},
    {"LastWord009E", kFrameBytes, kFrameWords - 1, 0x009E, kFrameWrongMarkers},
    {"MarkersSwapped", kFrameBytes, 0, 0x0080, kFrameWrongMarkers},
};

class FrameCheckTest : public ::testing::TestWithParam<Damage> {};

// Guards against showing or capturing a truncated, overlong or misaligned
// frame, and against telling a wrong size from wrong markers the wrong way.
TEST_P(FrameCheckTest, ReportsWholeWrongSizeOrWrongMarkers)
{
    const Damage& damage = GetParam();
    auto frame = makeFrame();
    if (damage.value != 0xFFFFFFFF)
        setWord(frame, damage.word, static_cast<uint16_t>(damage.value));
    frame.resize(std::max<std::size_t>(frame.size(), damage.length));
    EXPECT_EQ(checkFrame(frame.data(), damage.length), damage.expected);
}

INSTANTIATE_TEST_SUITE_P(Frames, FrameCheckTest, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace qdx::viewer::test
