// A running library on a fresh simulated camera, and the waits tests need.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <semaphore.h>
#include <time.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "QDX_API.h"
#include "QDX_SIM.h"

namespace qdx::test {

// Waits are safety nets against hangs, never a verdict on speed: a loaded
// machine may take its time, only a hang reaches this.
inline constexpr std::chrono::milliseconds kConnectTimeout{30000};

// Polls pred every millisecond until it holds or the time-out passes.
inline bool waitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout = kConnectTimeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline int status()
{
    int s = -1;
    QDX_GetStatus(&s);
    return s;
}

inline int frameIndex()
{
    int i = -1;
    QDX_GetIndex(&i);
    return i;
}

inline std::array<uint8_t, 8> lastSetup()
{
    std::array<uint8_t, 8> packet{};
    QDXSim_GetLastSetup(packet.data());
    return packet;
}

// Starts the library and waits for the camera to be opened.
inline void startConnected()
{
    ASSERT_EQ(QDX_Init(), 0);
    ASSERT_TRUE(waitUntil([] { return status() == 1; })) << "the camera was never opened";
}

inline void waitForFrames(int count, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
{
    ASSERT_TRUE(waitUntil([&] { return frameIndex() >= count; }, timeout))
        << "only " << frameIndex() << " of " << count << " frames arrived";
}

// Selects a fresh simulated camera for the next QDX_Init.
inline void resetSimCamera()
{
    setenv("QDX_CAMERA", "sim", 1);
    QDXSim_Reset();
    // The test pattern costs next to nothing to render, so frame counts
    // do not depend on how fast this build renders the full picture.
    QDXSim_SetScene(3);
}

class SimCameraTest : public ::testing::Test {
protected:
    void SetUp() override { resetSimCamera(); }

    void TearDown() override { QDX_Term(); }
};

}  // namespace qdx::test

namespace qdx::test {

struct Packet {
    uint8_t bmRequestType, bRequest;
    uint16_t wValue, wIndex, wLength;
};

// The setup packets the camera received since the reset, oldest first.
inline std::vector<Packet> requestLog()
{
    std::vector<uint8_t> raw(8 * 8192);
    const int n = QDXSim_GetRequestLog(8192, raw.data());
    std::vector<Packet> log;
    for (int i = 0; i < n; ++i) {
        const uint8_t* p = &raw[8 * static_cast<std::size_t>(i)];
        log.push_back({p[0], p[1], static_cast<uint16_t>(p[2] | p[3] << 8), static_cast<uint16_t>(p[4] | p[5] << 8),
                       static_cast<uint16_t>(p[6] | p[7] << 8)});
    }
    return log;
}

// The setup packets received after the camera's request count stood at
// countBefore (QDXSim_GetRequestCount(-1)), oldest first.
inline std::vector<Packet> requestsSince(int countBefore)
{
    const auto log = requestLog();
    const auto wanted = static_cast<std::size_t>(QDXSim_GetRequestCount(-1) - countBefore);
    EXPECT_LE(wanted, log.size()) << "the request log no longer holds them all";
    return {log.end() - static_cast<std::ptrdiff_t>(std::min(wanted, log.size())), log.end()};
}

// Register writes the simulated camera has answered so far.
inline int registerWrites()
{
    return QDXSim_GetRequestCount(QDX_REQUEST_REGISTER_WRITE);
}

inline int simRegister(int reg)
{
    int value = -1;
    QDXSim_GetRegister(reg, &value);
    return value;
}

// The library's data semaphore (null while the library is stopped).
inline sem_t* dataSemaphore()
{
    QDX_HANDLE handle = nullptr;
    QDX_GetDataSemaphoHandle(&handle);
    return static_cast<sem_t*>(handle);
}

// Waits up to timeout for a frame signal and takes the others pending with
// it, as a consumer that wants only the newest frame does; false when none came.
inline bool awaitFrameSignal(sem_t* sem, std::chrono::milliseconds timeout)
{
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    const long long ns = deadline.tv_nsec + std::chrono::nanoseconds(timeout).count();
    deadline.tv_sec += static_cast<time_t>(ns / 1'000'000'000);
    deadline.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    if (sem_timedwait(sem, &deadline) != 0)
        return false;
    while (sem_trywait(sem) == 0) {
    }
    return true;
}

// Counts this process's threads whose name starts with prefix.
inline int threadsNamed(const std::string& prefix)
{
    int count = 0;
    DIR* dir = opendir("/proc/self/task");
    if (!dir)
        return -1;
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        if (name.rfind(prefix, 0) == 0)
            ++count;
    }
    closedir(dir);
    return count;
}

}  // namespace qdx::test
