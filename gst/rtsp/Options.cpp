#include "Options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>

namespace qdx::rtsp {

namespace {

bool parsePort(const char* text, int& port)
{
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 0 || value > 65535)
        return false;
    port = static_cast<int>(value);
    return true;
}

}  // namespace

bool parseOptions(int argc, char** argv, Options& options, std::string& why)
{
    static const option kLong[] = {
        {"port", required_argument, nullptr, 'p'},
        {"path", required_argument, nullptr, 'P'},
        {"bind", required_argument, nullptr, 'b'},
        {"encoder", required_argument, nullptr, 'e'},
        {"credentials", required_argument, nullptr, 'c'},
        {"cert", required_argument, nullptr, 'C'},
        {"key", required_argument, nullptr, 'k'},
        {"help", no_argument, nullptr, 'h'},
        {"version", no_argument, nullptr, 'V'},
        {nullptr, 0, nullptr, 0},
    };
    opterr = 0;  // our own messages, naming the argument
    optind = 1;
    for (;;) {
        // "+": stop at the first word that is not an option, which is refused.
        const int c = getopt_long(argc, argv, "+:p:b:e:c:hV", kLong, nullptr);
        if (c == -1)
            break;
        // The option as typed: getopt has moved past it; a short one in a
        // cluster (-hx) is named by its letter.
        const std::string arg = (c == '?' && optopt != 0) ? std::string("-") + static_cast<char>(optopt)
                                                           : std::string(argv[optind - 1]);
        switch (c) {
        case 'p':
            if (!parsePort(optarg, options.port)) {
                why = "--port " + std::string(optarg) + ": not a port number (0 to 65535)";
                return false;
            }
            break;
        case 'P':
            options.path = optarg;
            if (options.path.empty() || options.path[0] != '/') {
                why = "--path " + options.path + ": must start with /";
                return false;
            }
            break;
        case 'b': options.bind = optarg; break;
        case 'e':
            if (std::string(optarg) == "mjpeg") {
                options.encoder = Encoder::Mjpeg;
            } else if (std::string(optarg) == "h264") {
                options.encoder = Encoder::H264;
            } else {
                why = "--encoder " + std::string(optarg) + ": not mjpeg or h264";
                return false;
            }
            break;
        case 'c': options.credentials = optarg; break;
        case 'C': options.cert = optarg; break;
        case 'k': options.key = optarg; break;
        case 'h': options.help = true; break;
        case 'V': options.version = true; break;
        case ':': why = arg + ": needs a value"; return false;
        default: why = arg + ": unknown option"; return false;
        }
    }
    if (optind < argc) {
        why = std::string(argv[optind]) + ": unexpected argument";
        return false;
    }
    if (!options.key.empty() && options.cert.empty()) {
        why = "--key " + options.key + ": needs --cert";
        return false;
    }
    return true;
}

const char* usage()
{
    return "Usage: qdx-rtsp [OPTION]...\n"
           "Serves the camera over RTSP to any number of clients.\n"
           "\n"
           "  -p, --port PORT          TCP port (default 8554; 0: a free one)\n"
           "      --path PATH          the stream's path (default /camera)\n"
           "  -b, --bind ADDRESS       numeric address to listen on (default 127.0.0.1);\n"
           "                           any other than loopback needs --credentials\n"
           "  -e, --encoder NAME       mjpeg (default, Motion-JPEG) or h264 (x264enc)\n"
           "  -c, --credentials FILE   RTSP digest authentication: user:password lines,\n"
           "                           the file readable by its owner only (chmod 600)\n"
           "      --cert FILE          PEM certificate: serve rtsps (TLS)\n"
           "      --key FILE           its PEM private key (default: in the --cert file),\n"
           "                           readable by its owner only\n"
           "  -h, --help               this help\n"
           "  -V, --version            the version\n"
           "\n"
           "Ctrl+C or SIGTERM stops it. Exit status: 0 stopped, 1 could not serve,\n"
           "2 invalid options.\n";
}

}  // namespace qdx::rtsp
