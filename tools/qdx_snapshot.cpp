// qdx_snapshot: takes one frame from the camera and writes it as a PPM
// picture (colour for data format 0, grey for data format 1).
//
//   qdx_snapshot out.ppm [--format 0|1] [--frames N] [--reg R=V ...]
//
// --frames waits for N frames first (automatic controls settle); --reg writes
// FPGA registers before the frame is taken. QDX_CAMERA=sim takes the frame
// from the simulated camera.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "QDX_API.h"
#include "core/AtomicFile.h"
#include "core/RegularFile.h"

namespace {

int clamp8(int v)
{
    return v < 0 ? 0 : (v > 255 ? 255 : v);
}

unsigned word(const std::vector<uint8_t>& frame, std::size_t i)
{
    return frame[2 * i] | (frame[2 * i + 1] << 8);
}

bool waitForIndex(int wanted)
{
    for (int i = 0; i < 10000; ++i) {
        int index = 0;
        QDX_GetIndex(&index);
        if (index >= wanted)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s out.ppm [--format 0|1] [--frames N] [--reg R=V ...]\n", argv[0]);
        return 2;
    }
    const char* path = argv[1];
    int format = 0, frames = 3;
    std::vector<std::pair<int, int>> registers;
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        if (option == "--format")
            format = std::atoi(argv[i + 1]);
        else if (option == "--frames")
            frames = std::atoi(argv[i + 1]);
        else if (option == "--reg") {
            int r = 0, v = 0;
            if (std::sscanf(argv[i + 1], "%i=%i", &r, &v) == 2)
                registers.emplace_back(r, v);
        }
    }

    // A target that may not be written is refused before the camera is touched.
    std::string why;
    if (!qdx::viewer::checkWriteTarget(path, why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }

    QDX_Init();
    int status = 0;
    for (int i = 0; i < 3000 && status == 0; ++i) {
        QDX_GetStatus(&status);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!status) {
        std::fprintf(stderr, "no camera\n");
        QDX_Term();
        return 1;
    }
    QDX_Set_DataFormat(format);
    for (auto [r, v] : registers) {
        const unsigned char bytes[2] = {static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
        QDX_DeviceWrite(0, r, 2, bytes);
    }
    int start = 0;
    QDX_GetIndex(&start);
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    unsigned length = 0;
    if (!waitForIndex(start + frames) || QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length) < 0 ||
        length != QDX_FRAME_BYTES) {
        std::fprintf(stderr, "no whole frame\n");
        QDX_Term();
        return 1;
    }
    QDX_Term();

    char header[32];
    std::snprintf(header, sizeof header, "P6\n%d %d\n255\n", QDX_FRAME_WIDTH, QDX_FRAME_HEIGHT);
    std::string picture = header;
    std::vector<uint8_t> row(QDX_FRAME_WIDTH * 3);
    for (int y = 0; y < QDX_FRAME_HEIGHT; ++y) {
        for (int x = 0; x < QDX_FRAME_WIDTH; x += 2) {
            const std::size_t g = static_cast<std::size_t>(y) * QDX_FRAME_WIDTH * 2 + static_cast<std::size_t>(x) * 2;
            const int cb = static_cast<int>(word(frame, g) >> 4) - 2048;
            const int cr = static_cast<int>(word(frame, g + 2) >> 4) - 2048;
            const int ys[2] = {static_cast<int>(word(frame, g + 1) >> 4), static_cast<int>(word(frame, g + 3) >> 4)};
            for (int k = 0; k < 2; ++k) {
                uint8_t* px = &row[static_cast<std::size_t>(x + k) * 3];
                if (format == 1) {
                    px[0] = px[1] = px[2] = static_cast<uint8_t>(word(frame, g + 1 + 2 * k) >> 8);
                    continue;
                }
                const int yv = ys[k] * 65536;
                px[0] = static_cast<uint8_t>(clamp8((yv + 91894 * cr) >> 20));
                px[1] = static_cast<uint8_t>(clamp8((yv - 46825 * cr - 22649 * cb) >> 20));
                px[2] = static_cast<uint8_t>(clamp8((yv + 116064 * cb) >> 20));
            }
        }
        picture.append(row.begin(), row.end());
    }
    qdx::viewer::AtomicFile out;
    if (!out.open(path, why) || !out.write(picture, why) || !out.commit(why)) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    return 0;
}
