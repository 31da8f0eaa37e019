// The camera frame (404 x 404, per pixel pair the 16-bit little-endian words
// Cb Y0 Cr Y1, values in the top 12 bits) in the formats qdxsrc offers, each
// written in one pass straight into the caller's planes. The picture starts
// at an even column (0 or 2), so chroma pairs stay whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qdx::gst {

enum class OutputFormat { I422_12LE, Gray16LE, Uyvy, Bgrx };

// Where to write: up to three planes and their strides in bytes.
struct Planes {
    uint8_t* data[3] = {};
    std::size_t stride[3] = {};
};

// side: 404 (the whole frame) or 400 (the picture without its 2-pixel border).
// I422_12LE: Y, U, V at 0..4095 (lossless). GRAY16_LE: the luma words as the
// camera sends them (lossless). UYVY and BGRx: 8 bits, as the viewer shows them
// (its vector kernels).
void convertFrame(const uint8_t* frame, int side, OutputFormat format, const Planes& out);

}  // namespace qdx::gst
