#include "DisplayImage.h"

#include "FrameConversion.h"

namespace qdx::viewer {

namespace {

std::unique_ptr<uint8_t[]> blackPicture()
{
    auto pixels = std::make_unique_for_overwrite<uint8_t[]>(kDisplayBytes);
    fillPixels(pixels.get(), kDisplayBytes / kDisplayPixelBytes, Bgr{0, 0, 0});
    return pixels;
}

}  // namespace

DisplayImage::DisplayImage() : buffers_(blackPicture(), blackPicture(), blackPicture()) {}

void DisplayImage::fillBlue()
{
    write([](uint8_t* pixels) { fillPixels(pixels, kDisplayBytes / kDisplayPixelBytes, Bgr{255, 0, 0}); });
}

const uint8_t* DisplayImage::front()
{
    buffers_.take();
    return buffers_.front().get();
}

}  // namespace qdx::viewer
