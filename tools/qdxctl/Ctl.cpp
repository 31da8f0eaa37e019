#include "Ctl.h"

#include <string.h>
#include <unistd.h>

#include <array>
#include <iostream>

#include "CtlCommands.h"
#include "StopSignals.h"

namespace qdx::ctl {
namespace {

constexpr OptionInfo kJsonOnly[] = {kJsonOption};
constexpr OptionInfo kRawOption{"--raw", "", "with FILE -: write raw frames to standard output, for pipes", 'r'};
constexpr OptionInfo kLayoutOption{"--layout", "wire|y16",
                                   "with --raw: wire, the 652,864 bytes received (default); y16, 12-bit luma words"};
constexpr OptionInfo kGrabOptions[] = {
    {"--frames", "N", "skip N frames first, so automatic controls settle (default 0)", 'n'},
    {"--format", "0|1", "select the data format first: 0 colour, 1 sensor luma (grey)"},
    {"--border", "", "keep the 2-pixel boundary: 404 x 404 instead of 400 x 400", 'b'},
    {"--depth", "8|16", "16: the camera's 12 bits in 16-bit samples, with the frame's facts (default 8)", 'd'},
    {"--type", "png|ppm|pgm|bmp|tif", "with FILE -: the picture's file type on standard output (default png)", 't'},
    kRawOption,
    kLayoutOption,
    kJsonOption,
};
constexpr OptionInfo kStillOptions[] = {
    kGrabOptions[0],
    {"--grey", "", "the grey picture of the Calibration page instead of colour", 'g'},
    kGrabOptions[2],
    kJsonOption,
};
constexpr OptionInfo kTypeOption{"--type", "dark|bright", "the defect-pixel table: dark (default) or bright", 't'};
constexpr OptionInfo kDpOptions[] = {
    kTypeOption,
    {"--threshold", "N", "8-bit level 0..255 (default 128): dark at or below it, bright at or above"},
    kJsonOption,
};
constexpr OptionInfo kTableOptions[] = {kTypeOption, kJsonOption};
constexpr OptionInfo kStreamOptions[] = {
    {"--seconds", "N", "how long to stream (default 5; fractions allowed)", 's'},
    kJsonOption,
};
constexpr OptionInfo kStatsOptions[] = {
    {"--roi", "x,y,w,h", "the region in camera pixels, inside 0..403 (default 2,2,400,400: the picture)"},
    {"--frames", "N", "pool the region of N whole frames, 1..10000 (default 1)", 'n'},
    kJsonOption,
};
constexpr OptionInfo kCsvOptions[] = {
    {"--frames", "N", "how many consecutive whole frames, one file each (default 1)", 'n'},
    {"--border", "", "keep the 2-pixel boundary: 404 x 404 values instead of 400 x 400", 'b'},
    kJsonOption,
};
constexpr OptionInfo kLogOption{"--log", "", "list each request made (setup packet, bytes, result) on stderr", 'l'};
constexpr OptionInfo kRawReadOptions[] = {kLogOption, kJsonOption};
constexpr OptionInfo kI2cOptions[] = {
    {"--write", "BYTES", "read: write these bytes first (a sub-address), then read only if that succeeded"},
    kLogOption, kJsonOption};

constexpr OptionInfo kRecordOptions[] = {
    {"--seconds", "N", "how long to record (default 10; fractions allowed; with --raw until stopped)", 's'},
    kGrabOptions[2],
    kRawOption,
    kLayoutOption,
    kJsonOption,
};

constexpr OptionInfo kSetOptions[] = {
    {"--raw", "", "send the values as given, around the rules between settings (as reg:N=V does)", 'r'},
    kJsonOption,
};

// Adding a command: one entry here and its run function (CtlCommands.h).
constexpr std::array kCommands{
    CommandEntry{"list", "", "the cameras found, with their IDs",
                "The library opens one camera: it is listed as ID 0 when the library has it open.\n"
                "No camera is not an error: the list is empty and the exit status 0.",
                kJsonOnly, runList},
    CommandEntry{"info", "", "device information, firmware and FPGA versions, sensor head, serial number", "",
                kJsonOnly, runInfo},
    CommandEntry{"get", "[NAME...]", "read settings or FPGA registers (reg:N); all settings when none is named",
                "Values are shown as the viewer shows them: \"exposure 400 (28.8ms)\", \"mode 1 (MGC+AEC)\".",
                kJsonOnly, runGet, settingsHelp},
    CommandEntry{"set", "NAME=VALUE...", "send settings or FPGA registers (reg:N=V)",
                "A combo takes its entry text (\"mode=AGC+AEC\") or its value. Every value is checked\n"
                "against the settings table before any is sent: one refused value sends nothing.\n"
                "Settings follow the viewer's rules, in the order given: alc=ON keeps mode on MGC+MEC;\n"
                "fpn-correction=Mode1 or Mode2 sets mode MGC+AEC, Mode2 caps raw-gain at 64 and a later\n"
                "mode brings it back (64 under AGC+AEC). A setting the viewer greys is refused: exposure\n"
                "under MGC+AEC or AGC+AEC, raw-gain under AGC+AEC or FPN Mode1/2, flip while rotated,\n"
                "rotation while flipped. Prints each setting sent, with the value it was left at.",
                kSetOptions, runSet, settingsHelp},
    CommandEntry{"grab", "FILE", "save one whole frame: FILE.ppm, .pgm, .png, .bmp, .raw or (16-bit) .tif",
                "Pictures are converted as the viewer shows and saves them: colour, or grey for\n"
                "data format 1 and for .pgm. .raw is the frame's 652,864 bytes as received.\n"
                "--depth 16 keeps the 12 bits: .pgm/.ppm with maxval 4095 hold each value v itself;\n"
                ".png (sBIT 12) and .tif hold v << 4 | v >> 8, so v = sample >> 4. Each names its\n"
                "frame's index, arrival time and every setting (PNG text, TIFF description, # lines).",
                kGrabOptions, runGrab},
    CommandEntry{"still", "FILE", "save one whole frame as the viewer's Still Capture does: FILE.bmp",
                "A 24-bit BMP of the picture the viewer saves: colour as on the Picture page, or grey\n"
                "as on the Calibration page with --grey (and for data format 1).",
                kStillOptions, runStill},
    CommandEntry{"stream", "", "stream health: frames, rates, damaged frames, gaps, reconnections",
                "A live status line on stderr when it is a terminal; the summary on stdout.", kStreamOptions,
                runStream},
    CommandEntry{"stats", "", "luma statistics and mean colour of a region: mean, deviation, range, clipping",
                "The 12-bit luma of the region's pixels over N whole frames: pixels, mean, standard\n"
                "deviation, minimum, maximum and the pixels clipped at 0 and at 4095; and the mean R, G, B\n"
                "of the picture as the viewer shows it (grey for data format 1). Short or damaged frames\n"
                "are passed over.",
                kStatsOptions, runStats},
    CommandEntry{"params", "save|load|default|save-default|clear-default",
                "the parameter store in the camera's EEPROM",
                "save          store the camera's settings as the saved parameters\n"
                "load          send the saved parameters to the camera\n"
                "default       send the default parameters to the camera\n"
                "save-default  store the camera's settings as the default parameters\n"
                "clear-default invalidate the default parameters\n"
                "Exit status 0 for \"Complete.\", 1 for an error or nothing stored.",
                kJsonOnly, runParams},
    CommandEntry{"record", "FILE.avi|FILE.mkv", "record video: Motion-JPEG AVI as the viewer records, or lossless 12-bit (.mkv)",
                "FILE.avi: every whole frame becomes one JPEG picture (quality 80), colour or, for data\n"
                "format 1, grey, at the frame rate measured; FILE.avi.csv gives each frame's index and\n"
                "arrival time. FILE.mkv: FFV1 in Matroska with the 12-bit values (4:2:2, or grey for\n"
                "data format 1), each frame at its arrival time; frames the encoder cannot keep up with\n"
                "are skipped and told, exit status 1. The recording ends early, with a valid file and\n"
                "exit status 1, when the disk is nearly full or the AVI reaches 2 GB, or when no frame\n"
                "came for 3 s. It runs on through an unplug of the camera, and each one is told on\n"
                "stderr (when, for how long, the frames before and after) with exit status 1.",
                kRecordOptions, runRecord},
    CommandEntry{"repair", "FILE.avi [OUT.avi]", "rebuild a recording cut short (killed, power cut) into a finished file",
                "Takes every whole frame of FILE.avi in order, whatever its sizes and indexes say, and\n"
                "writes a finished file with its indexes at the frame rate in the header: to OUT.avi, or\n"
                "in place of FILE.avi (written beside it and renamed over it, so a failure keeps it).\n"
                "Prints how many frames were recovered; exit status 1 when FILE.avi holds no AVI\n"
                "header or no whole frame. No camera is needed.",
                kJsonOnly, runRepair},
    CommandEntry{"settings", "save|load FILE.qdx", "the camera's settings to or from a settings file",
                "save FILE  read every setting from the camera and write FILE (written whole or not at all)\n"
                "load FILE  check the whole FILE, then send its 38 values to the camera\n"
                "The viewer's \"Save Parameter\" and \"Load Parameter\" files. A file that is not a settings\n"
                "file sends nothing: its line and the reason go to stderr, exit status 2.",
                kJsonOnly, runSettings},
    CommandEntry{"dp", "detect [FILE]", "find defect pixels in one fresh frame (sensor luma)",
                "Prints the defect-pixel text (\"Dark (n)\", then x,y per pixel) of the first 64 pixels\n"
                "inside the 2-pixel border; FILE: also the 256-byte table, for 'table set dp FILE'.\n"
                "Nothing is sent to the camera.",
                kDpOptions, runDp},
    CommandEntry{"fpn", "detect [FILE]", "measure the fixed-pattern noise of one fresh frame (sensor luma)",
                "Prints the FPN text (\"Avarage <mean>\", then a line of 408 corrections per row);\n"
                "FILE: writes the 82,416-byte table instead, for 'table set fpn FILE', and prints the mean.\n"
                "Nothing is sent to the camera. Take it of an evenly lit, unstructured scene.",
                kJsonOnly, runFpn},
    CommandEntry{"table", "get|set|save|clear gamma|dp|fpn [FILE]",
                "move correction tables between files, the camera and its EEPROMs",
                "get   the camera's working table into FILE\n"
                "set   FILE into the camera's working table\n"
                "save  the camera's working table into its EEPROM (gamma: FX2; dp, fpn: sensor head,\n"
                "      fpn with the current RAW gain)\n"
                "clear gamma: linear curves; dp: an empty table; fpn: all 0 (the EEPROM is not touched)\n"
                "Gamma files are text, 4,096 lines \"t0,t1,t2\" (CR LF); dp and fpn files are the table's\n"
                "bytes (256 and 82,416). Messages as the viewer's Calibration page shows them.",
                kTableOptions, runTable},
    CommandEntry{"csv", "FILE", "consecutive whole frames' luma values as CSV files, as the viewer saves them",
                "FILE scan.csv gives scan_001.csv, scan_002.csv, ...: a line per row, values 0..4095\n"
                "separated by commas, CR LF line ends. The camera sends luma while the files are written.\n"
                "An unplug of the camera ends the set at once (its frames would not be consecutive): the\n"
                "files written are listed, stderr says the set is incomplete, exit status 1.",
                kCsvOptions, runCsv},
    CommandEntry{"i2c", "read|write SLAVE [SIZE|BYTE...]", "raw transfers on the camera's I2C bus",
                "Numbers are hexadecimal as in the viewer's Debug dialog (0x allowed), SIZE decimal 1..64.\n"
                "  i2c write 58 00 11 22     write three bytes to slave 58\n"
                "  i2c read 58 2 --write 00  write 00 (the sub-address), then read two bytes",
                kI2cOptions, runI2c},
    CommandEntry{"reg", "read|write ADDR [VALUE]", "raw FPGA register access, hexadecimal as in the Debug dialog",
                "  reg write 5 1A2B   register 0x5 := 0x1A2B\n"
                "  reg read 5         prints 1A2B\n"
                "'get reg:N' and 'set reg:N=V' take decimal or 0x numbers and show the value both ways.",
                kRawReadOptions, runReg},
    CommandEntry{"eeprom", "read|write fx2|cis ADDR [SIZE|BYTE...]", "raw bytes of the camera's two EEPROMs",
                "Addresses hexadecimal 0..FFFFF, SIZE decimal 1..64, at most 64 bytes a write.\n"
                "A write waits up to a second while the memory is busy.",
                kRawReadOptions, runEeprom},
};

const CommandEntry* findCommand(std::string_view name)
{
    for (const CommandEntry& command : kCommands)
        if (command.name == name)
            return &command;
    return nullptr;
}

constexpr OptionInfo kGlobalOptions[] = {
    {"--set", "NAME=VALUE", "send a setting first, as 'qdxctl set' does, rules and all (repeatable)", 'c'},
    {"--wait", "SECONDS", "wait this long for the camera to appear (default 2)", 'w'},
    {"--help", "", "this help; 'qdxctl COMMAND --help' describes a command", 'h'},
    {"--version", "", "print the version and exit", 'V'},
};

constexpr std::string_view kGlobalUsage = "usage: qdxctl [-c NAME=VALUE]... [-w SECONDS] COMMAND [ARGUMENTS]";

// Help lines "  -n, --frames N   text", the text in a column.
void printOptions(std::ostream& out, std::span<const OptionInfo> options)
{
    for (const OptionInfo& option : options) {
        std::string left = option.shortName ? "" : "    ";
        left += optionSpelling(option);
        left.resize(std::max<std::size_t>(left.size() + 2, 20), ' ');
        out << "  " << left << option.help << "\n";
    }
}

void printGeneralHelp(std::ostream& out)
{
    out << kGlobalUsage << "\n"
        << "The QDX camera from the command line (QDX_CAMERA=sim: the simulated camera).\n\nCommands:\n";
    for (const CommandEntry& command : kCommands) {
        std::string name(command.name);
        name.resize(10, ' ');
        out << "  " << name << command.summary << "\n";
    }
    out << "\nOptions before the command:\n";
    printOptions(out, kGlobalOptions);
    out << "\nA FILE given as - is standard input or output.\n"
           "Exit status: 0 success, 1 no camera or a failed transfer or file, 2 bad usage or value.\n"
           "SIGINT, SIGTERM and SIGHUP end a command through its normal end (its file finished, its\n"
           "summary printed) with exit status 128 + the signal: 130, 143, 129.\n"
           "'qdxctl COMMAND --help' describes a command; man qdxctl describes them all.\n";
}

void printCommandHelp(const CommandEntry& command, std::ostream& out)
{
    out << usageLine(command) << "\n" << command.summary << "\n";
    if (!command.details.empty())
        out << "\n" << command.details << "\n";
    if (!command.options.empty()) {
        out << "\nOptions:\n";
        printOptions(out, command.options);
    }
    if (command.moreHelp)
        out << "\n" << command.moreHelp();
}

bool wantsHelp(std::span<const std::string> args)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            return false;
        if (arg == "--help" || arg == "-h")
            return true;
    }
    return false;
}

int globalUsageError(std::ostream& err, std::string_view message)
{
    err << "qdxctl: " << message << "\n" << kGlobalUsage << "; qdxctl --help lists the commands\n";
    return kExitUsage;
}

enum class Early { None, Help, Version };

// The options before the command, up to the first word that is none; the
// index of the command in args.
int parseGlobals(std::span<const std::string> args, GlobalOptions& globals, std::size_t& next, Early& early,
                 std::ostream& err)
{
    // Stop at the command: its own options may share a letter with these.
    std::size_t end = 0;
    for (; end < args.size() && args[end].size() > 1 && args[end][0] == '-' && args[end] != "--"; ++end) {
        const std::string& arg = args[end];
        const bool valued = arg == "--set" || arg == "-c" || arg == "--wait" || arg == "-w";
        if (valued && end + 1 < args.size())
            ++end;
    }
    if (end < args.size() && args[end] == "--")
        ++end;
    Arguments parsed;
    std::string why;
    if (!Arguments::parse(args.first(end), kGlobalOptions, parsed, why))
        return globalUsageError(err, why + " before the command");
    next = end;
    if (parsed.has("--help"))
        early = Early::Help;
    else if (parsed.has("--version"))
        early = Early::Version;
    for (const auto& [name, value] : parsed.options()) {
        if (name == "--set") {
            Assignment assignment;
            if (!parseAssignment(value, assignment, why))
                return globalUsageError(err, "--set " + value + ": " + why);
            globals.settings.push_back(assignment);
        } else if (name == "--wait") {
            const auto seconds = parseSeconds(value);
            if (!seconds || *seconds > 3600)
                return globalUsageError(err, "--wait " + value + ": not a number of seconds 0..3600");
            globals.wait = std::chrono::milliseconds(static_cast<long long>(*seconds * 1000));
        }
    }
    return kExitOk;
}

}  // namespace

std::span<const CommandEntry> commandTable()
{
    return kCommands;
}

std::span<const OptionInfo> globalOptions()
{
    return kGlobalOptions;
}

std::vector<std::string_view> commandNames()
{
    std::vector<std::string_view> names;
    for (const CommandEntry& command : kCommands)
        names.push_back(command.name);
    return names;
}

int runQdxctl(std::span<const std::string> args, std::ostream& out, std::ostream& err)
{
    return runQdxctl(args, std::cin, out, err);
}

int runQdxctl(std::span<const std::string> args, std::istream& in, std::ostream& out, std::ostream& err)
{
    GlobalOptions globals;
    std::size_t next = 0;
    Early early = Early::None;
    if (const int status = parseGlobals(args, globals, next, early, err); status != kExitOk)
        return status;
    if (early == Early::Help) {
        printGeneralHelp(out);
        return kExitOk;
    }
    if (early == Early::Version) {
        out << versionLine("qdxctl") << "\n";
        return kExitOk;
    }
    if (next == args.size())
        return globalUsageError(err, "no command given");
    const CommandEntry* command = findCommand(args[next]);
    if (!command)
        return globalUsageError(err, "unknown command '" + args[next] + "'");
    const auto commandArgs = args.subspan(next + 1);
    if (wantsHelp(commandArgs)) {
        printCommandHelp(*command, out);
        return kExitOk;
    }

    // Only the process's own stderr can be a terminal worth a live status line.
    const bool errIsTerminal = &err == &std::cerr && isatty(STDERR_FILENO);
    Context context(*command, globals, in, out, err, errIsTerminal);
    Arguments arguments;
    if (std::string why; !Arguments::parse(commandArgs, command->options, arguments, why))
        return context.usageError(why);
    const int status = command->run(context, arguments);
    if (const int signal = stopSignal()) {
        const char* name = sigabbrev_np(signal);
        err << "qdxctl " << command->name << ": interrupted by SIG" << (name ? name : "?") << "\n";
        return 128 + signal;
    }
    return status;
}

}  // namespace qdx::ctl
