// The simulated camera's control channel (QDX_SIM_CONTROL) as a test reaches
// it, the way a shell user does with socat: a line out, a line back.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>

namespace qdx::test {

// One connection, with every read bounded (10 s): a silent channel fails the
// test instead of hanging it.
class ControlClient {
public:
    explicit ControlClient(const std::string& path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (path.size() >= sizeof address.sun_path)
            return;
        std::memcpy(address.sun_path, path.data(), path.size());
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~ControlClient()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    ControlClient(const ControlClient&) = delete;
    ControlClient& operator=(const ControlClient&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool write(const std::string& bytes)
    {
        return fd_ >= 0 && ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // The next line the channel sends, without its newline; empty at its end.
    std::string readLine()
    {
        for (std::size_t end; fd_ >= 0;) {
            if ((end = buffer_.find('\n')) != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                return line;
            }
            pollfd p{fd_, POLLIN, 0};
            char chunk[512];
            const ssize_t n = ::poll(&p, 1, 10000) == 1 ? ::recv(fd_, chunk, sizeof chunk, 0) : -1;
            if (n <= 0)
                break;
            buffer_.append(chunk, static_cast<std::size_t>(n));
        }
        return {};
    }
    // The line, then the reply; a refusal the channel sent before it closed is still read.
    std::string send(const std::string& line)
    {
        write(line + "\n");
        return readLine();
    }
    // Says that nothing more comes (a shell's end of input).
    void endWriting() { ::shutdown(fd_, SHUT_WR); }

private:
    int fd_ = -1;
    std::string buffer_;
};

// One command on a connection of its own; empty when the channel is not there.
inline std::string controlCommand(const std::string& path, const std::string& line)
{
    ControlClient client(path);
    return client.send(line);
}

// "ok plugged 1 open 1 ..." as its pairs; empty when there is no such reply.
inline std::map<std::string, long long> controlStatus(const std::string& path)
{
    std::istringstream words(controlCommand(path, "status"));
    std::map<std::string, long long> fields;
    std::string ok, name;
    long long value = 0;
    if (words >> ok && ok == "ok")
        while (words >> name >> value)
            fields[name] = value;
    return fields;
}

// Looks until pred holds, at most a minute (a safety net, never the criterion).
inline bool lookUntil(const std::function<bool()>& pred)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

}  // namespace qdx::test
