// grab: one whole frame into a picture (8-bit, or 16-bit with its frame's
// facts) or a raw file; still: one whole frame into a BMP, the picture the
// viewer's still capture saves.
#include <filesystem>
#include <vector>

#include "CtlCommands.h"
#include "FrameSource.h"
#include "ImageFiles.h"
#include "Json.h"
#include "QDX_API.h"
#include "RawPipe.h"
#include "StreamFile.h"
#include "capture/CaptureImage.h"
#include "capture/Still16.h"
#include "live/FrameCheck.h"

namespace qdx::ctl {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr milliseconds kFrameTimeout{3000};  // without any frame the camera has stopped
constexpr long long kMostFramesSkipped = 100000;

struct GrabRequest {
    std::string path;  // as given: "-" for standard output
    std::string leaf;  // with "-": the private file's name, whose extension tells its type
    FileKind kind = FileKind::Png;
    long long skip = 0;
    std::optional<int> format;
    bool border = false;
    bool grey = false;  // the calibration view's grey picture whatever the format
    bool deep = false;  // --depth 16: the 12-bit picture in 16-bit samples
};

// Options a command does not offer never reach here (Arguments::parse
// refuses them), so grab and still share this.
int parseRequest(Context& context, const Arguments& arguments, bool still, GrabRequest& request)
{
    if (arguments.operands().size() != 1)
        return context.usageError(std::string(context.command().name) + " takes one FILE");
    request.path = arguments.operands()[0];
    const auto type = arguments.value("--type");
    std::string typed = request.path;
    if (isStandardStream(request.path)) {
        // No name to tell the type by: --type, or the command's own.
        if (type && (*type == "raw" || type->find_first_of("./") != std::string::npos))
            return context.usageError("--type " + *type + ": png, ppm, pgm, bmp or tif (raw frames: --raw)");
        request.leaf = "frame." + (still ? std::string("bmp") : type.value_or("png"));
        typed = request.leaf;
        if (arguments.has("--json"))
            return context.usageError("--json and FILE - both want standard output");
        if (isTerminal(context.out()))
            return context.usageError("will not write a picture to a terminal: redirect it or name a file");
    } else if (type) {
        return context.usageError("--type is for FILE -; a named file's type is its extension");
    }
    const auto kind = fileKindOf(typed);
    if (still && kind != FileKind::Bmp)
        return context.usageError("'" + request.path + "': a still is a .bmp file");
    if (!kind && type)
        return context.usageError("--type " + *type + ": png, ppm, pgm, bmp or tif");
    if (!kind)
        return context.usageError("'" + request.path +
                                  "': unknown file type; use .ppm, .pgm, .png, .bmp, .raw or (16-bit) .tif");
    request.kind = *kind;
    std::string why;
    const auto skip = framesOption(arguments, 0, kMostFramesSkipped, 0, why);
    if (!skip)
        return context.usageError(why);
    request.skip = *skip;
    if (const auto format = arguments.value("--format")) {
        if (*format != "0" && *format != "1")
            return context.usageError("--format " + *format + ": the data format is 0 or 1");
        request.format = *format == "1" ? 1 : 0;
    }
    request.border = arguments.has("--border");
    request.grey = arguments.has("--grey");
    if (request.border && request.kind == FileKind::Raw)
        return context.usageError("--border is for pictures; a .raw file is the whole frame");
    if (const auto depth = arguments.value("--depth")) {
        if (*depth != "8" && *depth != "16")
            return context.usageError("--depth " + *depth + ": the depth is 8 or 16");
        request.deep = *depth == "16";
    }
    if (request.deep && (request.kind == FileKind::Bmp || request.kind == FileKind::Raw))
        return context.usageError("'" + request.path + "': 16-bit pictures are .png, .tif, .tiff, .pgm or .ppm");
    if (!request.deep && request.kind == FileKind::Tiff)
        return context.usageError("'" + request.path + "': a TIFF file is 16-bit: add --depth 16");
    return kExitOk;
}

// Waits for the first whole frame after `skip` more frames, with the
// library's account of it; false after saying why.
bool awaitWholeFrame(Context& context, long long skip, std::vector<uint8_t>& frame, QDX_FRAME_INFO& info)
{
    viewer::FrameReader reader;
    if (!reader.valid()) {
        context.failure("the library gave no frame signal");
        return false;
    }
    Progress progress = context.progress("waiting for " + std::to_string(skip) + " frames to pass");
    int damaged = 0;
    auto wholeDeadline = Clock::now() + kFrameTimeout;
    for (;;) {
        if (!reader.wait(kFrameTimeout)) {
            context.failure("no frame from the camera for " + std::to_string(kFrameTimeout.count() / 1000) + " s");
            return false;
        }
        reader.look();
        const long long seen = reader.delivered();
        if (seen <= skip) {
            progress.update("skipped " + std::to_string(seen) + " of " + std::to_string(skip) + " frames");
            wholeDeadline = Clock::now() + kFrameTimeout;
            continue;
        }
        frame.resize(QDX_FRAME_BYTES);
        const auto taken = reader.take(frame.data());
        if (!taken)
            continue;  // the frame handed out before, or none since a reconnection
        if (taken->whole()) {
            info = taken->info;
            return true;
        }
        ++damaged;
        if (Clock::now() > wholeDeadline) {
            context.failure("no whole frame for " + std::to_string(kFrameTimeout.count() / 1000) + " s (" +
                            std::to_string(damaged) + " short or damaged)");
            return false;
        }
    }
}

int grab(Context& context, const Arguments& arguments, const GrabRequest& request)
{
    // The file first: a name that cannot be written is found before the
    // camera is touched.
    StreamFile target;
    AtomicFile file;
    if (std::string why; !target.open(request.path, request.leaf, why) || !file.open(target.path(), why))
        return context.failure(target.shown(why));
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;

    int format = 0;
    if (request.format) {
        format = *request.format;
        if (QDX_Set_DataFormat(format) != QDX_OK)
            return context.failure("the data format could not be set");
    } else if (QDX_Get_DataFormat(&format) != QDX_OK) {
        return context.failure("the data format could not be read");
    }
    // A frame already on its way when something changed shows the camera as
    // it was: one more frame is skipped.
    const bool changed = request.format.has_value() || context.changedCamera();
    std::vector<uint8_t> frame;
    QDX_FRAME_INFO info{};
    if (!awaitWholeFrame(context, request.skip + (changed ? 1 : 0), frame, info))
        return kExitFailure;

    std::string why;
    std::string what;
    if (request.kind == FileKind::Raw) {
        if (!writeBytes(file, frame, why))
            return context.failure(why);
        what = std::to_string(frame.size()) + " bytes";
    } else {
        const bool grey = request.grey || format == 1 || request.kind == FileKind::Pgm;
        const int side = viewer::captureSide(request.border);
        if (request.deep) {
            // The settings as the camera has them now, read as `get` reads them.
            if (!viewer::writeStill16(file, *viewer::still16KindOf(target.path()), frame.data(), grey, side,
                                      viewer::frameFacts(info, "qdxctl"), why))
                return context.failure(why);
        } else {
            std::vector<uint8_t> picture(static_cast<std::size_t>(side) * side * 3);
            viewer::convertToCapture(picture.data(), frame.data(), grey, side);
            if (!writePicture(file, request.kind, picture.data(), side, grey, why))
                return context.failure(why);
        }
        what = std::to_string(side) + " x " + std::to_string(side) + (grey ? ", grey" : ", colour") +
               (request.deep ? ", 16-bit, frame " + std::to_string(info.index) : "");
    }
    if (!file.commit(why))
        return context.failure(target.shown(why));
    if (target.isStream()) {
        if (!target.giveOutput(target.path(), context.out(), why))
            return context.failure(why);
        // Standard output holds the picture alone.
        context.err() << "qdxctl " << context.command().name << ": -: " << what << "\n";
    } else if (arguments.has("--json")) {
        const bool raw = request.kind == FileKind::Raw;
        const bool grey = raw ? format == 1 : request.grey || format == 1 || request.kind == FileKind::Pgm;
        const int side = raw ? 404 : viewer::captureSide(request.border);
        std::error_code error;
        printJson(context.out(), Json{{"file", request.path},
                                      {"frame", info.index},
                                      {"width", side},
                                      {"height", side},
                                      {"grey", grey},
                                      {"depth", raw ? 0 : request.deep ? 16 : 8},
                                      {"bytes", std::filesystem::file_size(request.path, error)}});
    } else {
        context.out() << request.path << ": " << what << "\n";
    }
    return kExitOk;
}

}  // namespace

int runGrab(Context& context, const Arguments& arguments)
{
    if (wantsRawPipe(arguments))
        return grabToPipe(context, arguments);
    GrabRequest request;
    if (const int status = parseRequest(context, arguments, false, request); status != kExitOk)
        return status;
    return grab(context, arguments, request);
}

int runStill(Context& context, const Arguments& arguments)
{
    GrabRequest request;
    if (const int status = parseRequest(context, arguments, true, request); status != kExitOk)
        return status;
    return grab(context, arguments, request);
}

}  // namespace qdx::ctl
