// The simulated USB bus: camera 0 (the one a library opens first) and a
// second camera of the same kind. Lives for the whole process.
#pragma once

#include <array>
#include <memory>

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

private:
    SimBus();
    void applyEnvironment();

    std::array<std::unique_ptr<SimCamera>, kSimCameraCount> cameras_;
};

}  // namespace qdx::sim
