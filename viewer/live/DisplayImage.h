// The 808 x 808 picture the pages show, in three buffers so that a repaint
// never sees a half-written picture and the writer never waits for a repaint:
// writers fill the back buffer and publish it; the GUI thread picks up the
// newest published one as its front buffer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>

#include "FrameLayout.h"

namespace qdx::viewer {

class DisplayImage {
public:
    DisplayImage();  // black

    // Any thread: fill(pixels) writes a whole picture (kDisplayBytes, rows top
    // first) into the back buffer, which is then published. Writers take
    // turns; fill must not call back into this image.
    template <typename Fill>
    void write(Fill&& fill)
    {
        std::lock_guard writing(writer_);
        fill(buffers_[back_].get());
        publishBack();
    }

    // Paints the whole picture pure blue (red 0, green 0, blue 255). Any thread.
    void fillBlue();

    // GUI thread only (the single reader): the newest published picture,
    // valid and unchanged until the next call.
    const uint8_t* front();

private:
    void publishBack();  // caller holds writer_

    std::array<std::unique_ptr<uint8_t[]>, 3> buffers_;
    std::mutex writer_;  // Protects back_ and the back buffer's pixels
    std::mutex swap_;    // Protects ready_ and fresh_
    int back_ = 0;
    int ready_ = 1;
    bool fresh_ = false;  // ready_ holds a picture the reader has not taken
    int front_ = 2;       // reader's own
};

}  // namespace qdx::viewer
