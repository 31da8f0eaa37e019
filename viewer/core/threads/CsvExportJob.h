// A CSV frame export as the GUI thread, the display thread and the writer
// thread share it: the GUI thread starts it with the chosen path and the
// frame count and may abort it; the display thread claims a file for each
// frame it hands over; the writer thread writes the claimed files in order
// and reports how each write went. Every change of state is one step under one lock, so a file
// finished for an export that was aborted meanwhile never counts against the
// export started after it, and the path of a running export never changes.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace qdx::viewer {

class CsvExportJob {
public:
    // One file of the running export.
    struct Step {
        std::string chosenPath;  // as the operator chose it; csvFileName() makes the file's name
        int number = 0;          // running number from 1
        int total = 0;           // frames of the export
        uint64_t exportId = 0;   // which export the step belongs to
    };
    enum class Outcome { Continue, Done, Failed, Stale };

    // GUI thread. False (and nothing changes) while an export runs, or for
    // fewer than one frame or an empty path.
    bool start(std::string chosenPath, int frames);
    // GUI thread. True when an export ran.
    bool abort();

    // What an export had done when it was cut short.
    struct Cut {
        std::string chosenPath;
        int written = 0;  // files 1..written are there
        int total = 0;
    };
    // Any thread: ends the running export because it cannot go on (the
    // camera left); none when no export ran. A file being written meanwhile
    // is stale, as after abort().
    std::optional<Cut> cut();

    // Frame thread: claims the next file for a frame, none while no export
    // runs or once every file of it is claimed.
    std::optional<Step> next();
    // Writing thread, before writing step's file: the export still wants it
    // (it neither ended nor was aborted meanwhile).
    bool wanted(const Step& step) const;
    // Writing thread, after writing step's file (written) or failing to;
    // steps are finished in the order claimed. Continue: more frames to go;
    // Done: that was the last; Failed: the export ended with this file;
    // Stale: the export ended or was aborted meanwhile and nothing changed.
    Outcome finish(const Step& step, bool written);

    // Any thread.
    bool active() const { return active_.load(std::memory_order_acquire); }
    int remaining() const { return remaining_.load(std::memory_order_acquire); }

private:
    mutable std::mutex mutex_;  // Protects path_, number_, claimed_, total_, id_ and every change of active_ and remaining_
    std::string path_;
    int number_ = 1;   // the next file to finish
    int claimed_ = 1;  // the next file to claim
    int total_ = 0;
    uint64_t id_ = 0;
    std::atomic<bool> active_{false};  // changed under mutex_; read anywhere
    std::atomic<int> remaining_{0};    // changed under mutex_; read anywhere
};

}  // namespace qdx::viewer
