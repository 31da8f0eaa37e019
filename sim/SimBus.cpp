#include "SimBus.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <system_error>

#include "SimSettings.h"

namespace qdx::sim {

namespace {

const char* env(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

// The folder for the EEPROM images; empty when QDX_SIM_STATE_DIR is unset or
// names no folder we can have, which is said on stderr.
std::string stateDir()
{
    const char* value = env("QDX_SIM_STATE_DIR");
    if (!value)
        return {};
    const std::string dir = value;
    int error = 0;
    struct stat st {};
    if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST)
        error = errno;
    else if (::stat(dir.c_str(), &st) != 0)
        error = errno;
    else if (!S_ISDIR(st.st_mode))
        error = ENOTDIR;
    if (error == 0)
        return dir;
    std::fprintf(stderr,
                 "QDX: QDX_SIM_STATE_DIR \"%s\" cannot hold the simulated cameras' EEPROM images (%s): they are "
                 "kept in memory only\n",
                 dir.c_str(), std::generic_category().message(error).c_str());
    return {};
}

// The setting's value, its warning said.
std::chrono::microseconds said(const TimeSetting& setting)
{
    if (!setting.warning.empty())
        std::fprintf(stderr, "%s\n", setting.warning.c_str());
    return setting.value;
}

// What became of the images, in one message for all of them.
void reportImages(SimBus& bus, const std::string& dir)
{
    std::string notes;
    for (int i = 0; i < kSimCameraCount; ++i) {
        bus.camera(i).withModel([&](CameraModel& model) {
            for (int type : {kMemoryFx2, kMemoryCis}) {
                if (const std::string& note = model.memory(type).startNote(); !note.empty())
                    notes += "  " + note + "\n";
            }
        });
    }
    if (!notes.empty())
        std::fprintf(stderr, "QDX: the simulated cameras' EEPROM images in \"%s\":\n%s", dir.c_str(), notes.c_str());
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
    const std::string dir = stateDir();
    for (int i = 0; i < kSimCameraCount; ++i)
        cameras_[static_cast<std::size_t>(i)] =
            std::make_unique<SimCamera>(i, dir.empty() ? std::string() : dir + "/camera" + std::to_string(i),
                                        [this] { tellWatchers(); });
    if (!dir.empty())
        reportImages(*this, dir);
    camera(0).setPlugged(true);
    applyEnvironment();
}

void SimBus::applyEnvironment()
{
    if (const char* fps = env("QDX_SIM_FPS")) {
        const auto interval = said(frameIntervalSetting(fps, kDefaultFrameInterval));
        for (auto& cam : cameras_)
            cam->setFrameInterval(interval);
    }
    if (const char* cycle = env("QDX_SIM_EEPROM_WRITE_US")) {
        const auto us =
            said(microsecondsSetting("QDX_SIM_EEPROM_WRITE_US", cycle, kDefaultEepromWriteCycle, kMaxSimLatency));
        for (auto& cam : cameras_)
            cam->setDefaultEepromWriteCycle(us);
    }
    if (const char* latency = env("QDX_SIM_CONTROL_US")) {
        const auto us =
            said(microsecondsSetting("QDX_SIM_CONTROL_US", latency, kDefaultControlLatency, kMaxSimLatency));
        for (auto& cam : cameras_)
            cam->setControlLatency(us);
    }
    if (const char* scene = env("QDX_SIM_SCENE")) {
        const SceneSetting kind = sceneSetting(scene, static_cast<int>(SceneKind::Chart));
        if (!kind.warning.empty())
            std::fprintf(stderr, "%s\n", kind.warning.c_str());
        camera(0).withModel([&](CameraModel& model) { model.setScene(static_cast<SceneKind>(kind.value)); });
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

int SimBus::watch(std::function<void()> onChange)
{
    std::lock_guard lock(watchMutex_);
    watchers_.emplace_back(++nextWatch_, std::move(onChange));
    return nextWatch_;
}

void SimBus::unwatch(int id)
{
    std::lock_guard lock(watchMutex_);
    std::erase_if(watchers_, [id](const auto& watcher) { return watcher.first == id; });
}

void SimBus::tellWatchers()
{
    std::lock_guard lock(watchMutex_);
    for (const auto& watcher : watchers_)
        watcher.second();
}

}  // namespace qdx::sim
