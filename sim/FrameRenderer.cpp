#include "FrameRenderer.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "TestPattern.h"
#include "protocol/RegisterEncoding.h"

namespace qdx::sim {

namespace {

constexpr int W = kFrameWidth;
constexpr int H = kFrameHeight;
constexpr std::size_t kPixels = static_cast<std::size_t>(W) * H;
constexpr float kMax = 4095.0f;

// Signal of a white card (reflectance 0.9) at 28.8 ms and unity gain: 2,800.
constexpr float kCountsPerStep = 2800.0f / (0.9f * 400.0f);
// Electrons per count at unity gain: sets the shot noise.
constexpr float kElectronsPerCount = 125.0f;
constexpr float kPixelOffsetSigma = 10.0f;
constexpr float kColumnOffsetSigma = 6.0f;
constexpr int kDefectsOfEachKind = 12;
constexpr int kBlackLevelScale = 4;  // the black level counts in steps of 4

int sm8(int word)
{
    return decodeRegister(Encoding::SM8, static_cast<uint16_t>(word));
}

int s9(int word)
{
    return decodeRegister(Encoding::S9, static_cast<uint16_t>(word));
}

float dbToGain(int steps)
{
    return std::pow(10.0f, static_cast<float>(steps) * static_cast<float>(kGainDbPerStep) / 20.0f);
}

float clamp12(float v)
{
    return v < 0 ? 0 : (v > kMax ? kMax : v);
}

uint16_t word12(float v)
{
    return static_cast<uint16_t>(static_cast<int>(clamp12(v) + 0.5f) << 4);
}

void putWord(uint8_t* p, uint16_t w)
{
    p[0] = static_cast<uint8_t>(w & 0xFF);
    p[1] = static_cast<uint8_t>(w >> 8);
}

void putMarkers(uint8_t* out)
{
    putWord(out, kStartMarker0);
    putWord(out + 2, kStartMarker1);
    putWord(out + kFrameBytes - 4, kEndMarker0);
    putWord(out + kFrameBytes - 2, kEndMarker1);
}

// 3 x 3 box average of a plane, edges repeated; tmp is scratch of the same size.
void box3(const std::vector<float>& in, std::vector<float>& out, std::vector<float>& tmp)
{
    for (int y = 0; y < H; ++y) {
        const float* row = &in[static_cast<std::size_t>(y) * W];
        float* t = &tmp[static_cast<std::size_t>(y) * W];
        t[0] = (2 * row[0] + row[1]) / 3;
        for (int x = 1; x < W - 1; ++x)
            t[x] = (row[x - 1] + row[x] + row[x + 1]) / 3;
        t[W - 1] = (row[W - 2] + 2 * row[W - 1]) / 3;
    }
    for (int y = 0; y < H; ++y) {
        const float* up = &tmp[static_cast<std::size_t>(std::max(y - 1, 0)) * W];
        const float* mid = &tmp[static_cast<std::size_t>(y) * W];
        const float* down = &tmp[static_cast<std::size_t>(std::min(y + 1, H - 1)) * W];
        float* o = &out[static_cast<std::size_t>(y) * W];
        for (int x = 0; x < W; ++x)
            o[x] = (up[x] + mid[x] + down[x]) / 3;
    }
}

SensorFlaws makeFlaws()
{
    SensorFlaws flaws;
    std::mt19937 random(20261207u);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    flaws.pixelOffset.resize(kPixels);
    for (auto& v : flaws.pixelOffset)
        v = normal(random) * kPixelOffsetSigma;
    for (auto& v : flaws.columnOffset)
        v = normal(random) * kColumnOffsetSigma;
    // Defects inside the 400 x 400 picture, apart from each other.
    std::uniform_int_distribution<int> place(8, W - 9);
    auto farFromOthers = [&](int x, int y) {
        for (const auto* list : {&flaws.stuckDark, &flaws.stuckBright})
            for (auto [ox, oy] : *list)
                if (std::abs(ox - x) < 4 && std::abs(oy - y) < 4)
                    return false;
        return true;
    };
    for (auto* list : {&flaws.stuckDark, &flaws.stuckBright}) {
        while (static_cast<int>(list->size()) < kDefectsOfEachKind) {
            const int x = place(random), y = place(random);
            if (farFromOthers(x, y))
                list->emplace_back(x, y);
        }
    }
    return flaws;
}

}  // namespace

const SensorFlaws& sensorFlaws()
{
    static const SensorFlaws flaws = makeFlaws();
    return flaws;
}

FrameRenderer::FrameRenderer()
{
    for (auto& plane : rgb_)
        plane.resize(kPixels);
    y_.resize(kPixels);
    cb_.resize(kPixels);
    cr_.resize(kPixels);
    scratch_.resize(kPixels);
    std::mt19937 random(42);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    gaussian_.resize(65536);
    for (auto& v : gaussian_)
        v = normal(random);
    scene_ = buildScene(sceneKind_);
}

FrameStatistics FrameRenderer::render(const FrameSettings& settings, uint64_t frameNumber, uint8_t* out)
{
    if (settings.scene == SceneKind::ColourBars) {
        renderTestPattern(settings, frameNumber, out);
        return {};
    }
    if (settings.scene != sceneKind_) {
        sceneKind_ = settings.scene;
        scene_ = buildScene(sceneKind_);
    }
    lit_ = scene_;
    drawMovingElement(sceneKind_, frameNumber, lit_);

    exposeSensor(settings, frameNumber);
    sampleWithClockPhase(settings.reg(QDX_REG_CIS_CLOCK_PHASE));
    FrameStatistics stats = measure(settings);
    if (settings.dataFormat == 1) {
        writeSensorLuma(out);
        return stats;
    }
    correctDefects(settings);
    correctFixedPattern(settings);
    correctColumns(settings);
    colourAndTone(settings);
    reduceNoise(settings.reg(QDX_REG_NOISE_REDUCTION));
    enhanceEdges(settings.reg(QDX_REG_EDGE_ENHANCEMENT));
    writeColour(settings, out);
    return stats;
}

// Light times exposure times gain, with shot and read noise, the sensor's
// fixed pattern (which the analogue gain amplifies too), the black level,
// saturation and the stuck pixels.
void FrameRenderer::exposeSensor(const FrameSettings& settings, uint64_t frameNumber)
{
    const auto& flaws = sensorFlaws();
    const float gain = static_cast<float>(settings.reg(QDX_REG_RAW_GAIN)) / 16.0f;
    const float exposure = static_cast<float>(settings.reg(QDX_REG_EXPOSURE_TIME));
    const float black = static_cast<float>(settings.reg(QDX_REG_BLACK_LEVEL) * kBlackLevelScale);
    const float readNoise = 1.2f + 0.6f * gain;

    std::array<float, 4096> sigma;
    for (std::size_t v = 0; v < sigma.size(); ++v)
        sigma[v] = std::sqrt(static_cast<float>(v) * gain / kElectronsPerCount + readNoise * readNoise);

    random_ ^= static_cast<uint32_t>(frameNumber * 2654435761u);
    if (random_ == 0)
        random_ = 1;
    uint32_t r = random_;
    for (int c = 0; c < 3; ++c) {
        const float scale = kCountsPerStep * exposure * gain * kIlluminant[static_cast<std::size_t>(c)];
        const float* in = lit_.rgb[static_cast<std::size_t>(c)].data();
        float* outPlane = rgb_[static_cast<std::size_t>(c)].data();
        for (int y = 0; y < H; ++y) {
            for (int x = 0; x < W; ++x) {
                const std::size_t p = static_cast<std::size_t>(y) * W + x;
                const float signal = std::min(in[p] * scale, kMax);
                r ^= r << 13;
                r ^= r >> 17;
                r ^= r << 5;
                const float noise = gaussian_[r >> 16] * sigma[static_cast<std::size_t>(signal)];
                const float offset = (flaws.pixelOffset[p] + flaws.columnOffset[static_cast<std::size_t>(x)]) * gain;
                outPlane[p] = clamp12(signal + noise + offset + black);
            }
        }
    }
    random_ = r;
    for (auto [x, y] : flaws.stuckDark)
        for (auto& plane : rgb_)
            plane[static_cast<std::size_t>(y) * W + x] = 0;
    for (auto [x, y] : flaws.stuckBright)
        for (auto& plane : rgb_)
            plane[static_cast<std::size_t>(y) * W + x] = kMax;
}

// The sensor head samples its analogue pixel stream with an adjustable clock
// phase: off its best phase, neighbouring pixels bleed into each other and an
// echo appears a few pixels to the right.
void FrameRenderer::sampleWithClockPhase(int phase)
{
    const int distance = std::abs(((phase - kBestClockPhase) % 16 + 16) % 16);
    const int d = std::min(distance, 16 - distance);  // 0..8
    if (d == 0)
        return;
    const float blur = 0.85f * static_cast<float>(d) / 8.0f;
    const float echo = 0.25f * static_cast<float>(d) / 8.0f;
    std::array<float, W> row;
    for (auto& plane : rgb_) {
        for (int y = 0; y < H; ++y) {
            float* p = &plane[static_cast<std::size_t>(y) * W];
            std::copy(p, p + W, row.begin());
            for (int x = 0; x < W; ++x) {
                const float left = row[static_cast<std::size_t>(std::max(x - 1, 0))];
                const float right = row[static_cast<std::size_t>(std::min(x + 1, W - 1))];
                const float ghost = row[static_cast<std::size_t>(std::max(x - 3, 0))];
                const float v = (1 - blur) * row[static_cast<std::size_t>(x)] + blur * 0.5f * (left + right);
                p[x] = clamp12(v + echo * (ghost - v));
            }
        }
    }
}

// Metering over the chosen area (QDX_REG_CONTROL_AREA1: whole picture or a centred
// square of 50 to 350 pixels; QDX_REG_CONTROL_AREA2: inside or outside it), and a
// sparse grid of colour samples for the white balance.
FrameStatistics FrameRenderer::measure(const FrameSettings& settings) const
{
    FrameStatistics stats;
    stats.valid = true;
    const float black = static_cast<float>(settings.reg(QDX_REG_BLACK_LEVEL) * kBlackLevelScale);
    const int area = settings.reg(QDX_REG_CONTROL_AREA1) & 7;
    const bool outside = settings.reg(QDX_REG_CONTROL_AREA2) == 1;
    const int half = area * 25;
    const int lo = W / 2 - half, hi = W / 2 + half;
    double sum = 0, all = 0;
    long count = 0, allCount = 0;
    for (int y = 0; y < H; y += 2) {
        for (int x = 0; x < W; x += 2) {
            const std::size_t p = static_cast<std::size_t>(y) * W + x;
            const float luma = 0.299f * rgb_[0][p] + 0.587f * rgb_[1][p] + 0.114f * rgb_[2][p] - black;
            all += luma;
            ++allCount;
            const bool inside = area == 0 || (x >= lo && x < hi && y >= lo && y < hi);
            if (inside != outside || area == 0) {
                sum += luma;
                ++count;
            }
        }
    }
    stats.meteredLuma = count ? sum / static_cast<double>(count) : all / static_cast<double>(allCount);
    stats.samples.reserve(static_cast<std::size_t>((W / 4 + 1) * (H / 4 + 1)));
    for (int y = 2; y < H - 2; y += 4)
        for (int x = 2; x < W - 2; x += 4) {
            const std::size_t p = static_cast<std::size_t>(y) * W + x;
            stats.samples.push_back({rgb_[0][p] - black, rgb_[1][p] - black, rgb_[2][p] - black});
        }
    return stats;
}

// Data format 1: the sensor's luma before any correction, unflipped, so that
// calibration sees the defects and the fixed pattern where they are.
void FrameRenderer::writeSensorLuma(uint8_t* out) const
{
    for (std::size_t p = 0; p < kPixels; ++p) {
        const float luma = 0.299f * rgb_[0][p] + 0.587f * rgb_[1][p] + 0.114f * rgb_[2][p];
        uint8_t* pixel = out + 4 * p;
        putWord(pixel, 0x8000);
        putWord(pixel + 2, word12(luma));
    }
    putMarkers(out);
}

// Each valid entry of both defect-pixel tables is replaced by the mean of its
// left and right neighbours.
void FrameRenderer::correctDefects(const FrameSettings& settings)
{
    if (settings.reg(QDX_REG_DP_CORR) == 0)
        return;
    for (std::size_t i = 0; i + 1 < settings.dpTables.size(); i += 2) {
        const int x = settings.dpTables[i], y = settings.dpTables[i + 1];
        if (x >= W || y >= H)
            continue;
        const std::size_t p = static_cast<std::size_t>(y) * W + x;
        const std::size_t left = x > 0 ? p - 1 : p + 1;
        const std::size_t right = x < W - 1 ? p + 1 : p - 1;
        for (auto& plane : rgb_)
            plane[p] = 0.5f * (plane[left] + plane[right]);
    }
}

// The FPN table holds a 4-bit correction per pixel, 32 counts a step, as
// measured at some RAW gain. Mode 2 applies it as stored (the gain is held
// where it was measured); mode 1 scales it from x4 to the current gain,
// mode 3 from x1.
void FrameRenderer::correctFixedPattern(const FrameSettings& settings)
{
    const int mode = settings.reg(QDX_REG_FPN_CORR);
    if (mode < 1 || mode > 3 || settings.fpnTable.size() < static_cast<std::size_t>(reg::kFpnTableRegisters))
        return;
    const float gain = static_cast<float>(settings.reg(QDX_REG_RAW_GAIN));
    const float step = 32.0f * (mode == 2 ? 1.0f : mode == 1 ? gain / 64.0f : gain / 16.0f);
    constexpr int wordsPerRow = 102;
    for (int y = 0; y < H; ++y) {
        for (int k = 0; k < wordsPerRow - 1; ++k) {
            const uint16_t word = settings.fpnTable[static_cast<std::size_t>(y * wordsPerRow + k)];
            if (word == 0)
                continue;
            for (int j = 0; j < 4; ++j) {
                const int nibble = (word >> (4 * j)) & 0xF;
                const int correction = nibble >= 8 ? nibble - 16 : nibble;
                const std::size_t p = static_cast<std::size_t>(y) * W + 4 * k + j;
                for (auto& plane : rgb_)
                    plane[p] = clamp12(plane[p] - static_cast<float>(correction) * step);
            }
        }
    }
}

// The column offsets are measured on the sensor's covered rows, which the
// camera reads but does not send, and taken off every row.
void FrameRenderer::correctColumns(const FrameSettings& settings)
{
    if (settings.reg(QDX_REG_VFPN_CORR) == 0)
        return;
    const auto& flaws = sensorFlaws();
    const float gain = static_cast<float>(settings.reg(QDX_REG_RAW_GAIN)) / 16.0f;
    for (auto& plane : rgb_)
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                float& v = plane[static_cast<std::size_t>(y) * W + x];
                v = clamp12(v - flaws.columnOffset[static_cast<std::size_t>(x)] * gain);
            }
}

// White balance, colour matrix, gamma, then luma and chroma with their gains.
void FrameRenderer::colourAndTone(const FrameSettings& settings)
{
    const float red = dbToGain(sm8(settings.reg(QDX_REG_RED_GAIN)));
    const float blue = dbToGain(sm8(settings.reg(QDX_REG_BLUE_GAIN)));
    std::array<float, 9> m;
    for (int i = 0; i < 9; ++i)
        m[static_cast<std::size_t>(i)] = static_cast<float>(s9(settings.reg(QDX_REG_COLOR_MATRIX_RR + i))) / 128.0f;
    const float yGain = dbToGain(sm8(settings.reg(QDX_REG_Y_GAIN)));
    const float cbGain = dbToGain(sm8(settings.reg(QDX_REG_CB_GAIN)));
    const float crGain = dbToGain(sm8(settings.reg(QDX_REG_CR_GAIN)));
    const bool gamma = settings.gammaTable.size() == 4096;
    std::array<float, 4096> curve{};
    if (gamma)
        for (std::size_t i = 0; i < curve.size(); ++i)
            curve[i] = std::min<float>(settings.gammaTable[i], kMax);

    for (std::size_t p = 0; p < kPixels; ++p) {
        const float r0 = rgb_[0][p] * red, g0 = rgb_[1][p], b0 = rgb_[2][p] * blue;
        float r = clamp12(m[0] * r0 + m[1] * g0 + m[2] * b0);
        float g = clamp12(m[3] * r0 + m[4] * g0 + m[5] * b0);
        float b = clamp12(m[6] * r0 + m[7] * g0 + m[8] * b0);
        if (gamma) {
            r = curve[static_cast<std::size_t>(r)];
            g = curve[static_cast<std::size_t>(g)];
            b = curve[static_cast<std::size_t>(b)];
        }
        const float luma = 0.299f * r + 0.587f * g + 0.114f * b;
        y_[p] = clamp12(luma * yGain);
        cb_[p] = clamp12(0.564f * (b - luma) * cbGain + 2048.0f);
        cr_[p] = clamp12(0.713f * (r - luma) * crGain + 2048.0f);
    }
}

// Noise reduction blends each sample toward its 3 x 3 neighbourhood.
void FrameRenderer::reduceNoise(int strength)
{
    static constexpr float kBlend[4] = {0.0f, 0.35f, 0.6f, 0.85f};
    if (strength < 1 || strength > 3)
        return;
    const float s = kBlend[strength];
    std::vector<float> smooth(kPixels);
    for (auto* plane : {&y_, &cb_, &cr_}) {
        box3(*plane, smooth, scratch_);
        for (std::size_t p = 0; p < kPixels; ++p)
            (*plane)[p] += s * (smooth[p] - (*plane)[p]);
    }
}

// Edge enhancement: unsharp masking of the luma.
void FrameRenderer::enhanceEdges(int strength)
{
    static constexpr float kAmount[4] = {0.0f, 0.6f, 1.2f, 2.0f};
    if (strength < 1 || strength > 3)
        return;
    const float a = kAmount[strength];
    std::vector<float> smooth(kPixels);
    box3(y_, smooth, scratch_);
    for (std::size_t p = 0; p < kPixels; ++p)
        y_[p] = clamp12(y_[p] + a * (y_[p] - smooth[p]));
}

// Flip then rotation as the picture is read out, and the
// 4:2:2 packing: chroma is the mean of the pair's two pixels.
void FrameRenderer::writeColour(const FrameSettings& settings, uint8_t* out) const
{
    const int flip = settings.reg(QDX_REG_IMAGE_FLIP) & 3;
    const int rotation = settings.reg(QDX_REG_IMAGE_ROTATION) & 3;
    const auto source = [&](int x, int y) {
        int u = x, v = y;
        switch (rotation) {
        case 1: u = y; v = H - 1 - x; break;   // 90 degrees clockwise
        case 2: u = W - 1 - x; v = H - 1 - y; break;
        case 3: u = W - 1 - y; v = x; break;
        default: break;
        }
        if (flip & 1)
            u = W - 1 - u;
        if (flip & 2)
            v = H - 1 - v;
        return static_cast<std::size_t>(v) * W + u;
    };
    for (int y = 0; y < H; ++y) {
        uint8_t* row = out + static_cast<std::size_t>(y) * W * 4;
        for (int x = 0; x < W; x += 2) {
            const std::size_t a = source(x, y), b = source(x + 1, y);
            uint8_t* group = row + x * 4;
            putWord(group, word12(0.5f * (cb_[a] + cb_[b])));
            putWord(group + 2, word12(y_[a]));
            putWord(group + 4, word12(0.5f * (cr_[a] + cr_[b])));
            putWord(group + 6, word12(y_[b]));
        }
    }
    putMarkers(out);
}

}  // namespace qdx::sim
