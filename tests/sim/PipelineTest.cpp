// The simulated camera's sensor model, image pipeline and automatic controls,
// measured on the frames the library delivers.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "api/SimCameraFixture.h"

namespace qdx::test {
namespace {

constexpr int W = QDX_FRAME_WIDTH;
static_assert(QDX_FRAME_HEIGHT == W, "the planes below are W x W");

// One delivered frame, decoded into 12-bit planes.
struct Picture {
    std::vector<float> y, cb, cr;

    float at(const std::vector<float>& plane, int x, int yy) const
    {
        return plane[static_cast<std::size_t>(yy) * W + x];
    }
    // Mean of a plane over the half-open rectangle.
    double mean(const std::vector<float>& plane, int x0, int y0, int x1, int y1) const
    {
        double sum = 0;
        for (int yy = y0; yy < y1; ++yy)
            for (int x = x0; x < x1; ++x)
                sum += at(plane, x, yy);
        return sum / ((x1 - x0) * (y1 - y0));
    }
    double spread(int x0, int y0, int x1, int y1) const
    {
        const double m = mean(y, x0, y0, x1, y1);
        double sum = 0;
        for (int yy = y0; yy < y1; ++yy)
            for (int x = x0; x < x1; ++x)
                sum += (at(y, x, yy) - m) * (at(y, x, yy) - m);
        return std::sqrt(sum / ((x1 - x0) * (y1 - y0)));
    }
    // Sum of horizontal luma steps: how much fine detail survives.
    double detail(int x0, int y0, int x1, int y1) const
    {
        double sum = 0;
        for (int yy = y0; yy < y1; ++yy)
            for (int x = x0; x + 1 < x1; ++x)
                sum += std::abs(at(y, x + 1, yy) - at(y, x, yy));
        return sum;
    }
};

class PipelineTest : public SimCameraTest {
protected:
    void SetUp() override
    {
        SimCameraTest::SetUp();
        QDXSim_SetScene(0);
        QDXSim_SetFrameInterval(0);  // as fast as we read: the tests need many frames
        startConnected();
        set(QDX_REG_GAMMA, 0);  // measure in linear light unless a test chooses a curve
    }

    // The next frame rendered after everything set so far.
    static Picture grab()
    {
        const int now = frameIndex();
        EXPECT_TRUE(waitUntil([&] { return frameIndex() >= now + 3; }, std::chrono::milliseconds(5000)));
        std::vector<uint8_t> frame(QDX_FRAME_BYTES);
        unsigned length = 0;
        EXPECT_GE(QDX_GetFrame(frame.data(), QDX_FRAME_BYTES, &length), 0);
        EXPECT_EQ(length, QDX_FRAME_BYTES);
        Picture p;
        p.y.resize(W * W);
        p.cb.resize(W * W);
        p.cr.resize(W * W);
        const auto word = [&](std::size_t i) { return static_cast<float>((frame[2 * i] | frame[2 * i + 1] << 8) >> 4); };
        for (std::size_t px = 0; px < static_cast<std::size_t>(W) * W; px += 2) {
            const std::size_t g = 2 * px;
            p.cb[px] = p.cb[px + 1] = word(g);
            p.y[px] = word(g + 1);
            p.cr[px] = p.cr[px + 1] = word(g + 2);
            p.y[px + 1] = word(g + 3);
        }
        return p;
    }

    static void set(int reg, int value)
    {
        const unsigned char bytes[2] = {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
        ASSERT_EQ(QDX_DeviceWrite(0, reg, 2, bytes), 0);
    }

    // Red and blue gains that make the warm light neutral.
    static void neutralise()
    {
        ASSERT_EQ(QDX_Set_GainRB(0, -57), 0);
        ASSERT_EQ(QDX_Set_GainRB(1, 85), 0);
    }
};

// Guards the sensor's response: more light, more signal, proportionally.
TEST_F(PipelineTest, ExposureAndGainScaleTheSignal)
{
    QDXSim_SetScene(1);
    set(QDX_REG_EXPOSURE_TIME, 200);
    const double half = grab().mean(grab().y, 100, 100, 300, 300);
    set(QDX_REG_EXPOSURE_TIME, 400);
    const Picture full = grab();
    const double base = full.mean(full.y, 100, 100, 300, 300);
    EXPECT_NEAR(base / half, 2.0, 0.1) << "exposure time";
    set(QDX_REG_RAW_GAIN, 24);
    const Picture gained = grab();
    EXPECT_NEAR(gained.mean(gained.y, 100, 100, 300, 300) / base, 1.5, 0.08) << "raw gain, 1/16 a step";
}

// Guards the black level lifting the floor of a dark picture.
TEST_F(PipelineTest, BlackLevelRaisesTheFloor)
{
    QDXSim_SetScene(2);
    const Picture dark = grab();
    set(QDX_REG_BLACK_LEVEL, 100);
    const Picture lifted = grab();
    EXPECT_NEAR(lifted.mean(lifted.y, 10, 10, 390, 390) - dark.mean(dark.y, 10, 10, 390, 390), 400, 40);
}

// Guards automatic exposure: it reaches the target within its hysteresis in a
// bounded number of frames, and reports the exposure register it changed.
TEST_F(PipelineTest, AutoExposureSettlesOnTheTarget)
{
    QDXSim_SetScene(1);
    set(QDX_REG_EXPOSURE_TIME, 40);
    set(QDX_REG_CONTROL_TARGET, 1500);  // target
    set(QDX_REG_HYSTERESIS_A1, 40);    // rest inside +-40
    set(QDX_REG_HYSTERESIS_A2, 80);    // start outside +-80
    set(QDX_REG_CONTROL_SPEED, 3);    // speed
    std::array<uint8_t, 6> mask{};
    QDX_GetFpgaStatus(6, mask.data());
    ASSERT_EQ(QDX_Set_ControlMode(0, 1), 0);
    ASSERT_TRUE(waitUntil([&] {
        const Picture p = grab();
        return std::abs(p.mean(p.y, 0, 0, W, W) - 1500) < 80;
    }, std::chrono::milliseconds(8000)));
    ASSERT_EQ(QDX_GetFpgaStatus(6, mask.data()), 0);
    EXPECT_TRUE(mask[0] & 0x08) << "exposure changed by the camera";
    EXPECT_GT(simRegister(QDX_REG_EXPOSURE_TIME), 40);
}

// Guards one-push white balance on a neutral scene: red and blue come to the
// green level and the register reads 0 again.
TEST_F(PipelineTest, OnePushWhiteBalanceNeutralisesGrey)
{
    QDXSim_SetScene(1);
    const Picture before = grab();
    ASSERT_GT(before.mean(before.cr, 100, 100, 300, 300), 2048 + 60) << "the light is warm";
    ASSERT_EQ(QDX_Set_AWB(1), 0);
    ASSERT_TRUE(waitUntil([] {
        int v = -1;
        return QDX_Get_AWB(&v) == 0 && v == 0;
    }));
    const Picture after = grab();
    EXPECT_NEAR(after.mean(after.cb, 100, 100, 300, 300), 2048, 12);
    EXPECT_NEAR(after.mean(after.cr, 100, 100, 300, 300), 2048, 12);
}

// Guards flip and rotation moving a known feature (the chart's white patch)
// where they should.
TEST_F(PipelineTest, FlipMirrorsAndRotationTurns)
{
    const Picture plain = grab();
    const double white = plain.mean(plain.y, 36, 168, 48, 180);
    const double background = plain.mean(plain.y, 362, 168, 374, 180);
    ASSERT_GT(white, background + 1000);
    set(QDX_REG_IMAGE_FLIP, 1);  // H flip
    const Picture flipped = grab();
    EXPECT_NEAR(flipped.mean(flipped.y, 355, 168, 367, 180), white, white * 0.05);
    EXPECT_NEAR(flipped.mean(flipped.y, 29, 168, 41, 180), background, 150);
    set(QDX_REG_IMAGE_FLIP, 0);
    set(QDX_REG_IMAGE_ROTATION, 1);  // 90 degrees clockwise: (x, y) comes from (y, 403 - x)
    const Picture turned = grab();
    EXPECT_NEAR(turned.mean(turned.y, 223, 36, 235, 48), white, white * 0.05);
}

// Guards defect-pixel correction: the stuck pixels seen in the sensor's data
// vanish from the colour picture once their coordinates are uploaded.
TEST_F(PipelineTest, DefectPixelsCorrectedFromTheTable)
{
    QDXSim_SetScene(2);
    ASSERT_EQ(QDX_Set_DataFormat(1), 0);
    const Picture sensor = grab();
    std::vector<std::pair<int, int>> bright;
    for (int yy = 2; yy < 402; ++yy)
        for (int x = 2; x < 402; ++x)
            if (sensor.at(sensor.y, x, yy) >= 4000)
                bright.emplace_back(x, yy);
    ASSERT_EQ(bright.size(), 12u) << "the sensor's stuck-bright pixels";

    ASSERT_EQ(QDX_Set_DataFormat(0), 0);
    const Picture uncorrected = grab();
    EXPECT_GT(uncorrected.at(uncorrected.y, bright[0].first, bright[0].second), 3000);

    std::vector<uint8_t> table(256);
    for (std::size_t i = 0; i < 64; ++i) {
        const auto [x, yy] = i < bright.size() ? bright[i] : std::pair{511, 511};
        table[4 * i] = static_cast<uint8_t>(x >> 8);
        table[4 * i + 1] = static_cast<uint8_t>(x);
        table[4 * i + 2] = static_cast<uint8_t>(yy >> 8);
        table[4 * i + 3] = static_cast<uint8_t>(yy);
    }
    ASSERT_EQ(QDX_Set_DP_Table(1, table.data()), 0);
    ASSERT_EQ(QDX_Set_DP_Corr(1), 0);
    const Picture corrected = grab();
    for (auto [x, yy] : bright)
        EXPECT_LT(corrected.at(corrected.y, x, yy), 200) << x << "," << yy;
    ASSERT_EQ(QDX_Set_DataFormat(1), 0);
    const Picture stillRaw = grab();
    EXPECT_GE(stillRaw.at(stillRaw.y, bright[0].first, bright[0].second), 4000)
        << "data format 1 shows the sensor before correction";
}

// Guards FPN correction: the table made from one flat sensor frame, the way
// calibration makes it, lowers the pixel-to-pixel spread of the picture.
TEST_F(PipelineTest, FpnTableFromAFlatFieldLowersTheSpread)
{
    QDXSim_SetScene(1);
    set(QDX_REG_RAW_GAIN, 64);   // x4: the pattern stands well above the noise
    set(QDX_REG_EXPOSURE_TIME, 100);
    ASSERT_EQ(QDX_Set_DataFormat(1), 0);
    const Picture flat = grab();
    const double mean = std::floor(flat.mean(flat.y, 0, 0, W, W));
    std::vector<uint8_t> table(82416, 0);
    const auto q = [](double d) { return static_cast<int>(std::floor(std::clamp(d, -256.0, 255.0) / 32)) & 0xF; };
    for (int r = 0; r < W; ++r)
        for (int k = 0; k < 101; ++k) {
            const auto d = [&](int j) { return flat.at(flat.y, 4 * k + j, r) - mean; };
            table[204 * r + 2 * k + 1] = static_cast<uint8_t>(q(d(0)) | q(d(1)) << 4);
            table[204 * r + 2 * k] = static_cast<uint8_t>(q(d(2)) | q(d(3)) << 4);
        }
    ASSERT_EQ(QDX_Set_FPN_Table(table.data()), 0);
    ASSERT_EQ(QDX_Set_DataFormat(0), 0);
    const Picture off = grab();
    ASSERT_EQ(QDX_Set_FPN_Corr(2), 0);
    const Picture on = grab();
    const double before = off.spread(10, 10, 394, 394), after = on.spread(10, 10, 394, 394);
    EXPECT_LT(after, before * 0.6) << "spread " << before << " -> " << after;
}

// Guards gamma following the chosen table: the power-on curve, and an
// uploaded table that maps everything to one level.
TEST_F(PipelineTest, GammaAppliesTheChosenTable)
{
    QDXSim_SetScene(1);
    neutralise();
    const Picture linear = grab();
    const double in = linear.mean(linear.y, 100, 100, 300, 300);
    ASSERT_EQ(QDX_Set_Gamma(1), 0);
    const Picture curved = grab();
    const double expected = 4095.0 * std::pow(in / 4095.0, 1 / 1.8);
    EXPECT_NEAR(curved.mean(curved.y, 100, 100, 300, 300), expected, expected * 0.02);

    std::vector<uint8_t> constant(8192);
    for (std::size_t i = 0; i < constant.size(); i += 2) {
        constant[i] = 1000 >> 8;
        constant[i + 1] = 1000 & 0xFF;
    }
    ASSERT_EQ(QDX_Set_Gamma_Table(2, constant.data()), 0);
    ASSERT_EQ(QDX_Set_Gamma(3), 0);
    const Picture flat = grab();
    EXPECT_NEAR(flat.mean(flat.y, 100, 100, 300, 300), 1000, 3);
}

// Guards noise reduction lowering the frame-to-frame noise and edge
// enhancement raising edge contrast.
TEST_F(PipelineTest, NoiseReductionAndEdgeEnhancement)
{
    QDXSim_SetScene(1);
    set(QDX_REG_RAW_GAIN, 255);
    set(QDX_REG_EXPOSURE_TIME, 30);
    const auto temporalNoise = [] {
        const Picture a = grab(), b = grab();
        double sum = 0;
        for (int yy = 50; yy < 350; ++yy)
            for (int x = 50; x < 350; ++x) {
                const double d = a.at(a.y, x, yy) - b.at(b.y, x, yy);
                sum += d * d;
            }
        return std::sqrt(sum / (300.0 * 300.0));
    };
    const double noisy = temporalNoise();
    ASSERT_EQ(QDX_Set_NoiseReduction(3), 0);
    EXPECT_LT(temporalNoise(), noisy * 0.6);

    QDXSim_SetScene(0);
    set(QDX_REG_RAW_GAIN, 16);
    set(QDX_REG_EXPOSURE_TIME, 400);
    ASSERT_EQ(QDX_Set_NoiseReduction(0), 0);
    const Picture plain = grab();
    ASSERT_EQ(QDX_Set_EdgeEnhancement(3), 0);
    const Picture sharpened = grab();
    EXPECT_GT(sharpened.detail(200, 252, 390, 288), plain.detail(200, 252, 390, 288) * 1.2);
}

// Guards the clock phase: the best phase is sharp, a wrong one smears detail.
TEST_F(PipelineTest, ClockPhaseChangesSharpness)
{
    int phase = -1;
    ASSERT_EQ(QDX_Get_CIS_ClockPhase(&phase), 0);
    const Picture sharp = grab();
    ASSERT_EQ(QDX_Set_CIS_ClockPhase((phase + 8) % 16), 0);
    const Picture smeared = grab();
    EXPECT_LT(smeared.detail(200, 252, 390, 288), sharp.detail(200, 252, 390, 288) * 0.7);
}

}  // namespace
}  // namespace qdx::test
