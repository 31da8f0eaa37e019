// qdx-rtsp's command line.
#pragma once

#include <string>

namespace qdx::rtsp {

enum class Encoder { Mjpeg, H264 };

struct Options {
    int port = 8554;  // 0: a free port the system picks (the URL printed says which)
    std::string path = "/camera";
    std::string bind = "127.0.0.1";
    Encoder encoder = Encoder::Mjpeg;
    std::string credentials;  // file of user:password lines; empty: no authentication
    std::string cert;         // PEM certificate; empty: plain rtsp
    std::string key;          // PEM private key; empty: in the certificate's file
    bool help = false;
    bool version = false;
};

// Parses argv; false with why (naming the argument) for anything not
// understood, which the caller reports with exit status 2.
bool parseOptions(int argc, char** argv, Options& options, std::string& why);

const char* usage();

}  // namespace qdx::rtsp
