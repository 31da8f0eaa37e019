/*
 * stream_stats: takes frames from the camera for a few seconds and prints,
 * once a second, the frame rate, the bytes received, how many frames were
 * whole (right size, right marker words), how many the library's ring
 * overwrote before they were taken, and the longest time between two frames
 * taken, from their arrival times.
 *
 *   QDX_CAMERA=sim ./stream_stats [seconds]
 */
#define _POSIX_C_SOURCE 200809L

#include <errno.h>
#include <semaphore.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "QDX_API.h"

/* QDX_GetFrameEx came with interface 1.2. */
#if QDX_API_VERSION < QDX_API_VERSION_ENCODE(1, 2, 0)
#error "stream_stats needs QDX_API.h 1.2 or later"
#endif

static double now_seconds(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static unsigned word_at(const unsigned char* frame, unsigned index)
{
    return (unsigned)frame[2 * index] | ((unsigned)frame[2 * index + 1] << 8);
}

/* Mean luma of the picture, 12-bit: a quick look at what the camera sees. */
static unsigned mean_luma(const unsigned char* frame)
{
    unsigned long long sum = 0;
    for (unsigned i = 1; i < QDX_FRAME_BYTES / 2; i += 2)
        sum += word_at(frame, i) >> 4;
    return (unsigned)(sum / (QDX_FRAME_BYTES / 4));
}

/* Waits up to one second for the library's data semaphore. */
static int wait_for_frame(sem_t* sem)
{
    struct timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 1;
    while (sem_timedwait(sem, &deadline) != 0) {
        if (errno != EINTR)
            return 0;
    }
    /* Any further signals belong to frames already superseded: take the newest only. */
    while (sem_trywait(sem) == 0) {
    }
    return 1;
}

int main(int argc, char** argv)
{
    const int seconds = argc > 1 ? atoi(argv[1]) : 5;
    unsigned char* frame = malloc(QDX_FRAME_BYTES);
    QDX_HANDLE handle = NULL;
    unsigned int version = 0;
    long long last_arrival = 0; /* CLOCK_MONOTONIC ns of the last frame taken, 0 before it */

    if (!frame)
        return 1;
    QDX_Init();
    QDX_GetVersion(&version);
    QDX_GetDataSemaphoHandle(&handle);
    printf("QDX_API %u.%u.%u.%u, interface %d.%d.%d\n", version >> 24, (version >> 16) & 0xFF, (version >> 8) & 0xFF,
           version & 0xFF, QDX_API_VERSION_MAJOR, QDX_API_VERSION_MINOR, QDX_API_VERSION_PATCH);

    for (int s = 0; s < seconds; ++s) {
        const double end = now_seconds() + 1.0;
        unsigned frames = 0, whole = 0;
        unsigned long long bytes = 0, missed = 0, index = 0;
        long long longest_gap = 0;
        int status = 0;

        while (now_seconds() < end) {
            QDX_FRAME_INFO info = {0};
            info.size = sizeof info; /* the layout this program was built with */
            if (!wait_for_frame((sem_t*)handle))
                continue;
            /* QDX_FRAME_REPEATED: no frame since the one taken before. */
            if (QDX_GetFrameEx(frame, QDX_FRAME_BYTES, &info) != QDX_OK)
                continue;
            ++frames;
            bytes += info.length;
            whole += info.check == QDX_FRAME_WHOLE;
            missed += info.skipped;
            index = info.index;
            if (last_arrival != 0 && info.monotonicNs - last_arrival > longest_gap)
                longest_gap = info.monotonicNs - last_arrival;
            last_arrival = info.monotonicNs;
        }
        QDX_GetStatus(&status);
        printf("camera %s  %3u fps  %9llu bytes/s  %3u whole frames  %3llu missed  longest gap %5.1f ms  index %llu"
               "  mean Y %u\n",
               status ? "connected" : "absent   ", frames, bytes, whole, missed, (double)longest_gap / 1e6, index,
               whole ? mean_luma(frame) : 0u);
        fflush(stdout);
    }

    QDX_Term();
    free(frame);
    return 0;
}
