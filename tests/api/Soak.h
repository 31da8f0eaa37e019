// Unplug and plug the simulated camera again and again while a consumer
// checks every frame and another thread sends requests: what the soak test
// asserts and what the qdx_soak tool prints for longer runs.
#pragma once

#include <dirent.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "api/SimCameraFixture.h"

namespace qdx::test {

struct SoakOptions {
    int cycles = 100;
    unsigned frameIntervalUs = 33333;  // 0: as fast as the host reads
    int framesPerCycle = 3;            // frames to arrive after each plug-in
};

struct SoakResult {
    int cycles = 0;             // completed: each unplug and plug-in noticed
    long frames = 0;            // frames the consumer took and checked
    long badFrames = 0;         // of those, wrong size or markers
    long requests = 0;          // requests that succeeded
    std::vector<double> unplugMs, plugMs;  // how long each edge took to be noticed
    long fdsBefore = 0, fdsAfter = 0;
    long rssKbBefore = 0, rssKbAfter = 0;
};

inline long openFds()
{
    long n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* entry = readdir(dir))
            n += entry->d_name[0] != '.';
        closedir(dir);
    }
    return n;
}

inline long residentKb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Whole frame: the right size and the marker words at both ends.
inline bool wholeFrame(const std::vector<uint8_t>& f, unsigned length)
{
    auto word = [&](std::size_t i) { return static_cast<unsigned>(f[2 * i] | f[2 * i + 1] << 8); };
    const std::size_t last = QDX_FRAME_BYTES / 2 - 1;
    return length == QDX_FRAME_BYTES && word(0) == QDX_FRAME_START_MARKER0 && word(1) == QDX_FRAME_START_MARKER1 &&
           word(last - 1) == QDX_FRAME_END_MARKER0 && word(last) == QDX_FRAME_END_MARKER1;
}

// Runs the cycles with the library started here and stopped at the end.
// Each cycle waits until the consumer has taken a frame of that connection;
// stops early at an edge not noticed at all (30 s).
inline SoakResult runSoak(const SoakOptions& options)
{
    using Clock = std::chrono::steady_clock;
    SoakResult result;
    QDXSim_SetFrameInterval(options.frameIntervalUs);
    QDX_Init();
    result.fdsBefore = openFds();
    result.rssKbBefore = residentKb();
    std::atomic<bool> run{true};
    std::atomic<long> frames{0}, bad{0}, requests{0};

    std::thread consumer([&] {
        sem_t* sem = dataSemaphore();
        std::vector<uint8_t> frame(QDX_FRAME_BYTES);
        while (run.load()) {
            if (!awaitFrameSignal(sem, std::chrono::milliseconds(20)))
                continue;
            unsigned length = 0;
            if (QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length) != QDX_OK)
                continue;
            ++frames;
            bad += !wholeFrame(frame, length);
        }
    });
    std::thread requester([&] {
        std::array<uint8_t, 16> status{};
        std::array<uint8_t, 2> reg{};
        while (run.load()) {
            requests += QDX_GetDevStatus(16, status.data()) == QDX_OK;
            requests += QDX_DeviceRead(0, QDX_REG_FPGA_VER, 2, reg.data()) == QDX_OK;
        }
    });

    auto timed = [](int wanted, std::chrono::seconds limit) -> double {
        const auto start = Clock::now();
        if (!waitUntil([&] { return status() == wanted; }, limit))
            return -1;
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    // The limits are safety nets against hangs; how soon each edge was
    // noticed is measured, never judged.
    for (int cycle = 0; cycle < options.cycles; ++cycle) {
        const long taken = frames.load();
        if (!waitUntil([&] { return frameIndex() >= options.framesPerCycle && frames.load() > taken; }))
            break;
        QDXSim_SetPlugged(0, 0);
        const double unplug = timed(0, std::chrono::seconds(30));
        QDXSim_SetPlugged(0, 1);
        const double plug = unplug < 0 ? -1 : timed(1, std::chrono::seconds(30));
        if (unplug < 0 || plug < 0)
            break;
        result.unplugMs.push_back(unplug);
        result.plugMs.push_back(plug);
        ++result.cycles;
    }
    run = false;
    consumer.join();
    requester.join();
    QDX_Term();
    result.frames = frames.load();
    result.badFrames = bad.load();
    result.requests = requests.load();
    result.fdsAfter = openFds();
    result.rssKbAfter = residentKb();
    return result;
}

}  // namespace qdx::test
