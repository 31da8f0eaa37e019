// qdxctl's commands that read and write the camera's state: info, list, get,
// set, params; their refusals and the "no camera" answer.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cstring>
#include <fstream>
#include <functional>

#include "CameraModel.h"
#include "CtlFixture.h"

namespace qdx::ctl::test {
namespace {

using nlohmann::json;
using qdx::test::simRegister;

json parsed(const std::string& text)
{
    return json::parse(text, nullptr, false);  // discarded, not thrown, when invalid
}

struct SensorHeadCase {
    const char* name;
    std::function<void()> prepare;  // runs on a connected library
    int fpgaVersion;
    const char* fpgaText;
    const char* sensorHeadText;
    const char* sensorHeadKey;
    const char* serial;  // null: no serial line
};

// Guards the info texts: the firmware from bytes 2 and 3 of the device
// record, the FPGA version's fields and variant bit (any of 8..11 is "B"),
// the three sensor-head states with the serial number only when valid, and
// the same facts in the JSON.
TEST_F(CtlTest, InfoShowsVersionsAndSensorHeadState)
{
    const SensorHeadCase cases[] = {
        {"absent", [] { QDXSim_SetCisPresent(0); }, 0x0021, "2.1 (A)", "absent", "absent", nullptr},
        {"blank", [] {}, 0x0123, "2.3 (B)", "present, no valid data", "invalid", nullptr},
        {"valid",
         [] {
             ASSERT_EQ(QDX_Init_CISFlash(0), QDX_OK);
             const unsigned char serial[14] = {'S', 'N', '-', '0', '0', '4', '2'};
             ASSERT_EQ(QDX_Save_CIS_SerialNo(serial), QDX_OK);
         },
         0x08F5, "15.5 (B)", "valid", "valid", "SN-0042"},
    };
    const std::string firmware = std::to_string(sim::kFirmwareMajor) + "." + std::to_string(sim::kFirmwareMinor);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDXSim_Reset();
        qdx::test::startConnected();
        c.prepare();
        QDX_Term();
        QDXSim_SetRegister(QDX_REG_FPGA_VER, c.fpgaVersion, 0);

        const CtlRun text = runCtl({"info"});
        EXPECT_EQ(text.status, kExitOk) << text.err;
        EXPECT_NE(text.out.find("Connection        : connected\n"), std::string::npos) << text.out;
        EXPECT_NE(text.out.find("Firmware Ver.     : " + firmware + "\n"), std::string::npos) << text.out;
        EXPECT_NE(text.out.find(std::string("FPGA Ver.         : ") + c.fpgaText + "\n"), std::string::npos)
            << text.out;
        EXPECT_NE(text.out.find(std::string("Sensor head       : ") + c.sensorHeadText + "\n"), std::string::npos)
            << text.out;
        EXPECT_EQ(text.out.find("Serial number") != std::string::npos, c.serial != nullptr) << text.out;
        if (c.serial) {
            EXPECT_NE(text.out.find(std::string("Serial number     : ") + c.serial + "\n"), std::string::npos);
        }

        const CtlRun asJson = runCtl({"info", "--json"});
        const json info = parsed(asJson.out);
        ASSERT_FALSE(info.is_discarded()) << asJson.out;
        EXPECT_EQ(info.value("firmware", ""), firmware);
        EXPECT_EQ(info.value("fpga", ""), c.fpgaText);
        EXPECT_EQ(info.value("sensor_head", ""), c.sensorHeadKey);
        EXPECT_EQ(info.contains("serial_number"), c.serial != nullptr);
        // The record as the camera sent it: 48 bytes, firmware in bytes 2 and 3.
        const std::string record = info.value("device_information", "");
        ASSERT_EQ(record.size(), 96u);
        EXPECT_EQ(std::stoi(record.substr(4, 2), nullptr, 16), sim::kFirmwareMajor);
        EXPECT_EQ(std::stoi(record.substr(6, 2), nullptr, 16), sim::kFirmwareMinor);
    }
}

// Guards the round trip of every kind of value in one run: --set values are
// sent in order before the command (manual mode first, so the camera keeps
// the exposure), combos by entry text where an entry is a number, signed
// gains, raw registers that alias a setting; get shows the viewer's units.
TEST_F(CtlTest, SetValuesReadBackInTheViewersUnits)
{
    const CtlRun run = runCtl({"--set", "mode=MGC+MEC", "--set", "exposure=200", "--set=area1=100", "--set",
                               "red-gain=-10", "--set", "reg:2=0x7", "get", "exposure", "area1", "red-gain",
                               "black-level", "reg:2", "mode"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out,
              "exposure 200 (14.4ms)\n"
              "area1 2 (100)\n"
              "red-gain -10 (-0.352dB)\n"
              "black-level 7\n"
              "reg:2 7 (0x0007)\n"
              "mode 0 (MGC+MEC)\n");
    EXPECT_EQ(simRegister(QDX_REG_EXPOSURE_TIME), 200);

    const CtlRun set = runCtl({"set", "raw-gain=32", "mode=agc+aec", "flip=3"});
    ASSERT_EQ(set.status, kExitOk) << set.err;
    EXPECT_EQ(set.out, "raw-gain 32 (x2.000)\nmode 3 (AGC+AEC)\nflip 3 (H+V Flip)\n");
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_MODE), 3);
    EXPECT_EQ(simRegister(QDX_REG_IMAGE_FLIP), 3);

    const CtlRun asJson = runCtl({"get", "raw-gain", "mode", "reg:4", "--json"});
    const json values = parsed(asJson.out);
    ASSERT_FALSE(values.is_discarded()) << asJson.out;
    EXPECT_EQ(values["raw-gain"]["value"], 32);
    EXPECT_EQ(values["raw-gain"]["label"], "x2.000");
    EXPECT_EQ(values["mode"]["label"], "AGC+AEC");
    EXPECT_EQ(values["reg:4"]["value"], 32);
}

// Guards against set and --set sending settings around the camera's rules:
// ALC "ON" left the Mode on "MGC+AEC", FPN Mode2 left a RAW gain of 100 above
// the cap of 64, and a gain FPN correction holds could be changed. --raw and
// reg:N still go around the rules.
TEST_F(CtlTest, SetFollowsTheRulesAndRawGoesAroundThem)
{
    ASSERT_EQ(runCtl({"set", "mode=MGC+AEC"}).status, kExitOk);
    CtlRun run = runCtl({"set", "alc=ON"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "alc 1 (ON)\nmode 0 (MGC+MEC)\n");
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_MODE), 0);

    QDXSim_SetRegister(QDX_REG_RAW_GAIN, 100, 0);
    run = runCtl({"--set", "alc=OFF", "--set", "fpn-correction=Mode2", "get", "mode", "raw-gain"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "mode 1 (MGC+AEC)\nraw-gain 64 (x4.000)\n");
    EXPECT_EQ(simRegister(QDX_REG_FPN_CORR), 2);

    const int writes = QDXSim_GetRequestCount(QDX_REQUEST_REGISTER_WRITE);
    run = runCtl({"set", "black-level=3", "raw-gain=100"});
    EXPECT_EQ(run.status, kExitUsage);
    EXPECT_NE(run.err.find("raw-gain is held by fpn-correction 2 (Mode2)"), std::string::npos) << run.err;
    EXPECT_EQ(QDXSim_GetRequestCount(QDX_REQUEST_REGISTER_WRITE), writes) << "nothing sent";

    run = runCtl({"set", "--raw", "raw-gain=100", "alc=ON"});
    ASSERT_EQ(run.status, kExitOk) << run.err;
    EXPECT_EQ(run.out, "raw-gain 100 (x6.250)\nalc 1 (ON)\n");
    EXPECT_EQ(simRegister(QDX_REG_RAW_GAIN), 100);
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_MODE), 1);
    ASSERT_EQ(runCtl({"set", "reg:0=3"}).status, kExitOk);
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_MODE), 3);
}

struct RefusedCase {
    std::vector<std::string> args;
    const char* message;
};

// Guards the refusals: a bad command line, an unknown name and a value
// outside the settings table exit with status 2 and say why, and nothing at
// all reaches the camera, also when the bad value follows good ones.
TEST_F(CtlTest, BadArgumentsAndValuesAreRefusedBeforeAnythingIsSent)
{
    TempDir dir;
    const RefusedCase cases[] = {
        {{"set", "exposure=439"}, "exposure 439 is out of range 0..438"},
        {{"set", "raw-gain=15"}, "raw-gain 15 is out of range 16..255"},
        {{"set", "red-gain=-256"}, "red-gain -256 is out of range -255..255"},
        {{"set", "exposure=200", "black-level=3", "mode=2"}, "'2' is not a value of mode (0 MGC+MEC, 1 MGC+AEC, 3 AGC+AEC)"},
        {{"set", "flip=Mirror"}, "'Mirror' is not a value of flip"},
        {{"set", "nosuch=1"}, "unknown setting 'nosuch'"},
        {{"set", "exposure"}, "'exposure' is not NAME=VALUE"},
        {{"set", "exposure=12abc"}, "'12abc' is not a whole number"},
        {{"set", "exposure="}, "'' is not a whole number"},
        {{"set", "reg:65536=1"}, "register 65536 is out of range 0..65535"},
        {{"set", "reg:34=65536"}, "reg:34 value 65536 is out of range 0..65535"},
        {{"set"}, "nothing to set"},
        {{"get", "reg:-1"}, "register -1 is out of range 0..65535"},
        {{"get", "exposure", "reg:x"}, "'x' is not a whole number"},
        {{"--set", "exposure=999", "info"}, "--set exposure=999: exposure 999 is out of range 0..438"},
        {{"--set", "exposure=1"}, "no command given"},
        {{"--wait", "soon", "info"}, "--wait soon: not a number of seconds"},
        {{"--verbose", "info"}, "unknown option '--verbose' before the command"},
        {{"grab", dir.file("x.jpg")}, "unknown file type; use .ppm, .pgm, .png, .bmp, .raw or (16-bit) .tif"},
        {{"grab", dir.file("x.tif")}, "a TIFF file is 16-bit: add --depth 16"},
        {{"grab", dir.file("x.raw"), "--depth", "16"}, "16-bit pictures are .png, .tif, .tiff, .pgm or .ppm"},
        {{"grab", dir.file("x.png"), "--depth", "12"}, "--depth 12: the depth is 8 or 16"},
        {{"still", dir.file("x.bmp"), "--depth", "16"}, "unknown option '--depth'"},
        {{"still", dir.file("x.png")}, "a still is a .bmp file"},
        {{"still", dir.file("x.bmp"), "--format", "1"}, "unknown option '--format'"},
        {{"grab", dir.file("x.png"), "--format", "2"}, "--format 2: the data format is 0 or 1"},
        {{"grab", dir.file("x.png"), "--frames", "-1"}, "--frames -1: not a frame count"},
        {{"grab", dir.file("x.raw"), "--border"}, "--border is for pictures"},
        {{"grab"}, "grab takes one FILE"},
        {{"stream", "--seconds", "0"}, "--seconds 0: not a number of seconds above 0"},
        {{"stream", "--seconds"}, "--seconds needs a value (N)"},
        {{"params", "erase"}, "unknown action 'erase'"},
        {{"params"}, "params takes one action"},
        {{"csv"}, "csv takes one FILE"},
        {{"csv", dir.file("x.csv"), "--frames", "0"}, "--frames 0: not a frame count 1..1000"},
        {{"i2c", "read", "80"}, "slave address '80': not a hexadecimal number 0..7F"},
        {{"i2c", "read", "58", "65"}, "size '65': not a byte count 1..64"},
        {{"i2c", "write", "58", "01,100"}, "byte '100': not a hexadecimal number 0..FF"},
        {{"i2c", "write", "58", "1,-1"}, "byte '-1'"},
        {{"i2c", "peek", "58"}, "i2c read SLAVE [SIZE] or i2c write SLAVE [BYTE...]"},
        {{"i2c", "write", "58"}, "i2c write takes at least one BYTE"},
        {{"eeprom", "write", "fx2", "4000"}, "eeprom write takes at least one BYTE"},
        {{"reg", "read", "10000"}, "register '10000': not a hexadecimal number 0..FFFF"},
        {{"reg", "write", "5", "ZZ"}, "value 'ZZ': not a hexadecimal number"},
        {{"reg", "write", "5", "1", "--json"}, "--json is for reads"},
        {{"eeprom", "read", "flash", "0"}, "memory 'flash': fx2 (0) or cis (1)"},
        {{"eeprom", "write", "fx2", "104000", "01"}, "address '104000': not a hexadecimal number 0..FFFFF"},
        {{"eeprom", "write", "fx2", "FFFFF", "01", "02"}, "the bytes run past the memory's last address"},
        {{"info", "--bogus"}, "unknown option '--bogus'"},
        {{"info", "--json=yes"}, "--json takes no value"},
        {{"-x", "info"}, "unknown option '-x' before the command"},
        {{"stats", "-q"}, "unknown option '-q'"},
        {{"stats", "-n"}, "--frames needs a value (N)"},
        {{"grab", "-", "--json"}, "--json and FILE - both want standard output"},
        {{"grab", "-", "--raw", "--json"}, "--json and FILE - both want standard output"},
        {{"grab", "-", "--type", "raw"}, "--type raw: png, ppm, pgm, bmp or tif (raw frames: --raw)"},
        {{"grab", "-", "--type", "jpg"}, "--type jpg: png, ppm, pgm, bmp or tif"},
        {{"grab", dir.file("x.png"), "--type", "png"}, "--type is for FILE -"},
        {{"record", "-"}, "standard output takes raw frames only"},
        {{"repair", "-", dir.file("x.avi")}, "name the files, not -"},
        {{"dp", "detect", "-", "--json"}, "--json and FILE - both want standard output"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{}, "no command given"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const int requestsBefore = QDXSim_GetRequestCount(-1);
        const CtlRun run = runCtl(c.args);
        EXPECT_EQ(run.status, kExitUsage);
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("usage: qdxctl"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(QDXSim_GetRequestCount(-1), requestsBefore);
    }
    EXPECT_TRUE(dir.names().empty());
}

// Guards the answer without a camera: every command that needs one says
// "No Connected Camera!" with status 1 after the --wait time, writes no file;
// list says plainly that there is none and is not an error.
TEST_F(CtlTest, WithoutACameraCommandsSaySoAndListIsEmpty)
{
    TempDir dir;
    QDXSim_SetPlugged(0, 0);
    const std::vector<std::vector<std::string>> commands = {
        {"info"}, {"get", "exposure"}, {"set", "exposure=1"}, {"grab", dir.file("x.png")},
        {"stream", "--seconds", "1"}, {"params", "save"}, {"still", dir.file("x.bmp")},
        {"settings", "save", dir.file("x.qdx")},
        {"csv", dir.file("x.csv")}, {"reg", "read", "0"},
    };
    for (auto args : commands) {
        SCOPED_TRACE(testing::PrintToString(args));
        args.insert(args.begin(), {"--wait", "0.1"});
        const CtlRun run = runCtl(args);
        EXPECT_EQ(run.status, kExitFailure);
        EXPECT_EQ(run.err, "No Connected Camera!\n");
        EXPECT_EQ(run.out, "");
    }
    EXPECT_TRUE(dir.names().empty());

    const CtlRun list = runCtl({"--wait", "0.1", "list"});
    EXPECT_EQ(list.status, kExitOk);
    EXPECT_EQ(list.out, "No camera found.\n");
    const json none = parsed(runCtl({"--wait", "0.1", "list", "--json"}).out);
    ASSERT_FALSE(none.is_discarded());
    EXPECT_EQ(none["cameras"], json::array());

    QDXSim_SetPlugged(0, 1);
    const CtlRun found = runCtl({"list"});
    EXPECT_EQ(found.status, kExitOk);
    EXPECT_EQ(found.out.rfind("0  connected  firmware " + std::to_string(sim::kFirmwareMajor) + ".", 0), 0u)
        << found.out;
}

// Guards a camera that is there but refused being called absent ("No camera
// found.", status 0): list names it with its reason and fix and fails, in the
// JSON too, and a command that needs the camera adds the reason to its answer.
TEST_F(CtlTest, RefusedCameraIsListedWithReasonAndFix)
{
    const struct {
        int access;
        const char* reason;
        const char* key;
        const char* fix;
    } cases[] = {
        {QDXSIM_ACCESS_DENIED, "permission denied", "permission_denied", "install the udev rule 60-qdx-camera.rules"},
        {QDXSIM_ACCESS_BUSY, "in use by another program", "busy", "close the other program"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        QDXSim_SetAccess(0, c.access);
        const CtlRun list = runCtl({"--wait", "30", "list"});
        EXPECT_EQ(list.status, kExitFailure);
        EXPECT_EQ(list.out.rfind(std::string("0  not accessible  0 (simulated)\n   reason: ") + c.reason +
                                     "\n   fix: " + c.fix,
                                 0),
                  0u)
            << list.out;

        const json listed = parsed(runCtl({"--wait", "30", "list", "--json"}).out);
        ASSERT_FALSE(listed.is_discarded());
        const json& camera = listed["cameras"][0];
        EXPECT_EQ(camera["connected"], false);
        EXPECT_EQ(camera["problem"], c.key);
        EXPECT_EQ(camera["address"], 1);
        EXPECT_EQ(camera["fix"].get<std::string>().rfind(c.fix, 0), 0u);

        const CtlRun info = runCtl({"--wait", "30", "info"});
        EXPECT_EQ(info.status, kExitFailure);
        EXPECT_EQ(info.err.rfind(std::string("No Connected Camera!\nCamera 0 (simulated): ") + c.reason + "; ", 0), 0u)
            << info.err;
    }
}

// Guards --json on the read-only commands: stdout is one valid JSON document
// (nothing else mixed in) with the command's result.
TEST_F(CtlTest, ReadOnlyCommandsPrintValidJson)
{
    const struct {
        std::vector<std::string> args;
        const char* key;
    } cases[] = {
        {{"list", "--json"}, "cameras"},
        {{"info", "--json"}, "fpga"},
        {{"get", "--json"}, "vfpn-correction"},
        {{"get", "reg:255", "exposure", "--json"}, "reg:255"},
        {{"stream", "--seconds", "0.3", "--json"}, "frames_per_second"},
        {{"reg", "read", "30", "--json"}, "value"},
        {{"eeprom", "read", "fx2", "4000", "4", "--json"}, "bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const CtlRun run = runCtl(c.args);
        EXPECT_EQ(run.status, kExitOk) << run.err;
        const json result = parsed(run.out);
        ASSERT_FALSE(result.is_discarded()) << run.out;
        EXPECT_TRUE(result.contains(c.key)) << run.out;
    }
}

// Guards the raw commands against the camera's own state: a write lands
// where it was sent (a register value high byte first, bytes in order), reads
// answer in the Debug dialog's words, a failure exits 1 with the dialog's
// text, and --log names each request by its setup packet.
TEST_F(CtlTest, RawAccessWritesAndReadsAsTheDebugDialog)
{
    const auto ok = [](const std::vector<std::string>& args) {
        const CtlRun run = runCtl(args);
        EXPECT_EQ(run.status, kExitOk) << testing::PrintToString(args) << run.err;
        return run.out;
    };
    EXPECT_EQ(ok({"reg", "write", "5", "1A2B"}), "success.\n");
    EXPECT_EQ(simRegister(QDX_REG_CONTROL_TARGET), 0x1A2B);
    QDXSim_SetRegister(QDX_REG_HYSTERESIS_A1, 0x001F, 0);
    EXPECT_EQ(ok({"reg", "read", "0x6"}), "1F\n");

    EXPECT_EQ(ok({"eeprom", "write", "fx2", "4000", "01,02", "ff"}), "success.\n");
    unsigned char stored[3] = {};
    QDXSim_ReadMemory(QDX_MEMORY_FX2, 0x4000, 3, stored);
    EXPECT_EQ(std::vector<int>(stored, stored + 3), (std::vector<int>{0x01, 0x02, 0xFF}));
    EXPECT_EQ(ok({"eeprom", "read", "fx2", "4000", "3"}), "01 02 FF\n");

    EXPECT_EQ(ok({"i2c", "write", "58", "00", "11", "22"}), "success.\n");
    EXPECT_EQ(ok({"i2c", "read", "58", "2", "--write", "00"}), "11 22\n");

    const CtlRun logged = runCtl({"reg", "read", "6", "--log"});
    EXPECT_NE(logged.err.find("register read  setup C0 18 0000 0006 0002  result 0  received 00 1F"), std::string::npos)
        << logged.err;

    const CtlRun noSlave = runCtl({"i2c", "read", "50"});
    EXPECT_EQ(noSlave.status, kExitFailure);
    EXPECT_EQ(noSlave.err, "qdxctl i2c: failed.\n");
    QDXSim_SetCisPresent(0);
    const CtlRun noHead = runCtl({"eeprom", "write", "cis", "0", "01"});
    EXPECT_EQ(noHead.status, kExitFailure);
    EXPECT_EQ(noHead.err, "qdxctl eeprom: failed.(none)\n");
}

// Guards the command table: every command answers --help with its usage line
// on stdout, status 0, without touching the camera.
TEST_F(CtlTest, EveryCommandHasHelp)
{
    const int requestsBefore = QDXSim_GetRequestCount(-1);
    for (const std::string_view name : commandNames()) {
        const CtlRun run = runCtl({std::string(name), "--help"});
        EXPECT_EQ(run.status, kExitOk) << name;
        EXPECT_EQ(run.out.rfind("usage: qdxctl [--set NAME=VALUE]... [--wait SECONDS] " + std::string(name), 0), 0u)
            << run.out;
        EXPECT_NE(runCtl({"--help"}).out.find("  " + std::string(name) + " "), std::string::npos) << name;
    }
    EXPECT_EQ(QDXSim_GetRequestCount(-1), requestsBefore);
}

// Guards the parameter store: a save in a run of its own stores the camera's
// settings (not the library's register shadow, empty in a new process), so a
// saved exposure comes back with load after being changed; a setting that
// cannot be read stores nothing; each action's outcome has the EEPROM menu's
// text, status 0 only for "Complete." (an empty store and a failure are 1).
TEST_F(CtlTest, ParamsActionsAnswerWithTheEepromMenuTexts)
{
    ASSERT_EQ(runCtl({"set", "exposure=123"}).status, kExitOk);
    EXPECT_EQ(runCtl({"params", "save"}).out, "Save Parameter : Complete.\n");
    ASSERT_EQ(runCtl({"set", "exposure=400"}).status, kExitOk);
    const CtlRun load = runCtl({"params", "load"});
    EXPECT_EQ(load.status, kExitOk);
    EXPECT_EQ(load.out, "Load Parameter : Complete.\n");
    EXPECT_EQ(runCtl({"get", "exposure"}).out, "exposure 123 (8.9ms)\n");

    using Prepare = std::function<void()>;
    const Prepare blank = [] { QDXSim_Reset(); };
    const struct {
        const char* name;
        Prepare prepare;
        const char* action;
        int status;
        const char* out;
        const char* err;
    } cases[] = {
        {"empty store", blank, "load", kExitFailure, "", "No Saved Parameter Found in EEPROM.\n"},
        {"no default", blank, "default", kExitFailure, "",
         "No Default Parameter Found in EEPROM.\nUse Application Default Setting.\n"},
        {"save default", blank, "save-default", kExitOk, "Save Parameter as Default : Complete.\n", ""},
        {"load default", [] { QDXSim_Reset(); runCtl({"params", "save-default"}); }, "default", kExitOk,
         "Load Default Parameter : Complete.\n", ""},
        {"clear default", [] { runCtl({"params", "save-default"}); }, "clear-default", kExitOk,
         "Clear Default Parameter : Complete.\n", ""},
        {"cleared default", [] { runCtl({"params", "save-default"}); runCtl({"params", "clear-default"}); },
         "default", kExitFailure, "", "No Default Parameter Found in EEPROM.\nUse Application Default Setting.\n"},
        {"save fails", [] { QDXSim_FailRequests(QDX_REQUEST_MEMORY_WRITE, 1); }, "save", kExitFailure, "",
         "Save Parameter : Error!\n"},
        {"setting unreadable", [] { QDXSim_FailRequests(QDX_REQUEST_REGISTER_READ, 1); }, "save", kExitFailure, "",
         "Save Parameter : Error!\n"},
        {"nothing saved", [] { QDXSim_FailRequests(QDX_REQUEST_REGISTER_READ, 1); runCtl({"params", "save"}); }, "load",
         kExitFailure, "", "No Saved Parameter Found in EEPROM.\n"},
        {"load fails", [] { runCtl({"params", "save"}); QDXSim_FailRequests(QDX_REQUEST_MEMORY_READ, 1); }, "load",
         kExitFailure, "", "Load Parameter : Error!\n"},
        {"default fails", [] { runCtl({"params", "save-default"}); QDXSim_FailRequests(QDX_REQUEST_MEMORY_READ, 1); },
         "default", kExitFailure, "", "Load Default Parameter : Error!\n"},
        {"save default fails", [] { QDXSim_SetMemoryState(QDX_MEMORY_FX2, 2, -1); }, "save-default", kExitFailure,
         "", "Save Parameter as Default : Error!\n"},
        {"clear fails", [] { QDXSim_FailRequests(QDX_REQUEST_MEMORY_WRITE, 1); }, "clear-default", kExitFailure, "",
         "Clear Default Parameter : Error!\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDXSim_Reset();
        c.prepare();
        const CtlRun run = runCtl({"params", c.action});
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
}

// Guards qdxctl settings: a file saved in one run brings the values back in
// another, negative ones included; a file that is not a whole settings file
// names its line on stderr, exits 2 and sends nothing.
TEST_F(CtlTest, SettingsFileSavesAndLoadsTheCamerasSettings)
{
    TempDir dir;
    const std::string file = dir.file("camera.qdx");
    ASSERT_EQ(runCtl({"set", "exposure=123", "red-gain=-3"}).status, kExitOk);
    const CtlRun save = runCtl({"settings", "save", file});
    EXPECT_EQ(save.status, kExitOk) << save.err;
    EXPECT_EQ(save.out, "Save Parameter : Complete.\n");
    ASSERT_EQ(runCtl({"set", "exposure=400", "red-gain=0"}).status, kExitOk);
    const CtlRun load = runCtl({"settings", "load", file});
    EXPECT_EQ(load.status, kExitOk) << load.err;
    EXPECT_EQ(load.out, "Load Parameter : Complete.\n");
    EXPECT_EQ(runCtl({"get", "exposure"}).out, "exposure 123 (8.9ms)\n");
    EXPECT_EQ(runCtl({"get", "red-gain"}).out.rfind("red-gain -3 ", 0), 0u);

    std::ofstream(file, std::ios::trunc) << "#QDX_Setting_Data_(Do_not_edit_manually)\n0\nx\n";
    const int writes = QDXSim_GetRequestCount(QDX_REQUEST_REGISTER_WRITE);
    const CtlRun refused = runCtl({"settings", "load", file});
    EXPECT_EQ(refused.status, kExitUsage);
    EXPECT_NE(refused.err.find(file + ": line 3: "), std::string::npos) << refused.err;
    EXPECT_EQ(QDXSim_GetRequestCount(QDX_REQUEST_REGISTER_WRITE), writes);
    EXPECT_EQ(runCtl({"settings", "erase", file}).status, kExitUsage);
}

}  // namespace
}  // namespace qdx::ctl::test
