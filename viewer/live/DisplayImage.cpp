#include "DisplayImage.h"

#include "FrameConversion.h"

namespace qdx::viewer {

namespace {

auto blackPicture()
{
    auto pixels = std::make_unique_for_overwrite<uint8_t[]>(kDisplayBytes);
    fillPixels(pixels.get(), kDisplayBytes / kDisplayPixelBytes, Bgr{0, 0, 0});
    return pixels;
}

}  // namespace

DisplayImage::DisplayImage() : buffers_({blackPicture()}, {blackPicture()}, {blackPicture()}) {}

void DisplayImage::fillBlue()
{
    write([](uint8_t* pixels) { fillPixels(pixels, kDisplayBytes / kDisplayPixelBytes, Bgr{255, 0, 0}); });
}

void DisplayImage::render(const uint8_t* frame, ViewOptions options)
{
    std::lock_guard writing(writer_);
    Buffer& back = buffers_.back();
    renderFrame(frame, back.pixels.get(), options, back.blackOutside100);
    back.blackOutside100 = !options.zoom200;
    buffers_.publish();
}

const uint8_t* DisplayImage::front()
{
    buffers_.take();
    return buffers_.front().pixels.get();
}

}  // namespace qdx::viewer
