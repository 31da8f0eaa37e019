#include "SimBus.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace qdx::sim {

namespace {

const char* env(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

}  // namespace

SimBus& SimBus::instance()
{
    // Never destroyed: library threads and a host that skips QDX_Term may
    // still reach the bus while static objects are torn down at exit.
    static SimBus* bus = new SimBus();
    return *bus;
}

SimBus::SimBus()
{
    std::string dir;
    if (const char* stateDir = env("QDX_SIM_STATE_DIR")) {
        dir = stateDir;
        if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
            dir.clear();
    }
    for (int i = 0; i < kSimCameraCount; ++i)
        cameras_[static_cast<std::size_t>(i)] =
            std::make_unique<SimCamera>(i, dir.empty() ? std::string() : dir + "/camera" + std::to_string(i));
    camera(0).setPlugged(true);
    applyEnvironment();
}

void SimBus::applyEnvironment()
{
    if (const char* fps = env("QDX_SIM_FPS")) {
        const double rate = std::strtod(fps, nullptr);
        const auto interval = rate > 0 ? std::chrono::microseconds(static_cast<long>(1e6 / rate))
                                       : std::chrono::microseconds(0);
        for (auto& cam : cameras_)
            cam->setFrameInterval(interval);
    }
    if (const char* cycle = env("QDX_SIM_EEPROM_WRITE_US")) {
        const auto us = std::chrono::microseconds(std::strtol(cycle, nullptr, 10));
        for (auto& cam : cameras_)
            cam->setDefaultEepromWriteCycle(us);
    }
    if (const char* latency = env("QDX_SIM_CONTROL_US")) {
        const auto us = std::chrono::microseconds(std::strtol(latency, nullptr, 10));
        for (auto& cam : cameras_)
            cam->setControlLatency(us);
    }
    if (const char* scene = env("QDX_SIM_SCENE")) {
        const long kind = std::strtol(scene, nullptr, 10);
        if (kind >= 0 && kind <= 3)
            camera(0).withModel([&](CameraModel& model) { model.setScene(static_cast<SceneKind>(kind)); });
    }
    if (const char* second = env("QDX_SIM_SECOND_CAMERA"))
        camera(1).setPlugged(std::string(second) == "1");
}

void SimBus::reset()
{
    camera(0).reset(true);
    camera(1).reset(false);
}

uint64_t SimBus::requestCount(int bRequest) const
{
    uint64_t total = 0;
    for (const auto& cam : cameras_)
        total += cam->requestCount(bRequest);
    return total;
}

}  // namespace qdx::sim
