// Rebuilds a finished AVI file from one cut anywhere (a recording killed
// outright, a power cut, a copy broken off): the frames are taken from the
// movi chunks in file order, whatever the sizes and indexes say, and written
// again by AviWriter, so the result has the writer's own headers, standard
// and super index and idx1. A whole file comes back byte for byte.
//
// Qt-free.
#pragma once

#include <cstdint>
#include <string>

#include "AviWriter.h"

namespace qdx::viewer {

struct AviRepairReport {
    uint32_t frames = 0;  // whole frames recovered
    int32_t width = 0, height = 0;
    uint32_t rate = 0, scale = 1;  // as the header says (rate / scale frames a second)
};

// Reads input (a regular file) and writes the rebuilt file to output through
// AtomicFile: written beside and renamed over, so output may be input itself
// and a failure leaves whatever was there. The walk stops at the first chunk
// that does not fit in the file or is no part of an AVI movie; chunks that
// hold no JPEG picture are passed over. Limits as the file was written with
// (the format's own by default), so that segments split where they did.
// False, with why, when the input cannot be read or holds no AVI header or
// no whole frame, or the output cannot be written; output is then untouched.
bool repairAvi(const std::string& input, const std::string& output, AviRepairReport& report, std::string& why,
               AviWriter::Limits limits = {});

}  // namespace qdx::viewer
