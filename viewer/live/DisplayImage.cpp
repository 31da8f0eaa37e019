#include "DisplayImage.h"

#include <utility>

namespace qdx::viewer {

DisplayImage::DisplayImage()
{
    for (auto& buffer : buffers_)
        buffer = std::make_unique<uint8_t[]>(kDisplayBytes);  // value-initialised: black
}

void DisplayImage::fillBlue()
{
    write([](uint8_t* pixels) {
        for (std::size_t i = 0; i < kDisplayBytes; i += 3) {
            pixels[i] = 255;
            pixels[i + 1] = 0;
            pixels[i + 2] = 0;
        }
    });
}

void DisplayImage::publishBack()
{
    std::lock_guard swapping(swap_);
    std::swap(back_, ready_);
    fresh_ = true;
}

const uint8_t* DisplayImage::front()
{
    std::lock_guard swapping(swap_);
    if (fresh_) {
        std::swap(front_, ready_);
        fresh_ = false;
    }
    return buffers_[front_].get();
}

}  // namespace qdx::viewer
