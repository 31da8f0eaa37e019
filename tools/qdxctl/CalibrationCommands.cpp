// dp, fpn and table: the Calibration page's detections and table commands,
// through the same viewer core code and with the same messages.
#include <memory>
#include <span>
#include <vector>

#include "CtlCommands.h"
#include "FrameSource.h"
#include "Json.h"
#include "QDX_API.h"
#include "StreamFile.h"
#include "core/calibration/Calibration.h"
#include "core/calibration/TableCommands.h"
#include "core/files/AtomicFile.h"
#include "core/files/GammaFile.h"
#include "core/files/TableFile.h"
#include "core/model/FpnTable.h"
#include "live/CalibrationCapture.h"

namespace qdx::ctl {
namespace {

using viewer::DefectKind;
using viewer::DpTable;
using viewer::FpnTable;
using viewer::TableOutcome;

// A gamma text file is 4,096 short lines; dp and fpn files are smaller.
constexpr std::size_t kMostTableText = 1 << 20;

// The outcome's message; on stdout for success unless stdout holds the file got,
// as JSON with --json.
int report(Context& context, const Arguments& arguments, const TableOutcome& outcome, const StreamFile& file)
{
    const auto& operands = arguments.operands();
    if (outcome.ok && arguments.has("--json"))
        printJson(context.out(), Json{{"action", operands[0]},
                                      {"table", operands[1]},
                                      {"file", operands.size() > 2 ? Json(operands[2]) : Json()},
                                      {"message", outcome.message}});
    else
        (outcome.ok && !(file.isStream() && operands[0] == "get") ? context.out() : context.err())
            << outcome.message << "\n";
    if (!outcome.why.empty())
        context.failure(file.shown(outcome.why));
    return outcome.ok ? kExitOk : kExitFailure;
}

// A table file as given, or standard input or output. binary: the file is
// bytes, not text (no place for them on a terminal).
int openTableFile(Context& context, const Arguments& arguments, const std::string& given, bool binary,
                  StreamFile& file)
{
    if (const int status = context.refuseJsonTo(arguments, given); status != kExitOk)
        return status;
    if (binary && isStandardStream(given) && isTerminal(context.out()))
        return context.usageError("will not write a binary table to a terminal: redirect it or name a file");
    if (std::string why; !file.open(given, "table", why))
        return context.failure(why);
    return kExitOk;
}

// Gives a written table file to stdout when it stands for it.
int giveTableFile(Context& context, const StreamFile& file)
{
    if (std::string why; file.isStream() && !file.giveOutput(file.path(), context.out(), why))
        return context.failure(why);
    return kExitOk;
}

std::optional<DefectKind> defectKind(const Arguments& arguments)
{
    const std::string type = arguments.value("--type").value_or("dark");
    if (type == "dark" || type == "Dark")
        return DefectKind::Dark;
    if (type == "bright" || type == "Bright")
        return DefectKind::Bright;
    return std::nullopt;
}

// One fresh frame in data format 1, as the Calibration page sees the
// camera; the camera's format is restored afterwards.
int captureCalibrationFrame(Context& context, std::vector<uint8_t>& frame)
{
    viewer::CaptureResult result;
    {
        const LumaData luma;
        if (!luma.ok())
            return context.failure("the camera did not take data format 1");
        // A frame already on its way may still be in the old format.
        result = viewer::captureFreshFrame(frame);
        if (result == viewer::CaptureResult::Whole || result == viewer::CaptureResult::Damaged)
            result = viewer::captureFreshFrame(frame);
    }
    if (result != viewer::CaptureResult::Whole) {
        context.err() << viewer::captureMessage(result) << "\n";
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int runDp(Context& context, const Arguments& arguments)
{
    const auto& operands = arguments.operands();
    if (operands.empty() || operands[0] != "detect" || operands.size() > 2)
        return context.usageError("dp takes: detect [FILE]");
    const auto kind = defectKind(arguments);
    if (!kind)
        return context.usageError("--type: dark or bright");
    int threshold = 128;
    if (const auto text = arguments.value("--threshold")) {
        const auto value = parseInteger(*text);
        if (!value || *value < 0 || *value > 255)
            return context.usageError("--threshold: a number 0..255");
        threshold = static_cast<int>(*value);
    }
    DpTable table;
    StreamFile file;
    if (const int status = openTableFile(context, arguments, operands.size() == 2 ? operands[1] : "", true, file))
        return status;
    // The camera's data format changes for the frame: a file that cannot be
    // written is found before.
    if (std::string why; operands.size() == 2 && !viewer::checkRoomFor(file.path(), table.bytes().size(), why))
        return context.failure(file.shown(why));
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    std::vector<uint8_t> frame;
    if (const int status = captureCalibrationFrame(context, frame); status != kExitOk)
        return status;
    viewer::detectDefectPixels(frame.data(), threshold, *kind, table);
    if (std::string why; operands.size() == 2 && !viewer::writeTableFile(file.path(), table.bytes(), why))
        return context.failure(file.shown(why));
    if (const int status = giveTableFile(context, file))
        return status;
    if (arguments.has("--json")) {
        Json pixels = Json::array();
        for (int i = 0; i < table.validCount(); ++i)
            pixels.push_back({table.x(i), table.y(i)});
        printJson(context.out(), Json{{"type", *kind == DefectKind::Dark ? "dark" : "bright"},
                                      {"threshold", threshold},
                                      {"count", table.validCount()},
                                      {"pixels", pixels},
                                      {"file", operands.size() == 2 ? Json(operands[1]) : Json()}});
    } else {
        (file.isStream() ? context.err() : context.out()) << viewer::dpText(table, *kind);
    }
    return kExitOk;
}

int runFpn(Context& context, const Arguments& arguments)
{
    const auto& operands = arguments.operands();
    if (operands.empty() || operands[0] != "detect" || operands.size() > 2)
        return context.usageError("fpn takes: detect [FILE]");
    StreamFile file;
    if (const int status = openTableFile(context, arguments, operands.size() == 2 ? operands[1] : "", true, file))
        return status;
    if (std::string why; operands.size() == 2 && !viewer::checkRoomFor(file.path(), FpnTable::kBytes, why))
        return context.failure(file.shown(why));
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;
    std::vector<uint8_t> frame;
    if (const int status = captureCalibrationFrame(context, frame); status != kExitOk)
        return status;
    const auto table = std::make_unique<FpnTable>();
    viewer::detectFixedPattern(frame.data(), *table);
    if (std::string why; operands.size() == 2 && !viewer::writeTableFile(file.path(), table->bytes(), why))
        return context.failure(file.shown(why));
    if (const int status = giveTableFile(context, file))
        return status;
    if (arguments.has("--json")) {
        Json rows = Json::array();
        for (int row = 0; row < FpnTable::kRows; ++row) {
            Json corrections = Json::array();
            for (int x = 0; x < FpnTable::kPairsPerRow * 4; ++x)
                corrections.push_back(table->correction(x, row));
            rows.push_back(std::move(corrections));
        }
        printJson(context.out(), Json{{"mean", table->mean},
                                      {"corrections", std::move(rows)},
                                      {"file", operands.size() == 2 ? Json(operands[1]) : Json()}});
    } else if (operands.size() == 2) {
        (file.isStream() ? context.err() : context.out()) << "Avarage " << table->mean << "\n";
    } else {
        context.out() << viewer::fpnText(*table);
    }
    return kExitOk;
}

int runTable(Context& context, const Arguments& arguments)
{
    const auto& operands = arguments.operands();
    if (operands.size() < 2)
        return context.usageError("table takes: get|set|save|clear gamma|dp|fpn [FILE]");
    const std::string& action = operands[0];
    const std::string& kindName = operands[1];
    const bool withFile = action == "get" || action == "set";
    if (action != "get" && action != "set" && action != "save" && action != "clear")
        return context.usageError("unknown action '" + action + "'");
    if (kindName != "gamma" && kindName != "dp" && kindName != "fpn")
        return context.usageError("unknown table '" + kindName + "': gamma, dp or fpn");
    if (operands.size() != (withFile ? 3u : 2u))
        return context.usageError(withFile ? action + " takes a FILE" : action + " takes no FILE");
    const auto kind = defectKind(arguments);
    if (!kind)
        return context.usageError("--type: dark or bright");
    StreamFile file;
    const bool binaryOut = action == "get" && kindName != "gamma";
    if (const int status = openTableFile(context, arguments, withFile ? operands[2] : "", binaryOut, file))
        return status;
    if (std::string why; action == "set" && file.isStream() && !file.takeInput(context.in(), kMostTableText, why))
        return context.failure(why);

    // Files are read, or found writable, before the camera is touched.
    DpTable dp;
    const auto fpn = std::make_unique<FpnTable>();
    const auto gamma = std::make_unique<viewer::GammaTables>();
    const auto table = kindName == "dp" ? std::span<uint8_t>(dp.bytes()) : std::span<uint8_t>(fpn->bytes());
    if (std::string why; action == "set") {
        const bool read = kindName == "gamma" ? viewer::readGammaFile(file.path(), *gamma, why)
                                              : viewer::readTableFile(file.path(), table, why);
        if (!read)
            return context.failure(file.shown(why));
    } else if (action == "get" && !viewer::checkRoomFor(file.path(), kindName == "gamma" ? 0 : table.size(), why)) {
        return context.failure(file.shown(why));
    }
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;

    TableOutcome outcome;
    if (action == "save")
        outcome = kindName == "gamma" ? viewer::gammaSave()
                  : kindName == "dp"  ? viewer::dpSave(*kind)
                                      : viewer::fpnSave();
    else if (action == "clear")
        outcome = kindName == "gamma" ? viewer::gammaClear()
                  : kindName == "dp"  ? viewer::dpClear(*kind, dp)
                                      : viewer::fpnClear(*fpn);
    else if (action == "set")
        outcome = kindName == "gamma" ? viewer::gammaSend(*gamma)
                  : kindName == "dp"  ? viewer::dpUpload(*kind, dp)
                                      : viewer::fpnUpload(*fpn);
    else
        outcome = kindName == "gamma" ? viewer::gammaReceive(*gamma)
                  : kindName == "dp"  ? viewer::dpDownload(*kind, dp)
                                      : viewer::fpnDownload(*fpn);
    if (std::string why; outcome.ok && action == "get") {
        if (kindName == "gamma" && !viewer::writeGammaFile(file.path(), *gamma, why))
            return report(context, arguments, {false, "Gamma download save error", why}, file);
        if (kindName != "gamma" && !viewer::writeTableFile(file.path(), table, why))
            return context.failure(file.shown(why));
        if (const int status = giveTableFile(context, file))
            return status;
    }
    return report(context, arguments, outcome, file);
}

}  // namespace qdx::ctl
