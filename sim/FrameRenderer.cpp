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

// The horizontal half of a 3 x 3 box average, edges repeated.
void boxRows(const float* in, float* out)
{
    for (int y = 0; y < H; ++y) {
        const float* row = in + static_cast<std::size_t>(y) * W;
        float* t = out + static_cast<std::size_t>(y) * W;
        t[0] = (2 * row[0] + row[1]) / 3;
        for (int x = 1; x < W - 1; ++x)
            t[x] = (row[x - 1] + row[x] + row[x + 1]) / 3;
        t[W - 1] = (row[W - 2] + 2 * row[W - 1]) / 3;
    }
}

// The vertical half over the rows boxRows made, edges repeated; each pixel's
// box average goes straight to finish(value, average) instead of to a plane
// of its own.
template <typename Finish>
void boxColumns(const float* rows, float* plane, Finish finish)
{
    for (int y = 0; y < H; ++y) {
        const float* up = rows + static_cast<std::size_t>(std::max(y - 1, 0)) * W;
        const float* mid = rows + static_cast<std::size_t>(y) * W;
        const float* down = rows + static_cast<std::size_t>(std::min(y + 1, H - 1)) * W;
        float* o = plane + static_cast<std::size_t>(y) * W;
        for (int x = 0; x < W; ++x)
            o[x] = finish(o[x], (up[x] + mid[x] + down[x]) / 3);
    }
}

// xorshift32, the sensor's noise source.
uint32_t xorshift(uint32_t r)
{
    r ^= r << 13;
    r ^= r >> 17;
    r ^= r << 5;
    return r;
}

// xorshift32 is linear over GF(2): a 32 x 32 bit matrix, column i the image
// of bit i. Its powers jump the sequence ahead, so that independent stretches
// of one frame's noise can be drawn side by side.
using BitMatrix = std::array<uint32_t, 32>;

uint32_t apply(const BitMatrix& m, uint32_t v)
{
    uint32_t r = 0;
    for (std::size_t i = 0; i < 32; ++i)
        if ((v >> i) & 1u)
            r ^= m[i];
    return r;
}

BitMatrix xorshiftPower(uint64_t n)
{
    BitMatrix result{}, step{};
    for (std::size_t i = 0; i < 32; ++i) {
        result[i] = 1u << i;
        step[i] = xorshift(1u << i);
    }
    const auto compose = [](const BitMatrix& a, const BitMatrix& b) {
        BitMatrix c{};
        for (std::size_t i = 0; i < 32; ++i)
            c[i] = apply(a, b[i]);
        return c;
    };
    for (; n != 0; n >>= 1) {
        if (n & 1)
            result = compose(step, result);
        step = compose(step, step);
    }
    return result;
}

// One frame takes a sample for each pixel of each plane, drawn in this many
// interleaved stretches: the steps of one stretch depend on each other, those
// of different stretches do not.
constexpr std::size_t kNoiseSamples = 3 * kPixels;
constexpr std::size_t kNoiseLanes = 8;
constexpr std::size_t kLaneLength = kNoiseSamples / kNoiseLanes;
static_assert(kNoiseSamples % kNoiseLanes == 0, "the stretches cover the frame exactly");

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
    shot_.resize(kNoiseSamples);
    offset_.resize(kPixels);
    fpnCorrection_.assign(kPixels, 0.0f);
    std::mt19937 random(42);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    gaussian_.resize(65536);
    for (auto& v : gaussian_)
        v = normal(random);
    scene_ = buildScene(sceneKind_);
    lit_ = scene_;
}

FrameStatistics FrameRenderer::render(const FrameSettings& settings, uint64_t frameNumber, uint8_t* out)
{
    if (settings.scene == SceneKind::ColourBars) {
        renderTestPattern(settings, frameNumber, out);
        return {};
    }
    lightScene(settings.scene, frameNumber);
    exposeSensor(settings, frameNumber);
    sampleWithClockPhase(settings.reg(QDX_REG_CIS_CLOCK_PHASE));
    FrameStatistics stats = measure(settings);
    if (settings.dataFormat == 1) {
        writeSensorLuma(out);
        return stats;
    }
    correctDefects(settings);
    prepareCorrections(settings);
    correctColourAndTone(settings);
    reduceNoise(settings.reg(QDX_REG_NOISE_REDUCTION));
    enhanceEdges(settings.reg(QDX_REG_EDGE_ENHANCEMENT));
    writeColour(settings, out);
    return stats;
}

// The still scene with this frame's moving element: only the rows the element
// was drawn on last frame are put back, not the whole scene copied.
void FrameRenderer::lightScene(SceneKind kind, uint64_t frameNumber)
{
    if (kind != sceneKind_) {
        sceneKind_ = kind;
        scene_ = buildScene(sceneKind_);
        lit_ = scene_;
        moved_ = {};
    }
    const auto first = static_cast<std::ptrdiff_t>(moved_.first) * W;
    const auto last = static_cast<std::ptrdiff_t>(moved_.last) * W;
    for (std::size_t c = 0; c < 3; ++c)
        std::copy(scene_.rgb[c].begin() + first, scene_.rgb[c].begin() + last, lit_.rgb[c].begin() + first);
    moved_ = drawMovingElement(sceneKind_, frameNumber, lit_);
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

    if (settings.reg(QDX_REG_RAW_GAIN) != sensorGain_) {
        sensorGain_ = settings.reg(QDX_REG_RAW_GAIN);
        const float readNoise = 1.2f + 0.6f * gain;
        for (std::size_t v = 0; v < sigma_.size(); ++v)
            sigma_[v] = std::sqrt(static_cast<float>(v) * gain / kElectronsPerCount + readNoise * readNoise);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const std::size_t p = static_cast<std::size_t>(y) * W + x;
                offset_[p] = (flaws.pixelOffset[p] + flaws.columnOffset[static_cast<std::size_t>(x)]) * gain;
            }
    }

    // Three passes, so that the two without table look-ups vectorise: the
    // signal, its noise, then the sum.
    std::array<float, 3> scale;
    for (std::size_t c = 0; c < 3; ++c)
        scale[c] = kCountsPerStep * exposure * gain * kIlluminant[c];
    const auto signalOf = [&](std::size_t c, float* out) {
        const float* in = lit_.rgb[c].data();
        for (std::size_t p = 0; p < kPixels; ++p)
            out[p] = std::min(in[p] * scale[c], kMax);
    };
    float* shot = shot_.data();
    for (std::size_t c = 0; c < 3; ++c)
        signalOf(c, shot + c * kPixels);
    drawShotNoise(frameNumber);
    const float* offset = offset_.data();
    for (std::size_t c = 0; c < 3; ++c) {
        float* outPlane = rgb_[c].data();
        signalOf(c, outPlane);
        const float* noise = shot + c * kPixels;
        for (std::size_t p = 0; p < kPixels; ++p)
            outPlane[p] = clamp12(outPlane[p] + noise[p] + offset[p] + black);
    }
    for (auto [x, y] : flaws.stuckDark)
        for (auto& plane : rgb_)
            plane[static_cast<std::size_t>(y) * W + x] = 0;
    for (auto [x, y] : flaws.stuckBright)
        for (auto& plane : rgb_)
            plane[static_cast<std::size_t>(y) * W + x] = kMax;
}

// Turns each pixel's signal in shot_ into its noise: a standard normal sample
// times the signal's standard deviation. The samples come from one xorshift
// sequence that runs on from frame to frame, pixel after pixel, plane after
// plane; it is drawn in interleaved stretches (each started by a jump ahead),
// since one step waits for the step before.
void FrameRenderer::drawShotNoise(uint64_t frameNumber)
{
    static const BitMatrix jump = xorshiftPower(kLaneLength);
    random_ ^= static_cast<uint32_t>(frameNumber * 2654435761u);
    if (random_ == 0)
        random_ = 1;
    std::array<uint32_t, kNoiseLanes> lane;
    lane[0] = random_;
    for (std::size_t k = 1; k < kNoiseLanes; ++k)
        lane[k] = apply(jump, lane[k - 1]);
    float* shot = shot_.data();
    const float* gaussian = gaussian_.data();
    const float* sigma = sigma_.data();
    for (std::size_t i = 0; i < kLaneLength; ++i)
        for (std::size_t k = 0; k < kNoiseLanes; ++k) {
            lane[k] = xorshift(lane[k]);
            float& sample = shot[k * kLaneLength + i];
            sample = gaussian[lane[k] >> 16] * sigma[static_cast<int>(sample)];
        }
    random_ = lane[kNoiseLanes - 1];
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
    const float keep = 1 - blur;
    const float bleed = blur * 0.5f;
    std::array<float, W> row;
    const auto sample = [&](int x, float left, float right, float ghost) {
        const float v = keep * row[static_cast<std::size_t>(x)] + bleed * (left + right);
        return clamp12(v + echo * (ghost - v));
    };
    for (auto& plane : rgb_) {
        for (int y = 0; y < H; ++y) {
            float* p = &plane[static_cast<std::size_t>(y) * W];
            std::copy(p, p + W, row.begin());
            // The edges repeat their outermost pixel; the loop between them has no tests.
            for (int x = 0; x < 3; ++x)
                p[x] = sample(x, row[static_cast<std::size_t>(std::max(x - 1, 0))],
                              row[static_cast<std::size_t>(x + 1)], row[0]);
            for (int x = 3; x < W - 1; ++x)
                p[x] = sample(x, row[static_cast<std::size_t>(x - 1)], row[static_cast<std::size_t>(x + 1)],
                              row[static_cast<std::size_t>(x - 3)]);
            p[W - 1] = sample(W - 1, row[W - 2], row[W - 1], row[W - 4]);
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
// mode 3 from x1. The column offsets are measured on the sensor's covered
// rows, which the camera reads but does not send, and taken off every row.
// Both become tables here, made again only when what they depend on changes;
// a correction that is off is a table of zeros, which leaves a 12-bit sample
// as it is.
void FrameRenderer::prepareCorrections(const FrameSettings& settings)
{
    const int rawGain = settings.reg(QDX_REG_RAW_GAIN);
    const float gain = static_cast<float>(rawGain) / 16.0f;
    const bool columns = settings.reg(QDX_REG_VFPN_CORR) != 0;
    const auto& flaws = sensorFlaws();
    for (std::size_t x = 0; x < columnCorrection_.size(); ++x)
        columnCorrection_[x] = columns ? flaws.columnOffset[x] * gain : 0.0f;

    int mode = settings.reg(QDX_REG_FPN_CORR);
    if (mode < 1 || mode > 3 || settings.fpnTable.size() < static_cast<std::size_t>(reg::kFpnTableRegisters))
        mode = 0;
    const bool sameGain = mode == 2 || rawGain == fpnGain_;
    if (mode == fpnMode_ && (mode == 0 || (sameGain && settings.fpnTable == fpnTable_)))
        return;
    fpnMode_ = mode;
    fpnGain_ = rawGain;
    if (mode == 0) {
        std::fill(fpnCorrection_.begin(), fpnCorrection_.end(), 0.0f);
        fpnTable_.clear();
        return;
    }
    fpnTable_ = settings.fpnTable;
    const float fullGain = static_cast<float>(rawGain);
    const float step = 32.0f * (mode == 2 ? 1.0f : mode == 1 ? fullGain / 64.0f : fullGain / 16.0f);
    constexpr int wordsPerRow = 102;
    for (int y = 0; y < H; ++y) {
        for (int k = 0; k < wordsPerRow - 1; ++k) {
            const uint16_t word = fpnTable_[static_cast<std::size_t>(y * wordsPerRow + k)];
            for (int j = 0; j < 4; ++j) {
                const int nibble = (word >> (4 * j)) & 0xF;
                const int correction = nibble >= 8 ? nibble - 16 : nibble;
                const std::size_t p = static_cast<std::size_t>(y) * W + 4 * k + j;
                fpnCorrection_[p] = word == 0 ? 0.0f : static_cast<float>(correction) * step;
            }
        }
    }
}

// The fixed-pattern and column corrections, white balance, colour matrix,
// gamma, then luma and chroma with their gains, in one pass over the pixels.
void FrameRenderer::correctColourAndTone(const FrameSettings& settings)
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

    // Row by row in three loops, so that the two without the curve's
    // look-ups vectorise. Without corrections (zero tables) the samples are
    // taken as they are, which is the same and cheaper.
    const bool corrections = fpnMode_ != 0 || settings.reg(QDX_REG_VFPN_CORR) != 0;
    const float* fpn = fpnCorrection_.data();
    const float* column = columnCorrection_.data();
    std::array<float, W> rowR, rowG, rowB;
    const auto balanceAndMix = [&](std::size_t row, auto corrected) {
        const float* inR = rgb_[0].data() + row;
        const float* inG = rgb_[1].data() + row;
        const float* inB = rgb_[2].data() + row;
        for (std::size_t x = 0; x < W; ++x) {
            const float r0 = corrected(inR, x) * red, g0 = corrected(inG, x), b0 = corrected(inB, x) * blue;
            rowR[x] = clamp12(m[0] * r0 + m[1] * g0 + m[2] * b0);
            rowG[x] = clamp12(m[3] * r0 + m[4] * g0 + m[5] * b0);
            rowB[x] = clamp12(m[6] * r0 + m[7] * g0 + m[8] * b0);
        }
    };
    for (int y = 0; y < H; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * W;
        if (corrections) {
            const float* fpnRow = fpn + row;
            balanceAndMix(row, [&](const float* plane, std::size_t x) {
                return clamp12(clamp12(plane[x] - fpnRow[x]) - column[x]);
            });
        } else {
            balanceAndMix(row, [](const float* plane, std::size_t x) { return plane[x]; });
        }
        if (gamma)
            for (std::size_t x = 0; x < W; ++x) {
                rowR[x] = curve[static_cast<std::size_t>(static_cast<int>(rowR[x]))];
                rowG[x] = curve[static_cast<std::size_t>(static_cast<int>(rowG[x]))];
                rowB[x] = curve[static_cast<std::size_t>(static_cast<int>(rowB[x]))];
            }
        float* outY = y_.data() + row;
        float* outCb = cb_.data() + row;
        float* outCr = cr_.data() + row;
        for (std::size_t x = 0; x < W; ++x) {
            const float r = rowR[x], g = rowG[x], b = rowB[x];
            const float luma = 0.299f * r + 0.587f * g + 0.114f * b;
            outY[x] = clamp12(luma * yGain);
            outCb[x] = clamp12(0.564f * (b - luma) * cbGain + 2048.0f);
            outCr[x] = clamp12(0.713f * (r - luma) * crGain + 2048.0f);
        }
    }
}

// Noise reduction blends each sample toward its 3 x 3 neighbourhood.
void FrameRenderer::reduceNoise(int strength)
{
    static constexpr float kBlend[4] = {0.0f, 0.35f, 0.6f, 0.85f};
    if (strength < 1 || strength > 3)
        return;
    const float s = kBlend[strength];
    for (auto* plane : {&y_, &cb_, &cr_}) {
        boxRows(plane->data(), scratch_.data());
        boxColumns(scratch_.data(), plane->data(), [s](float v, float smooth) { return v + s * (smooth - v); });
    }
}

// Edge enhancement: unsharp masking of the luma.
void FrameRenderer::enhanceEdges(int strength)
{
    static constexpr float kAmount[4] = {0.0f, 0.6f, 1.2f, 2.0f};
    if (strength < 1 || strength > 3)
        return;
    const float a = kAmount[strength];
    boxRows(y_.data(), scratch_.data());
    boxColumns(scratch_.data(), y_.data(), [a](float v, float smooth) { return clamp12(v + a * (v - smooth)); });
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
    // Along an output row the source moves by a fixed step (one pixel or one
    // row, either way), so the turn is worked out once per row.
    for (int y = 0; y < H; ++y) {
        uint8_t* row = out + static_cast<std::size_t>(y) * W * 4;
        const auto first = static_cast<std::ptrdiff_t>(source(0, y));
        const std::ptrdiff_t step = static_cast<std::ptrdiff_t>(source(1, y)) - first;
        const float* luma = y_.data() + first;
        const float* blue = cb_.data() + first;
        const float* red = cr_.data() + first;
        for (int x = 0; x < W; x += 2) {
            const std::ptrdiff_t a = x * step, b = a + step;
            uint8_t* group = row + x * 4;
            putWord(group, word12(0.5f * (blue[a] + blue[b])));
            putWord(group + 2, word12(luma[a]));
            putWord(group + 4, word12(0.5f * (red[a] + red[b])));
            putWord(group + 6, word12(luma[b]));
        }
    }
    putMarkers(out);
}

}  // namespace qdx::sim
