// list and info: what the camera tells about itself.
#include <cstdio>
#include <cstring>

#include "CtlCommands.h"
#include "Json.h"
#include "QDX_API.h"
#include "core/device/CameraReads.h"
#include "core/device/DeviceProblem.h"
#include "core/model/PanelUpdate.h"

namespace qdx::ctl {
namespace {

constexpr int kDeviceInfoBytes = 48;
constexpr int kSerialBytes = 14;

// The Camera Info lines readVersions fills.
constexpr std::size_t kFirmwareLine = 4;
constexpr std::size_t kFpgaLine = 5;

struct DeviceRecord {
    unsigned char bytes[kDeviceInfoBytes] = {};
};

bool readDeviceRecord(DeviceRecord& record)
{
    return QDX_GetDevInfo(sizeof record.bytes, record.bytes) == QDX_OK;
}

std::string hexText(const DeviceRecord& record)
{
    std::string text;
    char pair[3];
    for (unsigned char byte : record.bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

// Sixteen bytes a line with their printable characters, as hexdump -C shows
// them: the record's other bytes are the camera's own, shown uninterpreted.
std::string hexDump(const DeviceRecord& record)
{
    std::string text;
    for (int offset = 0; offset < kDeviceInfoBytes; offset += 16) {
        char line[96];
        int n = std::snprintf(line, sizeof line, "  %02x ", offset);
        for (int i = 0; i < 16; ++i)
            n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %02x", record.bytes[offset + i]);
        text += line;
        text += "  |";
        for (int i = 0; i < 16; ++i) {
            const unsigned char c = record.bytes[offset + i];
            text += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '.';
        }
        text += "|\n";
    }
    return text;
}

// How info names a QDX_CIS_FLASH_* state: for people, and for --json.
struct SensorHeadState {
    const char* text;
    const char* key;
};

SensorHeadState sensorHead(int state)
{
    switch (state) {
    case QDX_CIS_FLASH_ABSENT:
        return {"absent", "absent"};
    case QDX_CIS_FLASH_INVALID:
        return {"present, no valid data", "invalid"};
    default:
        return {"valid", "valid"};
    }
}

}  // namespace

int runList(Context& context, const Arguments& arguments)
{
    if (!arguments.operands().empty())
        return context.usageError("list takes no operands");
    const bool json = arguments.has("--json");
    if (!context.findCamera()) {
        QDX_HANDLE running = nullptr;
        if (QDX_GetDataSemaphoHandle(&running) != QDX_OK || !running)
            return kExitFailure;  // the library did not start; findCamera said why
        // Present but refused is not "no camera": its place, why, and the fix.
        const auto problem = viewer::readDeviceProblem();
        if (!problem) {
            if (json)
                printJson(context.out(), Json{{"cameras", Json::array()}});
            else
                context.out() << "No camera found.\n";
            return kExitOk;
        }
        const QDX_DEVICE_PROBLEM& raw = problem->raw;
        if (json) {
            char vendor[5], product[5];
            std::snprintf(vendor, sizeof vendor, "%04x", raw.vendorId);
            std::snprintf(product, sizeof product, "%04x", raw.productId);
            Json camera{{"id", 0},           {"connected", false},        {"bus", raw.busNumber},
                        {"address", raw.deviceAddress}, {"vendor_id", vendor}, {"product_id", product},
                        {"node", raw.devicePath},      {"problem", problem->key}, {"reason", problem->reason},
                        {"fix", problem->fix}};
            if (!problem->group.empty())
                camera["group"] = problem->group;
            printJson(context.out(), Json{{"cameras", Json::array({camera})}});
        } else {
            context.out() << "0  not accessible  " << problem->device;
            if (raw.devicePath[0] != '\0')
                context.out() << "  " << raw.devicePath;
            context.out() << "\n   reason: " << problem->reason << "\n   fix: " << problem->fix << "\n";
        }
        return kExitFailure;
    }
    if (const int status = context.sendSettings(); status != kExitOk)
        return status;
    DeviceRecord record;
    const bool readable = readDeviceRecord(record);
    viewer::PanelUpdate versions;
    if (readable)
        viewer::readVersions(versions);
    const std::string firmware = versions.cameraInfo[kFirmwareLine].value_or("");
    if (json) {
        Json camera{{"id", 0}, {"connected", true}};
        if (readable) {
            camera["firmware"] = firmware;
            camera["device_information"] = hexText(record);
        }
        printJson(context.out(), Json{{"cameras", Json::array({camera})}});
    } else {
        context.out() << "0  connected";
        if (readable)
            context.out() << "  firmware " << firmware << "  device-information " << hexText(record);
        context.out() << "\n";
    }
    return readable ? kExitOk : context.failure("camera 0: the device information could not be read");
}

int runInfo(Context& context, const Arguments& arguments)
{
    if (!arguments.operands().empty())
        return context.usageError("info takes no operands");
    if (const int status = context.connectCamera(); status != kExitOk)
        return status;

    DeviceRecord record;
    if (!readDeviceRecord(record))
        return context.failure("the device information could not be read");
    viewer::PanelUpdate versions;
    viewer::readVersions(versions);
    const auto& firmware = versions.cameraInfo[kFirmwareLine];
    const auto& fpga = versions.cameraInfo[kFpgaLine];
    if (!firmware || !fpga)
        return context.failure("the versions could not be read");
    int state = QDX_CIS_FLASH_ABSENT;
    if (QDX_Check_CISFlash(&state) != QDX_OK)
        return context.failure("the sensor head's memory could not be checked");
    std::string serial;
    if (state == QDX_CIS_FLASH_VALID) {
        unsigned char buffer[kSerialBytes] = {};
        if (QDX_Load_CIS_SerialNo(buffer) != QDX_OK)
            return context.failure("the serial number could not be read");
        serial.assign(reinterpret_cast<const char*>(buffer), strnlen(reinterpret_cast<const char*>(buffer), kSerialBytes));
    }

    if (arguments.has("--json")) {
        Json info{{"connected", true},
                  {"firmware", *firmware},
                  {"fpga", *fpga},
                  {"sensor_head", sensorHead(state).key}};
        if (state == QDX_CIS_FLASH_VALID)
            info["serial_number"] = serial;
        info["device_information"] = hexText(record);
        printJson(context.out(), info);
        return kExitOk;
    }
    std::ostream& out = context.out();
    out << "Connection        : connected\n"
        << "Firmware Ver.     : " << *firmware << "\n"
        << "FPGA Ver.         : " << *fpga << "\n"
        << "Sensor head       : " << sensorHead(state).text << "\n";
    if (state == QDX_CIS_FLASH_VALID)
        out << "Serial number     : " << (serial.empty() ? "(none)" : serial) << "\n";
    out << "Device information:\n" << hexDump(record);
    return kExitOk;
}

}  // namespace qdx::ctl
