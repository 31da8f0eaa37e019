// The simulated USB bus: camera 0 (the one a library opens first) and a
// second camera of the same kind. Lives for the whole process.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "SimCamera.h"

namespace qdx::sim {

inline constexpr int kSimCameraCount = 2;

class SimBus {
public:
    // Start state from the environment: QDX_SIM_STATE_DIR (EEPROM images
    // persist there), QDX_SIM_FPS, QDX_SIM_SECOND_CAMERA=1,
    // QDX_SIM_EEPROM_WRITE_US (write-cycle time of the EEPROMs),
    // QDX_SIM_CONTROL_US, QDX_SIM_SCENE. What cannot be used as given is said
    // on stderr (see SimSettings.h). QDX_SIM_CONTROL is the library's: its
    // link opens the control channel (ControlChannel.h) from QDX_Init to
    // QDX_Term.
    static SimBus& instance();

    SimCamera& camera(int index) { return *cameras_[static_cast<std::size_t>(index)]; }

    void reset();
    uint64_t requestCount(int bRequest) const;

    // Calls onChange after every change of a camera's plug state or access,
    // on the thread that made it, until unwatch(id) has returned. Any thread.
    int watch(std::function<void()> onChange);
    void unwatch(int id);

private:
    SimBus();
    void applyEnvironment();
    void tellWatchers();

    std::mutex watchMutex_;  // protects watchers_ and nextWatch_; held while they are told
    std::vector<std::pair<int, std::function<void()>>> watchers_;
    int nextWatch_ = 0;
    std::array<std::unique_ptr<SimCamera>, kSimCameraCount> cameras_;
};

}  // namespace qdx::sim
