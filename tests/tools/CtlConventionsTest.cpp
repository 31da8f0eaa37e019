// The command-line conventions qdxctl shares with its peers: "-" for standard
// input and output, the spellings of an option, --json on every result.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "CtlFixture.h"
#include "qdxctl/Command.h"

namespace qdx::ctl::test {
namespace {

using json = nlohmann::ordered_json;
namespace fs = std::filesystem;

// Temporary files go to a folder of the test's own while it runs, so that
// whatever a run leaves behind is seen.
class ScratchTmpdir {
public:
    ScratchTmpdir()
    {
        if (const char* old = std::getenv("TMPDIR"))
            old_ = old;
        ::setenv("TMPDIR", dir_.path().c_str(), 1);
    }
    ~ScratchTmpdir() { old_ ? ::setenv("TMPDIR", old_->c_str(), 1) : ::unsetenv("TMPDIR"); }
    std::vector<std::string> names() const { return dir_.names(); }

private:
    TempDir dir_;
    std::optional<std::string> old_;
};

// args with "@" for the file, run once with a named file and once with "-".
std::vector<std::string> with(std::vector<std::string> args, const std::string& file)
{
    for (std::string& arg : args)
        if (arg == "@")
            arg = file;
    return args;
}

// Guards against "-" taken as a file name (table get gamma - wrote a file
// called "-", csv - wrote -_001.csv, grab - wrote raw frames): a file a
// command writes comes whole on stdout, byte for byte the named file, its
// message on stderr; a file it reads comes from stdin and does what the named
// file does; nothing is left in the temporary folder.
TEST_F(CtlTest, DashIsStandardInputOrOutputWhereverAFileIsTaken)
{
    TempDir dir;
    const ScratchTmpdir scratch;
    ASSERT_EQ(runCtl({"settings", "save", dir.file("saved.qdx")}).status, kExitOk);
    ASSERT_EQ(runCtl({"table", "get", "gamma", dir.file("gamma.txt")}).status, kExitOk);

    // Frames differ from run to run: what is made of one is compared by its
    // size, its header or its lines.
    enum class Same { Bytes, Size, SizeAndHead, Head, Lines };
    const struct {
        std::vector<std::string> args;
        const char* leaf;                // of the named file; written by the named run
        Same same = Same::Bytes;
        const char* input = nullptr;     // a file of dir for stdin: the command reads "-"
        const char* alsoWritten = "";    // a second file of the named run, after the first on stdout
    } cases[] = {
        {{"settings", "save", "@"}, "s.qdx"},
        {{"table", "get", "gamma", "@"}, "g.txt"},
        {{"table", "get", "fpn", "@"}, "f.bin"},
        {{"dp", "detect", "--type", "bright", "@"}, "dp.bin", Same::Size},
        {{"fpn", "detect", "@"}, "fpn.bin", Same::Size},
        {{"grab", "@", "--format", "1", "--type", "pgm"}, "x.pgm", Same::SizeAndHead},
        {{"grab", "@", "--depth", "16"}, "x.png", Same::Head},
        {{"still", "@"}, "x.bmp", Same::SizeAndHead},
        {{"csv", "@", "--frames", "2"}, "c_001.csv", Same::Lines, nullptr, "c_002.csv"},
        {{"settings", "load", "@"}, "saved.qdx", Same::Bytes, "saved.qdx"},
        {{"table", "set", "gamma", "@"}, "gamma.txt", Same::Bytes, "gamma.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        // The named file: "x.png", "c.csv" for the set c_001.csv, c_002.csv.
        std::string named = dir.file(c.leaf);
        if (*c.alsoWritten)
            named = dir.file("c.csv");
        std::vector<std::string> namedArgs = with(c.args, named);
        if (!c.input)  // --type is for "-" only
            for (auto at = namedArgs.begin(); at != namedArgs.end(); ++at)
                if (*at == "--type") {
                    namedArgs.erase(at, at + 2);
                    break;
                }
        const CtlRun byName = runCtl(namedArgs);
        ASSERT_EQ(byName.status, kExitOk) << byName.err;

        const CtlRun byDash = runCtl(with(c.args, "-"), c.input ? fileBytes(dir.file(c.input)) : "");
        EXPECT_EQ(byDash.status, kExitOk) << byDash.err;
        if (c.input) {
            EXPECT_EQ(byDash.out, byName.out);
        } else {
            const std::string expected = fileBytes(dir.file(c.leaf)) +
                                         (*c.alsoWritten ? fileBytes(dir.file(c.alsoWritten)) : "");
            EXPECT_GT(expected.size(), 100u);
            const auto lines = [](const std::string& text) { return std::count(text.begin(), text.end(), '\n'); };
            switch (c.same) {
            case Same::Bytes:
                EXPECT_TRUE(byDash.out == expected) << byDash.out.size() << " bytes, not " << expected.size();
                break;
            case Same::Size:
                EXPECT_EQ(byDash.out.size(), expected.size());
                break;
            case Same::SizeAndHead:  // "P5\n400 400\n255\n", a BMP's header
                EXPECT_EQ(byDash.out.size(), expected.size());
                EXPECT_EQ(byDash.out.substr(0, 15), expected.substr(0, 15));
                break;
            case Same::Head:  // a PNG's signature and IHDR up to its bit depth and colour type
                EXPECT_EQ(byDash.out.substr(0, 26), expected.substr(0, 26));
                break;
            case Same::Lines:
                EXPECT_EQ(lines(byDash.out), lines(expected));
                EXPECT_EQ(lines(expected), 800);
                break;
            }
            EXPECT_NE(byDash.err, "");  // the message, told apart from the file
        }
        EXPECT_EQ(byDash.err.find(fs::temp_directory_path().string()), std::string::npos) << byDash.err;
        EXPECT_TRUE(scratch.names().empty());
    }
    EXPECT_FALSE(fs::exists("-"));
    EXPECT_FALSE(fs::exists("-_001.csv"));

    // Standard input is read only so far: a larger "file" is refused whole, nothing sent.
    const int requestsBefore = QDXSim_GetRequestCount(-1);
    const CtlRun flood = runCtl({"settings", "load", "-"}, std::string(64 * 1024 + 1, '#'));
    EXPECT_EQ(flood.status, kExitFailure);
    EXPECT_NE(flood.err.find("-: standard input is larger than 65536 bytes"), std::string::npos) << flood.err;
    EXPECT_EQ(QDXSim_GetRequestCount(-1), requestsBefore);
    EXPECT_TRUE(scratch.names().empty());
}

// Guards the parser: every spelling of the same options gives the same
// result (long, "=value", short, joined short flags and values), and "--"
// lets a file name start with "-".
TEST_F(CtlTest, EverySpellingOfAnOptionIsTheSame)
{
    const std::vector<std::vector<std::string>> statsSpellings = {
        {"stats", "--frames", "2", "--json", "--roi", "2,2,10,10"},
        {"stats", "--roi=2,2,10,10", "--frames=2", "--json"},
        {"stats", "-jn2", "--roi", "2,2,10,10"},
        {"stats", "-n", "2", "--roi", "2,2,10,10", "-j"},
    };
    // The figures follow the simulated camera's moving picture: what the
    // options chose (frames, region, the JSON shape) must be the same.
    const auto chosen = [](const std::string& out) {
        const json result = json::parse(out);
        std::vector<std::string> keys;
        for (const auto& item : result.items())
            keys.push_back(item.key());
        return std::tuple(result["frames"], result["roi"], keys);
    };
    const CtlRun first = runCtl(statsSpellings[0]);
    ASSERT_EQ(first.status, kExitOk) << first.err;
    EXPECT_EQ(json::parse(first.out)["frames"], 2);
    EXPECT_EQ(json::parse(first.out)["roi"]["width"], 10);
    for (const auto& args : statsSpellings) {
        const CtlRun run = runCtl(args);
        ASSERT_EQ(run.status, kExitOk) << run.err;
        EXPECT_EQ(chosen(run.out), chosen(first.out)) << testing::PrintToString(args);
    }

    for (const auto& args : std::vector<std::vector<std::string>>{{"-c", "exposure=200", "get", "exposure"},
                                                                   {"--set=exposure=200", "-w", "1", "get", "exposure"},
                                                                   {"-cexposure=200", "--", "get", "exposure"}})
        EXPECT_EQ(runCtl(args).out, "exposure 200 (14.4ms)\n") << testing::PrintToString(args);

    for (const char* flag : {"--version", "-V"}) {
        const CtlRun version = runCtl({flag});
        EXPECT_EQ(version.status, kExitOk);
        EXPECT_EQ(version.out, versionLine("qdxctl") + "\n");
        EXPECT_EQ(version.out.rfind("qdxctl 1.", 0), 0u) << version.out;
    }

    TempDir dir;
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    const CtlRun dashName = runCtl({"grab", "--", "-x.png"});
    fs::current_path(before);
    EXPECT_EQ(dashName.status, kExitOk) << dashName.err;
    EXPECT_EQ(dir.names(), std::vector<std::string>{"-x.png"});
}

// Guards against commands that print a result without --json (dp detect and
// fpn detect had none): each has it, and each gives one JSON object of its
// own keys, the same keys on every run.
TEST_F(CtlTest, EveryResultComesAsJson)
{
    for (const CommandEntry& command : commandTable()) {
        const bool hasJson = std::any_of(command.options.begin(), command.options.end(),
                                         [](const OptionInfo& option) { return option.name == "--json"; });
        EXPECT_TRUE(hasJson) << command.name;
    }

    TempDir dir;
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> keys;
    } cases[] = {
        {{"dp", "detect", "--threshold", "250", "--type", "bright"}, {"type", "threshold", "count", "pixels", "file"}},
        {{"fpn", "detect", dir.file("f.bin")}, {"mean", "corrections", "file"}},
        {{"set", "alc=ON"}, {"alc", "mode"}},
        {{"grab", dir.file("x.pgm")}, {"file", "frame", "width", "height", "grey", "depth", "bytes"}},
        {{"still", dir.file("x.bmp")}, {"file", "frame", "width", "height", "grey", "depth", "bytes"}},
        {{"csv", dir.file("c.csv")}, {"files", "width", "height", "frames"}},
        {{"settings", "save", dir.file("s.qdx")}, {"action", "file", "message"}},
        {{"table", "get", "dp", dir.file("dp.bin")}, {"action", "table", "file", "message"}},
        {{"params", "save"}, {"action", "message"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::vector<std::string> args = c.args;
        args.push_back("-j");
        const CtlRun run = runCtl(args);
        ASSERT_EQ(run.status, kExitOk) << run.err;
        const json result = json::parse(run.out, nullptr, false);
        ASSERT_TRUE(result.is_object()) << run.out;
        std::vector<std::string> keys;
        for (const auto& item : result.items())
            keys.push_back(item.key());
        EXPECT_EQ(keys, c.keys);
    }
    const json fpn = json::parse(runCtl({"fpn", "detect", "--json"}).out);
    EXPECT_TRUE(fpn["file"].is_null());
    ASSERT_EQ(fpn["corrections"].size(), 404u);
    EXPECT_EQ(fpn["corrections"][0].size(), 408u);
    const json grab = json::parse(runCtl({"grab", dir.file("y.pgm"), "--json"}).out);
    EXPECT_EQ(grab["bytes"], fs::file_size(dir.file("y.pgm")));
}

}  // namespace
}  // namespace qdx::ctl::test
