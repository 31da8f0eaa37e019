// The camera's absences during a recording, from looks at the library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "live/Disconnections.h"

namespace qdx::viewer {
namespace {

struct Look {
    int ms;
    bool connected;
    int index;
    long long frames;
};

struct AbsenceCase {
    const char* what;
    std::vector<Look> looks;  // the first one starts the count
    int endMs;
    long long frames;  // recorded by the end
    std::vector<std::string> report;
};

// Guards a recording that reported itself whole after an unplug: an absence
// seen as the connection dropping, one that came and went between two looks
// (only the frame index counting from 0 again shows it), one that lasted to
// the end, each with its time and the frames on either side of it.
TEST(Disconnections, EachAbsenceIsReportedWithItsTimeAndFrames)
{
    using Clock = Disconnections::Clock;
    const AbsenceCase cases[] = {
        {"none", {{0, true, 7, 0}, {100, true, 10, 3}, {200, true, 13, 6}}, 300, 9, {}},
        {"unplugged and back",
         {{0, true, 0, 0}, {1000, true, 30, 30}, {1100, false, 31, 31}, {1500, false, 31, 31}, {2300, true, 0, 31},
          {3000, true, 21, 52}},
         3000, 53, {"the camera was disconnected at 1.1 s for 1.2 s; 31 frames before, 22 after"}},
        {"gone and back between two looks",
         {{0, true, 5, 0}, {100, true, 40, 35}, {200, true, 2, 37}, {300, true, 5, 40}},
         300, 40, {"the camera was disconnected at 0.1 s for 0.1 s; 35 frames before, 5 after"}},
        {"twice, the second to the end",
         {{0, true, 0, 0}, {500, false, 15, 15}, {700, true, 0, 15}, {900, true, 6, 21}, {1000, false, 9, 24}},
         4000, 24,
         {"the camera was disconnected at 0.5 s for 0.2 s; 15 frames before, 9 after",
          "the camera was disconnected at 1.0 s and was not back 3.0 s later; 24 frames before"}},
    };
    for (const AbsenceCase& c : cases) {
        SCOPED_TRACE(c.what);
        const Clock::time_point t0{};
        Disconnections absences;
        absences.start(t0, c.looks.front().index);
        for (const Look& look : c.looks)
            absences.look(t0 + std::chrono::milliseconds(look.ms), look.connected, look.index, look.frames);
        EXPECT_EQ(absences.any(), !c.report.empty());
        EXPECT_EQ(absences.away(), !c.looks.back().connected);
        EXPECT_EQ(absences.report(t0 + std::chrono::milliseconds(c.endMs), c.frames), c.report);
    }
}

}  // namespace
}  // namespace qdx::viewer
