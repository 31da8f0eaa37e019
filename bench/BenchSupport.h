// What the benchmarks share: a library started on a fresh simulated camera.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
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

// CPU seconds so far of this process's threads named `name`.
inline double threadCpuSeconds(const std::string& name)
{
    double seconds = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string taskName;
        std::getline(comm, taskName);
        if (taskName != name)
            continue;
        std::ifstream stat(task.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // Fields after the name in parentheses: state is field 3, utime 14, stime 15.
        std::size_t at = line.rfind(')') + 2;
        for (int field = 3; field < 14; ++field)
            at = line.find(' ', at) + 1;
        unsigned long utime = 0, stime = 0;
        std::sscanf(line.c_str() + at, "%lu %lu", &utime, &stime);
        seconds += static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    return seconds;
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
