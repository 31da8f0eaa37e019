// Test helper: runs the display conversion on a frame file and writes the
// display image (4 bytes a pixel, FrameLayout.h), or saves the still picture
// file, or the 16-bit still with made-up facts, so that an independent script
// can check it.
//   qdx_render_frame FRAME OUT zoom200(0|1) grey(0|1) showBoundary(0|1)
//   qdx_render_frame --bmp|--still16 FRAME OUT.bmp|OUT.png|.tif|.pgm|.ppm grey(0|1) showBoundary(0|1)
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture/BmpFile.h"
#include "capture/CaptureImage.h"
#include "capture/Still16.h"
#include "live/FrameConversion.h"
#include "live/FrameLayout.h"

int main(int argc, char** argv)
{
    using namespace qdx::viewer;
    const bool bmp = argc == 6 && std::string(argv[1]) == "--bmp";
    const bool still16 = argc == 6 && std::string(argv[1]) == "--still16";
    if (bmp || still16) {
        ++argv;
        --argc;
    }
    if (argc != (bmp || still16 ? 5 : 6)) {
        std::fprintf(stderr, "usage: %s FRAME OUT zoom200 grey showBoundary\n"
                             "       %s --bmp|--still16 FRAME OUT grey showBoundary\n", argv[0], argv[0]);
        return 2;
    }
    std::vector<uint8_t> frame(kFrameBytes);
    std::FILE* in = std::fopen(argv[1], "rb");
    if (!in || std::fread(frame.data(), 1, frame.size(), in) != frame.size()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    std::fclose(in);
    if (still16) {
        const bool grey = std::atoi(argv[3]) != 0;
        const int side = captureSide(std::atoi(argv[4]) != 0);
        // An index beyond 32 bits, and an arrival whose last nanosecond a rounding would lose.
        const StillFacts facts{123456789012, 987654321012345, 1765240000000000001, "render_frame",
                               {{"exposure", 400}, {"mode", 3}}};
        const auto kind = still16KindOf(argv[2]);
        std::string why = "not a 16-bit picture file";
        if (!kind || !saveStill16(argv[2], *kind, frame.data(), grey, side, facts, why)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            return 1;
        }
        return 0;
    }
    if (bmp) {
        const int side = captureSide(std::atoi(argv[4]) != 0);
        std::vector<uint8_t> picture(kCaptureBytes, 0xA5);
        convertToCapture(picture.data(), frame.data(), std::atoi(argv[3]) != 0, side);
        std::string why;
        if (!saveBmp(argv[2], picture.data(), side, why)) {
            std::fprintf(stderr, "%s\n", why.c_str());
            return 1;
        }
        return 0;
    }
    // Stale content must not survive the conversion.
    std::vector<uint8_t> image(kDisplayBytes, 0xA5);
    renderFrame(frame.data(), image.data(),
                ViewOptions{std::atoi(argv[3]) != 0, std::atoi(argv[4]) != 0, std::atoi(argv[5]) != 0});
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out || std::fwrite(image.data(), 1, image.size(), out) != image.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
