// Test helper: saves the 16-bit still of a frame file with made-up facts, so
// that an independent script can check its samples and text.
//   qdx_write_still16 FRAME OUT grey(0|1) showBoundary(0|1)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture/CaptureImage.h"
#include "capture/Still16.h"
#include "live/FrameLayout.h"
#include "live/FullPrecision.h"

int main(int argc, char** argv)
{
    using namespace qdx::viewer;
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s FRAME OUT grey showBoundary\n", argv[0]);
        return 2;
    }
    std::vector<uint8_t> frame(kFrameBytes);
    std::FILE* in = std::fopen(argv[1], "rb");
    if (!in || std::fread(frame.data(), 1, frame.size(), in) != frame.size()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::fclose(in);
    const bool grey = std::atoi(argv[3]) != 0;
    const int side = captureSide(std::atoi(argv[4]) != 0);
    const auto kind = still16KindOf(argv[2]);
    if (!kind) {
        std::fprintf(stderr, "%s: not a 16-bit picture file\n", argv[2]);
        return 2;
    }
    std::vector<uint16_t> samples(fullPrecisionSamples(grey, side), 0xA5A5);
    convertFullPrecision(samples.data(), frame.data(), grey, side);
    // Beyond 32 bits, and a moment with nanoseconds that a rounding would lose.
    const StillFacts facts{123456789012, 987654321012345, 1765240000000000001, "write_still16",
                           {{"exposure", 400}, {"mode", 3}}};
    std::string why;
    if (!saveStill16(argv[2], *kind, samples.data(), side, grey, facts, why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    return 0;
}
