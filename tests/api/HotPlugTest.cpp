// The hot-plug cases on the simulated camera.
#include "api/HotPlugCases.h"

namespace qdx::test {
namespace {

class SimHotPlug final : public HotPlugBackend {
public:
    void setUp() override { resetSimCamera(); }
    void tearDown() override { QDX_Term(); }

    void plug(int camera, PlugOptions options) override
    {
        if (options.fast)
            QDXSim_SetFrameInterval(5000);
        // Stalled: the camera answers requests but delivers no frame.
        if (!options.streaming)
            QDXSim_SetStalled(1);
        QDXSim_SetPlugged(camera, 1);
    }
    void unplug(int camera) override { QDXSim_SetPlugged(camera, 0); }
    void startStreaming(int) override { QDXSim_SetStalled(0); }
    // The simulated camera does not say which of its two cameras is open.
    std::optional<CameraSeen> seen(int) const override { return std::nullopt; }
};

INSTANTIATE_TEST_SUITE_P(Sim, HotPlugTest,
                         ::testing::Values(HotPlugBackendKind{"sim", [] {
                             return std::unique_ptr<HotPlugBackend>(std::make_unique<SimHotPlug>());
                         }}));

}  // namespace
}  // namespace qdx::test
