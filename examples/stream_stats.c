/*
 * stream_stats: takes frames from the camera for a few seconds and prints,
 * once a second, the frame rate, the bytes received and how many frames were
 * whole (right size, right marker words).
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

static int is_whole(const unsigned char* frame, unsigned length)
{
    const unsigned last = QDX_FRAME_BYTES / 2 - 1;
    return length == QDX_FRAME_BYTES && word_at(frame, 0) == QDX_FRAME_START_MARKER0 &&
           word_at(frame, 1) == QDX_FRAME_START_MARKER1 && word_at(frame, last - 1) == QDX_FRAME_END_MARKER0 &&
           word_at(frame, last) == QDX_FRAME_END_MARKER1;
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
    int last_index = -1;

    if (!frame)
        return 1;
    QDX_Init();
    QDX_GetVersion(&version);
    QDX_GetDataSemaphoHandle(&handle);
    printf("QDX_API %u.%u.%u.%u\n", version >> 24, (version >> 16) & 0xFF, (version >> 8) & 0xFF, version & 0xFF);

    for (int s = 0; s < seconds; ++s) {
        const double end = now_seconds() + 1.0;
        unsigned frames = 0, whole = 0;
        unsigned long long bytes = 0;
        int status = 0, index = 0;

        while (now_seconds() < end) {
            unsigned int length = 0;
            if (!wait_for_frame((sem_t*)handle))
                continue;
            QDX_GetIndex(&index);
            if (index == last_index)
                continue;
            last_index = index;
            if (QDX_GetFrame(frame, QDX_FRAME_BYTES, &length) != 0)
                continue;
            ++frames;
            bytes += length;
            whole += (unsigned)is_whole(frame, length);
        }
        QDX_GetStatus(&status);
        printf("camera %s  %3u fps  %9llu bytes/s  %3u whole frames  index %d  mean Y %u\n",
               status ? "connected" : "absent   ", frames, bytes, whole, index, whole ? mean_luma(frame) : 0u);
        fflush(stdout);
    }

    QDX_Term();
    free(frame);
    return 0;
}
