// CSV frame export: the luma values of whole frames as text, one file per
// frame, for analysis of the sensor head outside the viewer. Each line is one
// kept frame row, its values (luma sample >> 4, 0..4095) in plain decimal
// separated by commas and ended by CR LF; 400 lines of 400 values with the
// border cut away, 404 of 404 with it. No header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "FileWriter.h"
#include "core/threads/CsvExportJob.h"
#include "core/threads/FrameConsumer.h"
#include "live/LiveViewSink.h"

namespace qdx::viewer {

// The most bytes a file takes: 404 lines of 404 four-digit values, 403 commas, CR LF.
inline constexpr std::size_t kCsvMostBytes = 404 * (404 * 5 + 1);  // 816,484

// The name of file `number` of an export to `chosen`: the chosen name without
// its four-character extension ("scan.csv", "data.txt"), "_%03d", ".csv". A
// file name part of four characters or fewer, or one without such an
// extension, is kept whole: the folder part is never cut into.
std::string csvFileName(std::string_view chosen, int number);

// The CSV text of a whole frame into out (kCsvMostBytes long at least);
// returns its length.
std::size_t formatCsvFrame(const uint8_t* frame, bool showBoundary, char* out);

// The frame's CSV text into a new file at path, whole or not at all; false
// with why. buffer is scratch space, reused between calls.
bool writeCsvFile(const std::string& path, const uint8_t* frame, bool showBoundary, std::string& buffer,
                  std::string& why);

// Appends the frames of a running export, one file each, as the display
// thread hands them over: it claims the file and hands a copy of the frame
// to the writer thread, which writes it and reports the export's end
// through out.
class CsvExport final : public FrameConsumer {
public:
    // job, out and writer must outlive the exporter.
    CsvExport(CsvExportJob& job, LiveViewSink& out, FileWriter& writer) : job_(job), out_(out), writer_(writer) {}
    // Waits for the files handed to the writer.
    ~CsvExport() { writer_.flush(); }
    CsvExport(const CsvExport&) = delete;
    CsvExport& operator=(const CsvExport&) = delete;

    // Display thread. Hands the running export's next file to the writer; a
    // file that cannot be written ends the export. Frames shown in colour are
    // not luma values and are passed over.
    void frameShown(const ShownFrame& shown) override;

private:
    // Writer thread.
    void write(const CsvExportJob::Step& step, const uint8_t* frame, bool showBoundary);

    CsvExportJob& job_;
    LiveViewSink& out_;
    FileWriter& writer_;
    std::string buffer_;  // writer thread only
};

}  // namespace qdx::viewer
