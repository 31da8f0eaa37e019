// The 808 x 808 picture the pages show, in three buffers so that a repaint
// never sees a half-written picture and the writer never waits for a repaint:
// writers fill the back buffer and publish it; the GUI thread picks up the
// newest published one as its front buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "FrameConversion.h"
#include "FrameLayout.h"
#include "TripleBuffer.h"

namespace qdx::viewer {

class DisplayImage {
public:
    DisplayImage();  // black

    // Any thread: fill(pixels) writes a whole picture (kDisplayBytes, rows top
    // first, FrameLayout.h's pixels) into the back buffer, which is then published. Writers take
    // turns; fill must not call back into this image.
    template <typename Fill>
    void write(Fill&& fill)
    {
        std::lock_guard writing(writer_);
        Buffer& back = buffers_.back();
        fill(back.pixels.get());
        back.blackOutside100 = false;
        buffers_.publish();
    }

    // Any thread: writes and publishes the frame's picture (renderFrame),
    // clearing what lies outside a 100% picture only in a buffer that does not
    // hold black there yet, since that clear would cost more than the picture.
    void render(const uint8_t* frame, ViewOptions options);

    // Paints the whole picture pure blue (red 0, green 0, blue 255). Any thread.
    void fillBlue();

    // GUI thread only (the single reader): the newest published picture,
    // valid and unchanged until the next call.
    const uint8_t* front();
    // GUI thread only: the side of the top-left square outside of which the
    // front picture is black (kCameraSide for a 100% picture, else kDisplaySide).
    int frontPictureSide() { return buffers_.front().blackOutside100 ? kCameraSide : kDisplaySide; }

private:
    struct Buffer {
        std::unique_ptr<uint8_t[]> pixels;
        bool blackOutside100 = true;  // black right of and below a 100% picture
    };
    std::mutex writer_;  // Writers take turns: protects the back buffer
    TripleBuffer<Buffer> buffers_;
};

}  // namespace qdx::viewer
