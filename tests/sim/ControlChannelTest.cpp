// The simulated camera steered from outside through its control channel: the
// command lines and what they do to the bus, the socket's path, and many
// clients at once.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>

#include "ControlChannel.h"
#include "ControlCommand.h"
#include "SimBus.h"
#include "SimControl.h"
#include "TempDir.h"

namespace qdx::sim {
namespace {

using qdx::test::ControlClient;
using qdx::test::TempDir;

// Guards the verbs against doing something else than their QDXSim_*
// function, against taking values out of range, and against a command that
// does not read back as itself: a script, each line with the reply it gets.
TEST(ControlChannel, EachLineDoesWhatItSaysOrSaysWhyNot)
{
    SimBus& bus = SimBus::instance();
    bus.reset();
    const std::pair<const char*, const char*> script[] = {
        {"unplug", "ok"},
        {"status", "ok plugged 0 open 0 stalled 0 delivered 0 dropped 0 abandoned 0"},
        {"  replug\t0 \r\n", "ok"},
        {"stall", "ok"},
        {"status", "ok plugged 1 open 0 stalled 1 delivered 0 dropped 0 abandoned 0"},
        {"register 0x22 4660", "ok"},
        {"register 34", "ok 4660"},
        {"inject corrupt 3", "ok"},
        {"fps 12.5", "ok"},
        {"fps 0", "ok"},
        {"scene 3", "ok"},
        {"fail any 2 1", "ok"},
        {"memory cis busy 5", "ok"},
        {"memory fx2 own", "ok"},
        {"cis off", "ok"},
        {"access denied 1", "ok"},
        {"", ""},
        {"unplug 2", "error CAMERA must be a number 0..1 (usage: unplug [CAMERA])"},
        {"scene 4", "error N must be a number 0..3 (usage: scene N)"},
        {"fps 5000", "error RATE must be 0 (unpaced) or 0.1..1000 frames/s (usage: fps RATE)"},
        {"fps nan", "error RATE must be 0 (unpaced) or 0.1..1000 frames/s (usage: fps RATE)"},
        {"inject long 3", "error expected short|corrupt (usage: inject short|corrupt N)"},
        {"stall now", "error usage: stall"},
        {"UNPLUG", "error unknown command; 'help' lists them"},
        {"unplug\x01", "error control character in the line"},
    };
    for (const auto& [line, reply] : script) {
        EXPECT_EQ(runControlLine(line, bus), reply) << "line: " << line;
        // Whatever is taken reads back as the same command.
        if (const auto parsed = parseControlLine(line).command) {
            EXPECT_EQ(parseControlLine(controlLineText(*parsed)).command, parsed) << controlLineText(*parsed);
        }
    }
    int value = 0;
    bus.camera(0).withModel([&](CameraModel& model) { value = model.reg(QDX_REG_IMAGE_FLIP); });
    EXPECT_EQ(value, 4660);
    EXPECT_EQ(bus.camera(1).access(), Access::Denied);
    EXPECT_EQ(runControlLine(std::string(kControlLineMax, 'x'), bus).rfind("error line too long", 0), 0u);
    EXPECT_EQ(runControlLine("reset", bus), "ok");
    EXPECT_EQ(runControlLine("status", bus), "ok plugged 1 open 0 stalled 0 delivered 0 dropped 0 abandoned 0");
}

enum class Before { Nothing, LeftSocket, ServedSocket, RegularFile, Fifo, Symlink };

// Guards the socket's path: a file, FIFO or link already there is never
// replaced or removed, nor a socket another process serves; a socket left by
// a process that ended is taken over; the channel's own socket goes with it.
TEST(ControlChannel, TakesOnlyAFreePathAndRemovesOnlyItsOwnSocket)
{
    const std::pair<Before, bool> cases[] = {
        {Before::Nothing, true},      {Before::LeftSocket, true}, {Before::ServedSocket, false},
        {Before::RegularFile, false}, {Before::Fifo, false},      {Before::Symlink, false},
    };
    for (const auto& [before, opens] : cases) {
        SCOPED_TRACE(static_cast<int>(before));
        TempDir dir;
        const std::string path = dir.file("control");
        int listener = -1;
        if (before == Before::LeftSocket || before == Before::ServedSocket) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            path.copy(address.sun_path, sizeof address.sun_path - 1);
            listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
            ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
            ASSERT_EQ(::listen(listener, 1), 0);
            if (before == Before::LeftSocket) {
                ::close(listener);
                listener = -1;
            }
        }
        if (before == Before::RegularFile)
            std::ofstream(path) << "keep";
        if (before == Before::Fifo) {
            ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
        }
        if (before == Before::Symlink) {
            ASSERT_EQ(::symlink(dir.file("elsewhere").c_str(), path.c_str()), 0);
        }
        struct stat st {};
        ::lstat(path.c_str(), &st);
        const mode_t kind = st.st_mode & S_IFMT;

        auto channel = ControlChannel::open(path, SimBus::instance());
        EXPECT_EQ(channel != nullptr, opens);
        if (channel) {
            EXPECT_EQ(ControlClient(path).send("scene 0"), "ok");
            channel.reset();
            EXPECT_NE(::lstat(path.c_str(), &st), 0) << "the socket stays behind";
        } else {
            ASSERT_EQ(::lstat(path.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & S_IFMT, kind);
        }
        if (before == Before::RegularFile) {
            std::ifstream in(path);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
        }
        if (listener >= 0)
            ::close(listener);
    }
    EXPECT_EQ(ControlChannel::open(std::string(200, 'p'), SimBus::instance()), nullptr);
}

// Guards the serving thread against one client holding up the others, a
// line too long taking the channel's memory or ending the connection, a last
// line without newline being dropped, and more clients than it serves.
TEST(ControlChannel, ServesClientsSideBySideAndBoundsWhatTheySend)
{
    TempDir dir;
    const std::string path = dir.file("control");
    const auto channel = ControlChannel::open(path, SimBus::instance());
    ASSERT_NE(channel, nullptr);

    ControlClient silent(path), talker(path), last(path);
    ASSERT_TRUE(silent.connected() && talker.connected() && last.connected());
    ASSERT_TRUE(silent.write("regis"));  // half a line: the others are served meanwhile
    EXPECT_EQ(talker.send("scene 1"), "ok");
    ASSERT_TRUE(talker.write(std::string(100000, 'x')));
    EXPECT_EQ(talker.readLine().rfind("error line too long", 0), 0u);
    EXPECT_EQ(talker.send("\nscene 2"), "ok") << "the long line ends at its newline, the next one counts";
    ASSERT_TRUE(silent.write("ter 34 7\n"));
    EXPECT_EQ(silent.readLine(), "ok");
    ASSERT_TRUE(last.write("register 34"));
    last.endWriting();
    EXPECT_EQ(last.readLine(), "ok 7");
    EXPECT_EQ(last.readLine(), "") << "closed after the last line";
    std::vector<std::unique_ptr<ControlClient>> crowd;
    for (int i = 0; i < 20; ++i)
        crowd.push_back(std::make_unique<ControlClient>(path));
    int refused = 0;
    for (auto& client : crowd) {
        const std::string reply = client->send("status");
        refused += reply.rfind("error too many connections", 0) == 0;
    }
    EXPECT_EQ(refused, 6) << "16 served at once, two of them above";
}

}  // namespace
}  // namespace qdx::sim
