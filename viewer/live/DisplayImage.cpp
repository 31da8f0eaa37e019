#include "DisplayImage.h"


namespace qdx::viewer {

namespace {

std::unique_ptr<uint8_t[]> blackPicture()
{
    return std::make_unique<uint8_t[]>(kDisplayBytes);  // value-initialised: black
}

}  // namespace

DisplayImage::DisplayImage() : buffers_(blackPicture(), blackPicture(), blackPicture()) {}

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

const uint8_t* DisplayImage::front()
{
    buffers_.take();
    return buffers_.front().get();
}

}  // namespace qdx::viewer
