// Reads "QDX_Viewer.ini" and writes both keys back, so that the file and its
// keys exist after every start. GUI thread.
#pragma once

#include <QString>

#include "ViewerConfig.h"

namespace qdx::viewer {

// A missing or unreadable file gives the defaults; a failing write-back is
// not reported.
ViewerConfig loadAndWriteBackConfig(const QString& path);

}  // namespace qdx::viewer
