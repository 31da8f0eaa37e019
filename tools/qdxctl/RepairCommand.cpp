// repair: a recording cut anywhere (killed, a power cut, a copy broken off)
// rebuilt into a finished AVI file from the whole frames it holds. No camera.
#include <cstdio>

#include "CtlCommands.h"
#include "Json.h"
#include "StreamFile.h"
#include "capture/AviRepair.h"

namespace qdx::ctl {

int runRepair(Context& context, const Arguments& arguments)
{
    const auto& operands = arguments.operands();
    if (operands.empty() || operands.size() > 2)
        return context.usageError("repair takes FILE.avi and, to keep FILE.avi as it is, OUT.avi");
    const std::string& input = operands[0];
    const std::string& output = operands.size() == 2 ? operands[1] : input;
    // Frames are found by going back and forth in the file, and the finished
    // file is written by going back to its header: neither can be a pipe.
    if (isStandardStream(input) || isStandardStream(output))
        return context.usageError("repair reads and writes files by seeking in them: name the files, not -");
    viewer::AviRepairReport report;
    std::string why;
    if (!viewer::repairAvi(input, output, report, why))
        return context.failure(why);
    char summary[160];
    std::snprintf(summary, sizeof summary, ": %u frame%s recovered, %d x %d, %.2f frames/s", report.frames,
                  report.frames == 1 ? "" : "s", report.width, report.height,
                  static_cast<double>(report.rate) / report.scale);
    if (arguments.has("--json"))
        printJson(context.out(), Json{{"file", output},
                                      {"frames", report.frames},
                                      {"width", report.width},
                                      {"height", report.height},
                                      {"frames_per_second", static_cast<double>(report.rate) / report.scale}});
    else
        context.out() << output << summary << "\n";
    return kExitOk;
}

}  // namespace qdx::ctl
