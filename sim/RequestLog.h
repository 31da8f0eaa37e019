// QDX_SIM_REQUEST_LOG=FILE: every control transfer camera 0 receives is
// appended to FILE as one line, so that a test can tell from outside a
// process what a program sent the camera, or that it sent nothing.
#pragma once

#include <cstdint>

#include "protocol/VendorRequests.h"

namespace qdx::sim {

// Appends "40 19 00 00 05 00 02 00 12 34": the 8 setup bytes as they travel,
// then, for a host-to-device transfer, its data bytes; all in hex. Nothing
// when the variable is unset; a file that cannot be opened is said once on
// stderr. Any thread: each line goes out in one append.
void logRequest(const SetupPacket& setup, const uint8_t* data);

}  // namespace qdx::sim
