#include "PanelUpdate.h"

#include <algorithm>

namespace qdx::viewer {

bool PanelUpdate::empty() const
{
    return entries.empty() && !cisMemoryValid && !vfpnAvailable && !deviceProblem && !cameraOpen &&
           std::none_of(cameraInfo.begin(), cameraInfo.end(), [](const auto& line) { return line.has_value(); });
}

}  // namespace qdx::viewer
