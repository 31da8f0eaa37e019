#pragma once

#include <memory>

#include "link/Link.h"

namespace qdx {

// QDX_CAMERA=sim selects the simulated camera; anything else the USB camera.
std::unique_ptr<Link> makeLinkFromEnvironment();

}  // namespace qdx
