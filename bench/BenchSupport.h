// What the benchmarks share: a library started on a fresh simulated camera.
#pragma once

#include <chrono>
#include <cstdlib>
#include <thread>

#include "QDX_API.h"
#include "QDX_SIM.h"

namespace qdx::bench {

// Resets the simulated camera (optionally unpaced), starts the library and
// waits up to three seconds for the camera to be opened.
inline bool startLibrary(bool unpaced = false)
{
    QDXSim_Reset();
    if (unpaced)
        QDXSim_SetFrameInterval(0);
    QDX_Init();
    for (int i = 0; i < 3000; ++i) {
        int status = 0;
        QDX_GetStatus(&status);
        if (status)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

// The same on the simulated camera paced at fps frames a second.
inline bool startLibraryAt(int fps)
{
    setenv("QDX_CAMERA", "sim", 1);
    QDXSim_Reset();
    QDXSim_SetFrameInterval(static_cast<unsigned>(1000000 / fps));
    QDX_Init();
    for (int i = 0; i < 3000; ++i) {
        int status = 0;
        QDX_GetStatus(&status);
        if (status & QDX_STATUS_CONNECTED)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

}  // namespace qdx::bench

// Every benchmark runs against the simulated camera.
#define QDX_SIM_BENCHMARK_MAIN()                                                                                    \
    int main(int argc, char** argv)                                                                                \
    {                                                                                                              \
        setenv("QDX_CAMERA", "sim", 1);                                                                            \
        benchmark::Initialize(&argc, argv);                                                                        \
        benchmark::RunSpecifiedBenchmarks();                                                                       \
        benchmark::Shutdown();                                                                                     \
        return 0;                                                                                                  \
    }
