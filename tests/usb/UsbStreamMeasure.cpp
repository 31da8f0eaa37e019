// Streams from a fake camera on the emulated bus through the library for a
// while, the way the viewer's display thread consumes frames, and prints what
// went through and what it cost:
//   qdx_usb_stream_measure [seconds=10] [fps=30, 0: as fast as read] [idle reap wait in us=1000]
//                          [bytes per transfer=652864]
// Small transfers take umockdev's copying through its socket out of the
// time between a frame and the next read, leaving the library's own part.
#include <pthread.h>
#include <semaphore.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "QDX_API.h"
#include "protocol/FrameFormat.h"
#include "usb/EmulatedUsbBus.h"

namespace {

using qdx::test::usb::Clock;

// CPU seconds of each thread of this process, by thread name. umockdev's
// worker thread keeps the name of the process.
std::map<std::string, double> threadCpu()
{
    const std::string self = std::to_string(getpid());
    std::map<std::string, double> cpu;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    DIR* tasks = opendir("/proc/self/task");
    if (!tasks)
        return cpu;
    while (const dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.')
            continue;
        std::ifstream stat(std::string("/proc/self/task/") + entry->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::string name = line.substr(open + 1, close - open - 1);
        // Thread names are the program's, cut to 15 characters, unless set.
        if (std::string(program_invocation_short_name).rfind(name, 0) == 0)
            name = entry->d_name == self ? "main" : "umockdev worker";
        std::istringstream rest(line.substr(close + 2));
        std::string field;
        double utime = 0, stime = 0;
        // Fields 3..: state, then utime and stime are the 14th and 15th fields.
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14)
                utime = std::stod(field);
            if (i == 15)
                stime = std::stod(field);
        }
        cpu[name] += (utime + stime) / tick;
    }
    closedir(tasks);
    return cpu;
}

double processCpu()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

bool isWholeFrame(const std::vector<uint8_t>& frame, unsigned length)
{
    const auto word = [&](std::size_t at) { return static_cast<uint16_t>(frame[at] | frame[at + 1] << 8); };
    return length == qdx::kFrameBytes && word(0) == qdx::kStartMarker0 && word(2) == qdx::kStartMarker1 &&
           word(qdx::kFrameBytes - 4) == qdx::kEndMarker0 && word(qdx::kFrameBytes - 2) == qdx::kEndMarker1;
}

}  // namespace

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int fps = argc > 2 ? std::atoi(argv[2]) : 30;
    const int idleWait = argc > 3 ? std::atoi(argv[3]) : 1000;
    const long transferBytes = argc > 4 ? std::atol(argv[4]) : static_cast<long>(qdx::kFrameBytes);

    setenv("QDX_CAMERA", "usb", 1);
    setenv("QDX_USB_IDS", "cafe:4242", 1);
    qdx::test::usb::EmulatedUsbBus bus;
    if (!qdx::test::usb::EmulatedUsbBus::emulationActive()) {
        std::fprintf(stderr, "not running under umockdev's preload library\n");
        return 1;
    }
    qdx::test::usb::DeviceDescription description;
    description.frameInterval = std::chrono::microseconds(fps > 0 ? 1'000'000 / fps : 0);
    description.idleReapWait = std::chrono::microseconds(idleWait);
    description.frameBytes = static_cast<std::size_t>(std::max(transferBytes, 1L));
    auto& camera = bus.plug(description);

    QDX_Init();
    int status = 0;
    for (int i = 0; i < 3000 && status != 1; ++i) {
        QDX_GetStatus(&status);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (status != 1) {
        std::fprintf(stderr, "the camera was not opened\n");
        QDX_Term();
        return 1;
    }

    std::atomic<bool> run{true};
    std::atomic<uint64_t> taken{0}, whole{0}, bytesTaken{0};
    std::thread consumer([&] {
        pthread_setname_np(pthread_self(), "consumer");
        QDX_HANDLE handle = nullptr;
        QDX_GetDataSemaphoHandle(&handle);
        auto* sem = static_cast<sem_t*>(handle);
        std::vector<uint8_t> frame(qdx::kFrameBytes);
        int last = -1;
        while (run.load()) {
            timespec deadline{};
            clock_gettime(CLOCK_REALTIME, &deadline);
            deadline.tv_sec += 1;
            if (sem_timedwait(sem, &deadline) != 0)
                continue;
            while (sem_trywait(sem) == 0) {
            }
            int index = 0;
            QDX_GetIndex(&index);
            if (index == last)
                continue;
            last = index;
            unsigned length = 0;
            if (QDX_GetFrame(frame.data(), qdx::kFrameBytes, &length) < 0)
                continue;
            ++taken;
            bytesTaken += length;
            whole += isWholeFrame(frame, length) ? 1 : 0;
        }
    });

    const auto cpuBefore = threadCpu();
    const double processBefore = processCpu();
    const auto countersBefore = camera.counters();
    const uint64_t takenBefore = taken, wholeBefore = whole, bytesBefore = bytesTaken;
    int indexBefore = 0;
    QDX_GetIndex(&indexBefore);
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    int indexAfter = 0;
    QDX_GetIndex(&indexAfter);
    const auto counters = camera.counters();
    const uint64_t takenIn = taken - takenBefore, wholeIn = whole - wholeBefore, bytesIn = bytesTaken - bytesBefore;
    const double processAfter = processCpu();
    const auto cpuAfter = threadCpu();
    run = false;
    consumer.join();
    QDX_Term();

    std::printf("%.1f s at %s, idle reap wait %d us\n", elapsed,
                fps > 0 ? (std::to_string(fps) + " fps").c_str() : "read speed", idleWait);
    const uint64_t sent = counters.frames + counters.shortFrames - countersBefore.frames - countersBefore.shortFrames;
    std::printf("camera:  %llu transfers sent (%.1f/s), %llu bytes, %llu short, %llu frame starts lost between reads\n",
                static_cast<unsigned long long>(sent), static_cast<double>(sent) / elapsed,
                static_cast<unsigned long long>(counters.bytes - countersBefore.bytes),
                static_cast<unsigned long long>(counters.shortFrames - countersBefore.shortFrames),
                static_cast<unsigned long long>(counters.lostStarts - countersBefore.lostStarts));
    std::printf("library: frame counter advanced by %d\n", indexAfter - indexBefore);
    std::printf("consumer: %llu frames taken, %llu whole, %llu bytes (%.1f MB/s)\n",
                static_cast<unsigned long long>(takenIn), static_cast<unsigned long long>(wholeIn),
                static_cast<unsigned long long>(bytesIn), static_cast<double>(bytesIn) / elapsed / 1e6);
    // How long the camera waited for the next read after finishing a transfer;
    // this includes umockdev copying the frame through its socket.
    double gapSum = 0, gapMax = 0;
    int gaps = 0;
    const auto events = camera.bulkEvents();
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        if (events[i].at < start || events[i].kind != qdx::test::usb::BulkEventKind::Completed ||
            events[i + 1].kind != qdx::test::usb::BulkEventKind::Submitted)
            continue;
        const double gap = std::chrono::duration<double, std::milli>(events[i + 1].at - events[i].at).count();
        gapSum += gap;
        gapMax = std::max(gapMax, gap);
        ++gaps;
    }
    if (gaps > 0)
        std::printf("frame sent to next read submitted: %.2f ms on average, %.2f ms at most\n", gapSum / gaps,
                    gapMax);
    std::printf("CPU: process %.2f s (%.0f%% of one core)\n", processAfter - processBefore,
                100.0 * (processAfter - processBefore) / elapsed);
    for (const auto& [name, cpu] : cpuAfter) {
        const auto before = cpuBefore.find(name);
        const double used = cpu - (before == cpuBefore.end() ? 0.0 : before->second);
        if (used > 0.0)
            std::printf("  %-24s %6.2f s (%3.0f%%)\n", name.c_str(), used, 100.0 * used / elapsed);
    }
    return 0;
}
