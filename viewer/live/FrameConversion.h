// Camera frame to display image: colour or grey, 100% or 200%, and the black
// border that hides the 2 boundary pixels. Integer arithmetic only, one pass,
// no allocation; the display thread runs these for every frame it shows, so
// they run as vector code (SSSE3, AVX2 or AVX-512, whichever is fastest on
// the processor) with results identical to yuvToBgr's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qdx::viewer {

struct Bgr {
    uint8_t b, g, r;
    friend bool operator==(Bgr, Bgr) = default;
};

inline uint8_t clampToByte(int v)
{
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// One pixel from its 12-bit luma and its chroma centred on 0 (-2048..2047).
// Fixed-point 1.402, 0.714, 0.346 and 1.771 in 1/65536; the shift by 20 also
// scales 12 bits to 8. Every intermediate fits in 32 bits; >> on a negative
// value rounds towards minus infinity (C++20), as intended.
inline Bgr yuvToBgr(int y, int cb, int cr)
{
    const int base = y * 65536;
    return {clampToByte((base + 116064 * cb) >> 20), clampToByte((base - 46825 * cr - 22649 * cb) >> 20),
            clampToByte((base + 91894 * cr) >> 20)};
}

// Writes count display pixels (FrameLayout.h) of one colour from `at`.
void fillPixels(uint8_t* at, std::size_t count, Bgr colour);

// The picture routines write the picture into the display image: at 100%
// into its top-left 404 x 404 pixels, leaving the rest alone, at 200% each
// camera pixel as a 2 x 2 block over the whole image. frame is a whole
// camera frame.
void convertColour100(const uint8_t* frame, uint8_t* image);
void convertColour200(const uint8_t* frame, uint8_t* image);
void convertGrey100(const uint8_t* frame, uint8_t* image);
void convertGrey200(const uint8_t* frame, uint8_t* image);

// The capture picture (see capture/CaptureImage.h): side x side pixels from
// the frame's centre (side 404 or 400), rows stored bottom-up.
void convertCapturePicture(uint8_t* dest, const uint8_t* frame, bool grey, int side);

// The side x side picture at the frame's centre (side 404 or 400) into a
// caller's image, rows top first and `stride` bytes apart: as display pixels
// (B, G, R, 0xFF: GStreamer's BGRx), or as 8-bit UYVY, the top 8 bits of each
// word in the frame's order (Cb Y0 Cr Y1).
void convertPictureBgrx(const uint8_t* frame, int side, uint8_t* dest, std::size_t stride);
void convertPictureUyvy(const uint8_t* frame, int side, uint8_t* dest, std::size_t stride);

// Paints what lies right of and below a 100% picture black.
void blackenOutside100(uint8_t* image);

// Paint the picture's 2-pixel border black (4 display pixels at 200%); run
// after the picture routine of the same zoom.
void blackenBorder100(uint8_t* image);
void blackenBorder200(uint8_t* image);

struct ViewOptions {
    bool zoom200 = false;       // display zoom "200%"
    bool grey = false;          // calibration view
    bool showBoundary = false;  // "Display Boundary Pixels"
};

// The routines the display thread picks for the options: the whole display
// image, except that at 100% outsideIsBlack (the image holds black outside
// the picture already) skips clearing three quarters of it.
void renderFrame(const uint8_t* frame, uint8_t* image, ViewOptions options, bool outsideIsBlack = false);

// The conversions' kernels, one per instruction set. Each conversion uses the
// one that runs it fastest on this processor, timed on its first use (not at
// program start, which stays cheap), since the widest is not always the
// fastest.
enum class Kernel { Plain, Ssse3, Avx2, Avx512 };
enum class Conversion { Colour100, Colour200, Grey100, Grey200, CaptureColour, CaptureGrey, PictureBgrx, PictureUyvy };
inline constexpr int kConversions = 8;

// All of these: any thread.
const char* kernelName(Kernel kernel);
// The kernels this processor runs, widest first, the plain code last.
std::vector<Kernel> runnableKernels();
// The kernel a conversion uses (timing them now if not done yet).
Kernel chosenKernel(Conversion conversion);
// Tests and benchmarks: every conversion started from now on runs `kernel`
// (one of runnableKernels()) until forceKernel(std::nullopt).
void forceKernel(std::optional<Kernel> kernel);

}  // namespace qdx::viewer
