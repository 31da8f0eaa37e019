// The picture side of the simulated camera: a sensor head that turns the
// scene into 12-bit pixels with everything a real one adds (exposure, gain,
// black level, shot and read noise, fixed-pattern noise, column noise, defect
// pixels, clock phase), and the FPGA pipeline that corrects and colours them
// into the frame layout the host receives.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "CameraModel.h"
#include "Scene.h"

namespace qdx::sim {

// The sensor's own flaws, fixed for the life of a sensor head.
struct SensorFlaws {
    std::vector<float> pixelOffset;    // per pixel, 12-bit units at unity gain
    std::array<float, kFrameWidth> columnOffset{};
    std::vector<std::pair<int, int>> stuckDark;    // (x, y)
    std::vector<std::pair<int, int>> stuckBright;  // (x, y)
};

// The same flaws every time: a camera keeps its sensor.
const SensorFlaws& sensorFlaws();

class FrameRenderer {
public:
    FrameRenderer();

    // Writes one whole frame (kFrameBytes) and returns what the camera
    // measured on it. Not thread-safe; one renderer per camera.
    FrameStatistics render(const FrameSettings& settings, uint64_t frameNumber, uint8_t* out);

private:
    using Plane = std::vector<float>;

    void lightScene(SceneKind kind, uint64_t frameNumber);
    void exposeSensor(const FrameSettings& settings, uint64_t frameNumber);
    void drawShotNoise(uint64_t frameNumber);
    void sampleWithClockPhase(int phase);
    FrameStatistics measure(const FrameSettings& settings) const;
    void writeSensorLuma(uint8_t* out) const;
    void correctDefects(const FrameSettings& settings);
    void prepareCorrections(const FrameSettings& settings);
    void correctColourAndTone(const FrameSettings& settings);
    void reduceNoise(int strength);
    void enhanceEdges(int strength);
    void writeColour(const FrameSettings& settings, uint8_t* out) const;

    SceneKind sceneKind_ = SceneKind::Dark;
    ScenePlanes scene_;
    ScenePlanes lit_;                   // the scene with this frame's moving element
    RowSpan moved_;                     // the rows where lit_ differs from scene_
    std::array<Plane, 3> rgb_;          // working planes, 12-bit
    Plane y_, cb_, cr_, scratch_;
    std::vector<float> gaussian_;       // standard normal samples
    Plane shot_;                        // this frame's shot and read noise, plane after plane
    uint32_t random_ = 0x9E3779B9u;

    // Tables that follow the settings, made again only when those change
    // rather than per frame or per pixel.
    int sensorGain_ = -1;               // the RAW gain the two below are for
    std::array<float, 4096> sigma_{};   // noise standard deviation by signal
    Plane offset_;                      // the fixed pattern times the analogue gain
    int fpnMode_ = 0;                   // the FPN correction fpnCorrection_ holds (0 none)
    int fpnGain_ = -1;
    std::vector<uint16_t> fpnTable_;    // the table it was made from
    Plane fpnCorrection_;               // per pixel; 0 where the table corrects nothing
    std::array<float, kFrameWidth> columnCorrection_{};  // 0 while column correction is off
};

}  // namespace qdx::sim
