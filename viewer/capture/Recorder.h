// Video recording: a thread of its own that JPEG-encodes every refresh of
// the capture picture and appends it to an AVI file, measuring the frame
// rate that goes into the header at the end. Once a second it brings the
// header up to the frames so far (AviWriter::refresh, with the rate so far),
// so that a recording killed outright plays up to its last second. It never
// waits for the thread that started it, so stopping it from the GUI thread
// cannot deadlock.
// Qt-free.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "AviWriter.h"
#include "FrameTimes.h"

namespace qdx::viewer {

class CaptureImage;

// How a recording ended and what its file holds.
struct RecordingReport {
    enum class Ending {
        Stopped,        // stop() was called
        Full,           // the file reached the AVI size or frame limit
        WriteFailed,    // a frame could not be written
        DiskFull,       // the disk's free space fell below the reserve
        EncoderFailed,  // JPEG encoding kept failing
    };
    Ending ending = Ending::Stopped;
    uint32_t frames = 0;         // frames in the file
    bool fileOk = false;         // the file was finished and closed without error
    uint32_t rate = 120, scale = 1;  // the rate in the header
    bool timesOk = false;        // FILE.avi.csv holds a line for every frame in the file
};

class Recorder {
public:
    struct Options {
        AviWriter::Limits limits;
        // Recording stops while this much space is still free on the disk,
        // so that the indexes written at close always fit.
        uint64_t diskReserve = 16u << 20;
    };

    explicit Recorder(CaptureImage& image) : Recorder(image, Options{}) {}
    Recorder(CaptureImage& image, Options options);
    ~Recorder();  // stops a recording still running

    // Any thread but the recording thread. Creates path, writes the header
    // for side x side frames at 120 / 1 and starts the recording thread; the
    // frames' arrival times go to path + ".csv" (FrameTimes.h).
    // ended runs on the recording thread, after the file is closed, when the
    // recording ends by itself (never after stop()). False, with why, when
    // the file cannot be created (with the system's reason) or a recording
    // already runs.
    bool start(const std::string& path, int side, std::function<void()> ended, std::string& why);
    // Ends the recording and returns once the file is closed. The report of
    // the last recording (also when it had already ended by itself).
    RecordingReport stop();

    // A recording was started and stop() has not been called yet.
    bool active() const { return thread_.joinable(); }
    // Any thread: the recording thread still takes frames (false once it has
    // ended, by stop() or by itself).
    bool running() const { return running_.load(std::memory_order_acquire); }
    // Any thread, while recording: frames written and time since the start.
    uint32_t frames() const { return frames_.load(std::memory_order_relaxed); }
    std::chrono::milliseconds elapsed() const;

private:
    void run(std::stop_token stop, int side, uint32_t seen, std::function<void()> ended);

    CaptureImage& image_;
    Options options_;
    AviWriter writer_;  // recording thread only, between start and the end of run
    FrameTimesFile times_;  // the same
    std::string path_;
    std::atomic<bool> running_{false};   // set by start, cleared by the recording thread
    std::atomic<uint32_t> frames_{0};
    std::atomic<int64_t> startedMs_{0};  // steady clock at the start
    RecordingReport report_;             // written by run, read after the join
    std::jthread thread_;                // the thread that called start
};

}  // namespace qdx::viewer
