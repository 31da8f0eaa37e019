#include "RequestLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace qdx::sim {
namespace {

// The log's descriptor, -1 without one; opened at the first request and kept
// for the life of the process.
int logFile()
{
    static const int fd = [] {
        const char* path = std::getenv("QDX_SIM_REQUEST_LOG");
        if (!path || !*path)
            return -1;
        const int opened = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (opened < 0)
            std::fprintf(stderr, "QDX: QDX_SIM_REQUEST_LOG \"%s\": %s; no requests are logged\n", path,
                         std::strerror(errno));
        return opened;
    }();
    return fd;
}

}  // namespace

void logRequest(const SetupPacket& setup, const uint8_t* data)
{
    const int fd = logFile();
    if (fd < 0)
        return;
    const uint8_t head[8] = {setup.bmRequestType, setup.bRequest,
                             static_cast<uint8_t>(setup.wValue), static_cast<uint8_t>(setup.wValue >> 8),
                             static_cast<uint8_t>(setup.wIndex), static_cast<uint8_t>(setup.wIndex >> 8),
                             static_cast<uint8_t>(setup.wLength), static_cast<uint8_t>(setup.wLength >> 8)};
    std::string line;
    char hex[4];
    const auto append = [&](uint8_t byte) {
        std::snprintf(hex, sizeof hex, "%02X", byte);
        if (!line.empty())
            line += ' ';
        line += hex;
    };
    for (const uint8_t byte : head)
        append(byte);
    if (!setup.isDeviceToHost() && data)
        for (std::size_t i = 0; i < setup.wLength; ++i)
            append(data[i]);
    line += '\n';
    // A failed write loses a line of a test aid; the camera goes on.
    [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
}

}  // namespace qdx::sim
