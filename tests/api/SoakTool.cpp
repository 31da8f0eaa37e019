// qdx_soak [cycles] [frame interval in us, 0 unpaced]: the soak test's run
// for longer, with its figures printed. Uses the simulated camera.
#include <cstdlib>

#include "api/Soak.h"

namespace {

void printTimes(const char* what, std::vector<double> ms)
{
    if (ms.empty()) {
        std::printf("%s: none\n", what);
        return;
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%s noticed in ms: min %.1f, median %.1f, 99%% %.1f, max %.1f\n", what, ms.front(), ms[ms.size() / 2],
                ms[ms.size() * 99 / 100], ms.back());
}

}  // namespace

int main(int argc, char** argv)
{
    setenv("QDX_CAMERA", "sim", 1);
    qdx::test::SoakOptions options;
    options.cycles = argc > 1 ? std::atoi(argv[1]) : 1000;
    options.frameIntervalUs = argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 33333;
    QDXSim_Reset();
    QDXSim_SetScene(3);
    const auto r = qdx::test::runSoak(options);
    std::printf("cycles %d of %d, frames %ld, bad frames %ld, requests %ld\n", r.cycles, options.cycles, r.frames,
                r.badFrames, r.requests);
    printTimes("unplug", r.unplugMs);
    printTimes("plug-in", r.plugMs);
    std::printf("open fds %ld -> %ld, resident %ld KiB -> %ld KiB\n", r.fdsBefore, r.fdsAfter, r.rssKbBefore,
                r.rssKbAfter);
    return r.cycles == options.cycles && r.badFrames == 0 ? 0 : 1;
}
