#include "ControlChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

#include "ControlCommand.h"
#include "SimBus.h"

namespace qdx::sim {
namespace {

// More clients at once are told so and closed.
constexpr std::size_t kMostClients = 16;

std::string errorText(int error)
{
    return std::generic_category().message(error);
}

// Whether a process still accepts on the socket at address. Non-blocking:
// a listener with a full backlog answers EAGAIN, and is there.
bool served(const sockaddr_un& address)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    const int result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int error = errno;
    ::close(fd);
    return result == 0 || error == EAGAIN || error == EINPROGRESS;
}

// All of text or nothing: a client that does not read its replies is not
// waited for (false, and it is dropped).
bool sendLine(int fd, const std::string& text)
{
    const std::string line = text + "\n";
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::send(fd, line.data() + done, line.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

struct Client {
    int fd = -1;
    std::string pending;      // bytes of the line not yet ended
    bool discarding = false;  // the rest of a line too long, up to its newline
};

// Reads what the client sent and answers each whole line; false when the
// client is done (closed, failed, or not reading its replies).
bool serveClient(Client& client, SimBus& bus)
{
    char buffer[1024];
    const ssize_t n = ::recv(client.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0)
        return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    if (n == 0) {
        // A last line without its newline still counts.
        if (!client.discarding && !client.pending.empty()) {
            const std::string reply = runControlLine(client.pending, bus);
            if (!reply.empty())
                sendLine(client.fd, reply);
        }
        return false;
    }
    client.pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; (end = client.pending.find('\n', start)) != std::string::npos; start = end + 1) {
        if (client.discarding) {
            client.discarding = false;
            continue;
        }
        const std::string reply = runControlLine(std::string_view(client.pending).substr(start, end + 1 - start), bus);
        if (!reply.empty() && !sendLine(client.fd, reply))
            return false;
    }
    client.pending.erase(0, start);
    if (client.pending.size() >= kControlLineMax) {
        if (!client.discarding &&
            !sendLine(client.fd, "error line too long (at most " + std::to_string(kControlLineMax - 1) + " characters)"))
            return false;
        client.discarding = true;
        client.pending.clear();
    }
    return true;
}

}  // namespace

std::unique_ptr<ControlChannel> ControlChannel::openFromEnvironment(SimBus& bus)
{
    const char* path = std::getenv("QDX_SIM_CONTROL");
    if (!path || !*path)
        return nullptr;
    return open(path, bus);
}

std::unique_ptr<ControlChannel> ControlChannel::open(const std::string& path, SimBus& bus)
{
    const auto refuse = [&](const std::string& why) {
        std::fprintf(stderr, "QDX: QDX_SIM_CONTROL=\"%s\" %s: the simulated camera takes no commands from outside\n",
                     path.c_str(), why.c_str());
        return std::unique_ptr<ControlChannel>();
    };
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return refuse("is longer than a socket's path may be (" + std::to_string(sizeof address.sun_path - 1) +
                      " bytes)");
    std::memcpy(address.sun_path, path.data(), path.size());

    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (!S_ISSOCK(st.st_mode))
            return refuse("exists and is not a socket: left alone");
        if (served(address))
            return refuse("is a socket another process serves: left alone");
        // Left behind by a process that ended without removing it.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            return refuse("is a socket left behind that cannot be removed (" + errorText(errno) + ")");
    } else if (errno != ENOENT) {
        return refuse("cannot be looked at (" + errorText(errno) + ")");
    }

    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return refuse("cannot be made (" + errorText(errno) + ")");
    const auto fail = [&](const std::string& what, bool made) {
        const int error = errno;
        ::close(fd);
        if (made)
            ::unlink(path.c_str());
        return refuse(what + " (" + errorText(error) + ")");
    };
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return fail("cannot be made", false);
    // Only this user may unplug the camera.
    if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, static_cast<int>(kMostClients)) != 0 ||
        ::lstat(path.c_str(), &st) != 0)
        return fail("cannot be made", true);
    const int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0)
        return fail("cannot be served", true);

    std::unique_ptr<ControlChannel> channel(new ControlChannel(path, bus, fd, wake, st.st_dev, st.st_ino));
    try {
        channel->thread_ = std::thread(&ControlChannel::serve, channel.get());
    } catch (const std::system_error& error) {
        channel.reset();  // removes the socket
        return refuse(std::string("cannot be served (") + error.what() + ")");
    }
    return channel;
}

ControlChannel::ControlChannel(std::string path, SimBus& bus, int listenFd, int wakeFd, dev_t device, ino_t inode)
    : path_(std::move(path)), bus_(bus), listenFd_(listenFd), wakeFd_(wakeFd), device_(device), inode_(inode)
{
}

ControlChannel::~ControlChannel()
{
    if (thread_.joinable()) {
        const uint64_t one = 1;
        while (::write(wakeFd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
        thread_.join();
    }
    ::close(wakeFd_);
    ::close(listenFd_);
    // Another process may have put its own socket there meanwhile.
    struct stat st {};
    if (::lstat(path_.c_str(), &st) == 0 && st.st_dev == device_ && st.st_ino == inode_)
        ::unlink(path_.c_str());
}

void ControlChannel::serve()
{
    pthread_setname_np(pthread_self(), "qdx-sim-control");
    std::vector<Client> clients;
    std::vector<pollfd> polled;
    for (;;) {
        polled.assign({{wakeFd_, POLLIN, 0}, {listenFd_, POLLIN, 0}});
        for (const Client& client : clients)
            polled.push_back({client.fd, POLLIN, 0});
        if (::poll(polled.data(), polled.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            std::fprintf(stderr, "QDX: the simulated camera's control channel stopped (%s)\n",
                         errorText(errno).c_str());
            break;
        }
        if (polled[0].revents != 0)
            break;
        // Clients first, by the poll's own order; then the new ones.
        for (std::size_t i = clients.size(); i-- > 0;) {
            if (polled[i + 2].revents == 0 || serveClient(clients[i], bus_))
                continue;
            ::close(clients[i].fd);
            clients.erase(clients.begin() + static_cast<std::ptrdiff_t>(i));
        }
        if (polled[1].revents & POLLIN) {
            const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (fd >= 0 && clients.size() >= kMostClients) {
                sendLine(fd, "error too many connections (at most " + std::to_string(kMostClients) + ")");
                ::close(fd);
            } else if (fd >= 0) {
                clients.push_back({fd, {}, false});
            }
        }
    }
    for (const Client& client : clients)
        ::close(client.fd);
}

std::string runControlLine(std::string_view line, SimBus& bus)
{
    const ControlLine parsed = parseControlLine(line);
    if (!parsed.command)
        return parsed.error.empty() ? std::string() : "error " + parsed.error;
    const ControlCommand& c = *parsed.command;
    const auto arg = [&](std::size_t i) { return static_cast<int>(c.args[i]); };
    SimCamera& first = bus.camera(0);
    switch (c.verb) {
    case ControlVerb::Unplug:
    case ControlVerb::Replug:
        bus.camera(arg(0)).setPlugged(c.verb == ControlVerb::Replug);
        break;
    case ControlVerb::Stall:
    case ControlVerb::Resume:
        first.setStalled(c.verb == ControlVerb::Stall);
        break;
    case ControlVerb::Inject:
        first.injectFrames(static_cast<FrameFault>(arg(0)), arg(1));
        break;
    case ControlVerb::Fps: {
        const std::chrono::microseconds interval(c.rate == 0 ? 0 : std::llround(1e6 / c.rate));
        for (int i = 0; i < kSimCameraCount; ++i)
            bus.camera(i).setFrameInterval(interval);
        break;
    }
    case ControlVerb::Scene:
        first.withModel([&](CameraModel& model) { model.setScene(static_cast<SceneKind>(arg(0))); });
        break;
    case ControlVerb::Fail:
        first.failRequests(arg(0), arg(1), arg(2));
        break;
    case ControlVerb::Memory:
        // "own": back to the memory's own state, as statusReads 0 does.
        first.withModel([&](CameraModel& model) {
            if (arg(1) < 0)
                model.overrideMemoryState(arg(0), 0, 0);
            else
                model.overrideMemoryState(arg(0), arg(1), arg(2));
        });
        break;
    case ControlVerb::Cis:
        first.withModel([&](CameraModel& model) { model.setCisPresent(arg(0) != 0); });
        break;
    case ControlVerb::Access:
        bus.camera(arg(1)).setAccess(static_cast<Access>(arg(0)));
        break;
    case ControlVerb::Register:
        if (arg(1) < 0)
            return "ok " + std::to_string(first.withModel([&](CameraModel& model) { return model.reg(arg(0)); }));
        first.withModel(
            [&](CameraModel& model) { model.setRegister(arg(0), static_cast<uint16_t>(arg(1)), true); });
        break;
    case ControlVerb::Reset:
        bus.reset();
        break;
    case ControlVerb::Status: {
        const SimCamera::Outside o = first.outside();
        return "ok plugged " + std::to_string(o.plugged) + " open " + std::to_string(o.attached) + " stalled " +
               std::to_string(o.stalled) + " delivered " + std::to_string(o.stats.delivered) + " dropped " +
               std::to_string(o.stats.dropped) + " abandoned " + std::to_string(o.stats.abandoned);
    }
    case ControlVerb::Help:
        return "ok " + std::string(controlHelp());
    }
    return "ok";
}

}  // namespace qdx::sim
