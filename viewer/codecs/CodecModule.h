// Inside libqdx_codecs.so: what its table points to.
#pragma once

#include "capture/Codecs.h"

namespace qdx::viewer {

std::unique_ptr<LosslessEncoder> newFfvEncoder();
bool writeTiffPicture(std::FILE* stream, const TiffPicture& picture, std::string& why);

}  // namespace qdx::viewer
