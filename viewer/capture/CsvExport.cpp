#include "CsvExport.h"

#include <charconv>
#include <cstdio>

#include "core/files/AtomicFile.h"
#include "live/FrameLayout.h"

namespace qdx::viewer {

std::string csvFileName(std::string_view chosen, int number)
{
    const std::size_t slash = chosen.rfind('/');
    const std::size_t nameLength = slash == std::string_view::npos ? chosen.size() : chosen.size() - slash - 1;
    if (nameLength > 4 && chosen[chosen.size() - 4] == '.')
        chosen.remove_suffix(4);
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, "_%03d.csv", number);
    return std::string(chosen) + suffix;
}

std::size_t formatCsvFrame(const uint8_t* frame, bool showBoundary, char* out)
{
    const int m = showBoundary ? 0 : 2;
    char* p = out;
    for (int row = m; row < kCameraSide - m; ++row) {
        // The luma of pixel x is the row's word 2x + 1.
        const uint8_t* luma = frame + static_cast<std::size_t>(row) * kFrameRowBytes + 2;
        for (int x = m; x < kCameraSide - m; ++x) {
            const uint8_t* word = luma + 4 * static_cast<std::size_t>(x);
            const unsigned value = static_cast<unsigned>(word[0] | word[1] << 8) >> 4;
            p = std::to_chars(p, p + 4, value).ptr;
            *p++ = ',';
        }
        p[-1] = '\r';  // in place of the comma after the last value
        *p++ = '\n';
    }
    return static_cast<std::size_t>(p - out);
}

bool writeCsvFile(const std::string& path, const uint8_t* frame, bool showBoundary, std::string& buffer,
                  std::string& why)
{
    buffer.resize(kCsvMostBytes);
    const std::size_t length = formatCsvFrame(frame, showBoundary, buffer.data());
    AtomicFile file;
    return file.open(path, why) && file.write(std::string_view(buffer.data(), length), why) && file.commit(why);
}

void CsvExport::frameShown(const ShownFrame& shown)
{
    // An export starts on the Calibration page only, and showing the Picture
    // page aborts it: a colour frame here was on its way while the Calibration
    // page came up, and the export waits for the first grey one.
    if (!shown.grey || !job_.active())
        return;
    const auto frame = copyFrame(shown.frame);
    if (!frame)
        return;  // no memory now: a later frame takes this file
    const auto step = job_.next();
    if (!step)
        return;
    writer_.post([this, step = *step, frame, showBoundary = shown.showBoundary] {
        write(step, frame->data(), showBoundary);
    });
}

void CsvExport::write(const CsvExportJob::Step& step, const uint8_t* frame, bool showBoundary)
{
    if (!job_.wanted(step))
        return;  // the export ended meanwhile: a failed file before, or an abort
    const std::string path = csvFileName(step.chosenPath, step.number);
    std::string why;
    const bool written = writeCsvFile(path, frame, showBoundary, buffer_, why);
    switch (job_.finish(step, written)) {
    case CsvExportJob::Outcome::Done:
    case CsvExportJob::Outcome::Failed:
        out_.csvExportEnded(why);
        break;
    case CsvExportJob::Outcome::Stale:
        // The export ended meanwhile and did not count this file: it is no
        // part of the set its end named.
        if (written)
            std::remove(path.c_str());
        break;
    case CsvExportJob::Outcome::Continue:
        break;
    }
}

}  // namespace qdx::viewer
