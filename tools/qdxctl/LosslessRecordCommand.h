// record FILE.mkv: the camera's 12-bit frames losslessly (FFV1 in Matroska),
// each at its arrival time.
#pragma once

#include <string>

#include "Command.h"

namespace qdx::ctl {

// After record's own checks: path ends in .mkv, seconds > 0. json: the summary as JSON.
int runLosslessRecord(Context& context, const std::string& path, double seconds, bool border, bool json);

}  // namespace qdx::ctl
