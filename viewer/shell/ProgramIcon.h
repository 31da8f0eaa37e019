// The program's icon, drawn from its SVG at the usual sizes.
#pragma once

#include <QIcon>

namespace qdx::viewer {

QIcon programIcon();

}  // namespace qdx::viewer
