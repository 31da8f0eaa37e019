// csv: consecutive whole frames' luma values as CSV files, written by the
// viewer's own CSV export: the same names, text and end of an export.
#include <vector>

#include "CtlCommands.h"
#include "FrameSource.h"
#include "Json.h"
#include "QDX_API.h"
#include "StreamFile.h"
#include "capture/CsvExport.h"
#include "core/files/AtomicFile.h"

namespace qdx::ctl {
namespace {

constexpr long long kMostFrames = 1000;

// The export's end, as the display thread would report it to the window.
class ExportEnd final : public viewer::LiveViewSink {
public:
    void pictureReady(int) override {}
    void ratesChanged(int, const std::string&) override {}
    void csvExportEnded(const std::string& why) override { failure = why; }

    std::string failure;
};

}  // namespace

int runCsv(Context& context, const Arguments& arguments)
{
    if (arguments.operands().size() != 1)
        return context.usageError("csv takes one FILE");
    if (const int status = context.refuseJsonTo(arguments, arguments.operands()[0]); status != kExitOk)
        return status;
    // "-": the set's files one after another on stdout, once all are written.
    StreamFile file;
    std::string why;
    if (!file.open(arguments.operands()[0], "frames.csv", why))
        return context.failure(why);
    const std::string& path = file.path();
    const auto count = framesOption(arguments, 1, kMostFrames, 1, why);
    if (!count)
        return context.usageError(why);
    const long long frames = *count;
    const bool border = arguments.has("--border");
    // The camera sends luma while the files are written: every name, the
    // folder and room for the smallest such file are checked before.
    const int side = border ? 404 : 400;
    const std::size_t smallest = static_cast<std::size_t>(side) * (2 * side + 1);  // one-digit values
    for (long long number = 1; number <= frames; ++number)
        if (!viewer::checkRoomFor(viewer::csvFileName(path, static_cast<int>(number)), smallest, why))
            return context.failure(file.shown(why));
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;

    const LumaData luma;
    if (!luma.ok())
        return context.failure("the camera did not take data format 1");
    // A frame already on its way when something changed shows the camera as it was.
    const long long skip = luma.switched() || context.changedCamera() ? 1 : 0;

    viewer::CsvExportJob job;
    ExportEnd end;
    viewer::FileWriter writer("qdxctl-files");
    viewer::CsvExport exporter(job, end, writer);
    job.start(path, static_cast<int>(frames));
    WholeFrames source(skip);
    if (!source.valid())
        return context.failure("the library gave no frame signal");
    Progress progress = context.progress("writing " + std::to_string(frames) + " CSV files");
    std::vector<uint8_t> frame;
    WholeFrames::Next next = WholeFrames::Next::Frame;
    long long written = 0;
    while (job.active()) {
        next = source.next(frame, why);
        if (next != WholeFrames::Next::Frame)
            break;
        exporter.frameShown({frame.data(), true, border});
        writer.flush();  // the files are counted one by one
        written += end.failure.empty() ? 1 : 0;
        progress.update(std::to_string(written) + " of " + std::to_string(frames) + " files");
    }
    progress.finish();
    Json files = Json::array();
    for (long long number = 1; number <= written; ++number) {
        const std::string name = viewer::csvFileName(path, static_cast<int>(number));
        if (file.isStream() && !file.giveOutput(name, context.out(), why))
            return context.failure(why);
        if (arguments.has("--json"))
            files.push_back(name);
        else
            (file.isStream() ? context.err() : context.out())
                << (file.isStream() ? "-: frame " + std::to_string(number) : name) << ": " << side << " x " << side
                << " values\n";
    }
    if (arguments.has("--json"))
        printJson(context.out(), Json{{"files", files}, {"width", side}, {"height", side}, {"frames", frames}});
    if (!end.failure.empty())
        return context.failure(file.shown(end.failure));
    if (next == WholeFrames::Next::Frame)
        return kExitOk;
    // A set cut short says so: the files above are all there is of it.
    const std::string cut = written == 0 ? "no file was written"
                                         : "the set is incomplete: " + std::to_string(written) + " of " +
                                               std::to_string(frames) + " files written";
    if (next == WholeFrames::Next::Stopped)
        return context.failure(cut);
    return context.failure(why + "; " + cut);
}

}  // namespace qdx::ctl
