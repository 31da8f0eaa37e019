// A running library on a fresh simulated camera, and the waits tests need.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "QDX_API.h"
#include "QDX_SIM.h"

namespace qdx::test {

inline constexpr unsigned kFrameBytes = 652864;
inline constexpr std::chrono::milliseconds kConnectTimeout{3000};

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

class SimCameraTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("QDX_CAMERA", "sim", 1);
        QDXSim_Reset();
    }

    void TearDown() override { QDX_Term(); }

    // Starts the library and waits for the camera to be opened.
    void startConnected()
    {
        ASSERT_EQ(QDX_Init(), 0);
        ASSERT_TRUE(waitUntil([] { return status() == 1; })) << "the camera was never opened";
    }

    static void waitForFrames(int count, std::chrono::milliseconds timeout = std::chrono::milliseconds(5000))
    {
        ASSERT_TRUE(waitUntil([&] { return frameIndex() >= count; }, timeout))
            << "only " << frameIndex() << " of " << count << " frames arrived";
    }
};

}  // namespace qdx::test
