// Raw frames on standard output for other programs (ffmpeg -f rawvideo,
// numpy): `grab - --raw` writes one frame, `record - --raw` writes frames
// until its time is up, a stop signal comes or the reader closes the pipe.
// Only whole frames are written, each one whole; every message goes to
// stderr, so stdout holds nothing but frame bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>

#include "Command.h"

namespace qdx::ctl {

// How a frame is laid out on the pipe.
enum class RawLayout {
    Wire,  // the QDX_FRAME_BYTES received, markers and all (as a .raw file)
    Y16,   // side x side 12-bit luma values (0..4095), one 16-bit little-endian word each
};

// The bytes of one frame in layout; side (400 or 404) counts for Y16 only.
std::size_t rawFrameBytes(RawLayout layout, int side);
// A whole camera frame in layout: the frame itself for Wire, else packed
// into out (rawFrameBytes long).
std::span<const uint8_t> packFrame(const uint8_t* frame, RawLayout layout, int side, std::span<uint8_t> out);

// Where the frames go: the process's stdout (fd 1) when out is std::cout,
// else out itself (an in-process run).
class FrameSink {
public:
    explicit FrameSink(std::ostream& out);

    bool terminal() const;
    // Whether there is a stdout at all: a closed fd 1 would be given to the
    // next file the library opens, and the frames would go there.
    bool open() const;

    enum class Wrote {
        Whole,    // all the bytes
        Stopped,  // a stop signal came before the first byte: nothing written
        Closed,   // the reader went away (EPIPE)
        Cut,      // a stop signal came and the reader took nothing more for a while: the frame is cut short
        Failed,   // any other error, in why
    };
    // The bytes whole. A stop signal ends the wait for a reader that takes
    // nothing, but a frame already begun is finished while the reader takes it.
    Wrote write(std::span<const uint8_t> bytes, std::size_t& done, std::string& why);

private:
    std::ostream& out_;
    int fd_ = -1;  // 1, or -1 for out_
};

// Whether a grab or record asks for --raw (or --layout): it then goes to
// grabToPipe or recordToPipe. A grab to "-" without it writes a picture.
bool wantsRawPipe(const Arguments& arguments);

int grabToPipe(Context& context, const Arguments& arguments);
int recordToPipe(Context& context, const Arguments& arguments);

}  // namespace qdx::ctl
