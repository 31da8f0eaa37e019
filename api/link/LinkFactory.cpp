#include <cstdlib>
#include <cstring>

#include "link/Link.h"
#include "link/LinkFactory.h"

namespace qdx {

std::unique_ptr<Link> makeLinkFromEnvironment()
{
    const char* camera = std::getenv("QDX_CAMERA");
    if (camera && std::strcmp(camera, "sim") == 0)
        return makeSimLink();
    return makeUsbLink();
}

}  // namespace qdx
