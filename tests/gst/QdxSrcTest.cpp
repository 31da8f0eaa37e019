// qdxsrc in a pipeline of this process against the simulated camera: the caps
// and buffers it hands out, the frame's words in the lossless formats, its
// properties on the camera, and an unplugged camera. Events are counted; the
// 30 s limits only stop a hang.
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <glib/gstdio.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "QDX_API.h"
#include "QDX_SIM.h"
#include "live/FrameConversion.h"

namespace {

const char* const kSystemPlugins[] = {"libgstcoreelements.so", "libgstapp.so"};

// A new folder of links to the core elements (capsfilter) and the app plugin
// (appsink); the system's folder when one cannot be made.
std::string systemPlugins()
{
    gchar* folder = g_dir_make_tmp("qdx-gst-XXXXXX", nullptr);
    if (!folder)
        return QDX_GST_SYSTEM_PLUGINS;
    const std::string dir = folder;
    g_free(folder);
    for (const char* plugin : kSystemPlugins) {
        const std::string from = std::string(QDX_GST_SYSTEM_PLUGINS) + "/" + plugin;
        if (symlink(from.c_str(), (dir + "/" + plugin).c_str()) != 0)
            return QDX_GST_SYSTEM_PLUGINS;
    }
    return dir;
}

constexpr GstClockTime kHang = 30 * GST_SECOND;

class QdxSrcTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_setenv("GST_PLUGIN_PATH", QDX_GST_PLUGIN_DIR, FALSE);
        // Plugins scanned in this process: GStreamer's scanner program cannot
        // load a plugin built with the sanitizers. So only the two system
        // plugins the pipelines need are scanned, in a folder of links: every
        // plugin installed (FFmpeg's among them) would be loaded into the
        // process, and some leave GLib's blocks behind for the leak checker.
        plugins_ = systemPlugins();
        g_setenv("GST_PLUGIN_SYSTEM_PATH_1_0", plugins_.c_str(), FALSE);
        g_setenv("GST_REGISTRY", (plugins_ + "/registry.bin").c_str(), FALSE);
        g_setenv("GST_REGISTRY_FORK", "no", TRUE);
        gst_init(nullptr, nullptr);
    }

    static void TearDownTestSuite()
    {
        if (plugins_ == QDX_GST_SYSTEM_PLUGINS)
            return;
        for (const char* name : kSystemPlugins)
            g_unlink((plugins_ + "/" + name).c_str());
        g_unlink((plugins_ + "/registry.bin").c_str());
        g_rmdir(plugins_.c_str());
    }

    void SetUp() override { QDXSim_Reset(); }

    static inline std::string plugins_;

    void TearDown() override
    {
        if (pipeline_) {
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            gst_object_unref(sink_);
            gst_object_unref(src_);
            gst_object_unref(pipeline_);
        }
        QDXSim_Reset();
    }

    void play(const std::string& srcProperties, const std::string& caps = "video/x-raw")
    {
        const std::string text = "qdxsrc name=src " + srcProperties + " ! " + caps +
                                 " ! appsink name=sink sync=false max-buffers=4 drop=false";
        GError* error = nullptr;
        pipeline_ = gst_parse_launch(text.c_str(), &error);
        ASSERT_EQ(error, nullptr) << error->message;
        src_ = gst_bin_get_by_name(GST_BIN(pipeline_), "src");
        sink_ = gst_bin_get_by_name(GST_BIN(pipeline_), "sink");
        ASSERT_NE(gst_element_set_state(pipeline_, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    }

    // The next sample (owned by the caller), or null after a hang.
    GstSample* pull() { return gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), kHang); }

    // The next message of type on the bus, or null after a hang.
    GstMessage* waitFor(GstMessageType type)
    {
        GstBus* bus = gst_element_get_bus(pipeline_);
        GstMessage* message = gst_bus_timed_pop_filtered(bus, kHang, type);
        gst_object_unref(bus);
        return message;
    }

    guint64 stat(const char* name)
    {
        GstStructure* stats = nullptr;
        g_object_get(src_, "stats", &stats, nullptr);
        guint64 value = 0;
        EXPECT_TRUE(gst_structure_get_uint64(stats, name, &value)) << name;
        gst_structure_free(stats);
        return value;
    }

    int intProperty(const char* name)
    {
        int value = -1;
        g_object_get(src_, name, &value, nullptr);
        return value;
    }

    GstElement* pipeline_ = nullptr;
    GstElement* src_ = nullptr;
    GstElement* sink_ = nullptr;
};

struct Sample {
    GstSample* sample;
    ~Sample() { gst_sample_unref(sample); }
    GstBuffer* buffer() const { return gst_sample_get_buffer(sample); }
};

// ---- Caps and buffers, each format and size ---------------------------------

using CapsCase = std::tuple<std::string, bool>;  // format, crop-border
class QdxSrcCapsTest : public QdxSrcTest, public ::testing::WithParamInterface<CapsCase> {};

TEST_P(QdxSrcCapsTest, NegotiatesAndStampsEveryBufferInOrder)
{
    const auto [format, crop] = GetParam();
    const int side = crop ? 400 : 404;
    play(std::string("crop-border=") + (crop ? "true" : "false"), "video/x-raw,format=" + format);

    GstClockTime lastPts = 0;
    guint64 lastOffset = 0;
    constexpr int kBuffers = 10;
    for (int i = 0; i < kBuffers; ++i) {
        GstSample* s = pull();
        ASSERT_NE(s, nullptr) << "buffer " << i;
        const Sample sample{s};
        GstVideoInfo info;
        ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(s)));
        EXPECT_STREQ(gst_video_format_to_string(GST_VIDEO_INFO_FORMAT(&info)), format.c_str());
        EXPECT_EQ(GST_VIDEO_INFO_WIDTH(&info), side);
        EXPECT_EQ(GST_VIDEO_INFO_HEIGHT(&info), side);
        EXPECT_EQ(gst_buffer_get_size(sample.buffer()), GST_VIDEO_INFO_SIZE(&info));

        const GstClockTime pts = GST_BUFFER_PTS(sample.buffer());
        const guint64 offset = GST_BUFFER_OFFSET(sample.buffer());
        ASSERT_TRUE(GST_CLOCK_TIME_IS_VALID(pts));
        if (i == 0) {
            EXPECT_TRUE(GST_BUFFER_FLAG_IS_SET(sample.buffer(), GST_BUFFER_FLAG_DISCONT));
        } else {
            EXPECT_GT(pts, lastPts) << "buffer " << i;
            EXPECT_GT(offset, lastOffset) << "buffer " << i;
        }
        lastPts = pts;
        lastOffset = offset;
    }
    EXPECT_GE(stat("delivered"), static_cast<guint64>(kBuffers));

    GstQuery* latency = gst_query_new_latency();
    ASSERT_TRUE(gst_element_query(src_, latency));
    gboolean live = FALSE;
    GstClockTime minimum = 0;
    gst_query_parse_latency(latency, &live, &minimum, nullptr);
    gst_query_unref(latency);
    EXPECT_TRUE(live);
    EXPECT_EQ(minimum, GST_SECOND / 30) << "one frame period";
}

INSTANTIATE_TEST_SUITE_P(Formats, QdxSrcCapsTest,
                         ::testing::Combine(::testing::Values<std::string>("I422_12LE", "GRAY16_LE", "UYVY", "BGRx"),
                                            ::testing::Bool()),
                         [](const auto& param) {
                             return std::get<0>(param.param) + (std::get<1>(param.param) ? "_400" : "_404");
                         });

// Guards against a crop-border change while playing that keeps the old caps and buffer size.
TEST_F(QdxSrcTest, CropBorderChangedWhilePlayingRenegotiates)
{
    play("crop-border=true");
    int width = 0;
    for (int i = 0; i < 30 && width != 404; ++i) {
        GstSample* s = pull();
        ASSERT_NE(s, nullptr);
        const Sample sample{s};
        GstVideoInfo info;
        ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(s)));
        ASSERT_EQ(gst_buffer_get_size(sample.buffer()), GST_VIDEO_INFO_SIZE(&info));
        if (i == 0) {
            ASSERT_EQ(GST_VIDEO_INFO_WIDTH(&info), 400);
            g_object_set(src_, "crop-border", FALSE, nullptr);
        }
        width = GST_VIDEO_INFO_WIDTH(&info);
    }
    EXPECT_EQ(width, 404) << "the whole frame within 30 buffers of the change";
}

// ---- The frame's words in the buffer ------------------------------------------

uint16_t word(const std::vector<uint8_t>& frame, int x, int y, int k)  // k: 0 Cb, 1 Y0, 2 Cr, 3 Y1
{
    const std::size_t at = (static_cast<std::size_t>(y) * QDX_FRAME_WIDTH + x / 2 * 2) * 4 + k * 2;
    return static_cast<uint16_t>(frame[at] | frame[at + 1] << 8);
}

uint16_t sample16(const GstVideoFrame& f, int plane, int x, int y)
{
    const auto* row = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&f, plane)) +
                      y * GST_VIDEO_FRAME_PLANE_STRIDE(&f, plane);
    return static_cast<uint16_t>(row[x * 2] | row[x * 2 + 1] << 8);
}

// Each output sample as decoded from the camera's words at (x, y) of the frame.
using Decode = void (*)(const GstVideoFrame& out, const std::vector<uint8_t>& frame, int x, int y, int border,
                        int& mismatches);

void decodeI422(const GstVideoFrame& out, const std::vector<uint8_t>& frame, int x, int y, int border, int& bad)
{
    const int fx = x + border, fy = y + border;
    bad += sample16(out, 0, x, y) != word(frame, fx, fy, 1 + (fx & 1) * 2) >> 4;
    if (x % 2 == 0) {
        bad += sample16(out, 1, x / 2, y) != word(frame, fx, fy, 0) >> 4;
        bad += sample16(out, 2, x / 2, y) != word(frame, fx, fy, 2) >> 4;
    }
}

void decodeGray16(const GstVideoFrame& out, const std::vector<uint8_t>& frame, int x, int y, int border, int& bad)
{
    const int fx = x + border, fy = y + border;
    bad += sample16(out, 0, x, y) != word(frame, fx, fy, 1 + (fx & 1) * 2);
}

void decodeUyvy(const GstVideoFrame& out, const std::vector<uint8_t>& frame, int x, int y, int border, int& bad)
{
    const int fx = x + border, fy = y + border;
    const auto* row = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&out, 0)) +
                      y * GST_VIDEO_FRAME_PLANE_STRIDE(&out, 0);
    // U Y0 V Y1: the high byte of Cb Y0 Cr Y1.
    bad += row[x * 2 + 1] != word(frame, fx, fy, 1 + (fx & 1) * 2) >> 8;
    bad += row[x * 2] != word(frame, fx, fy, (x & 1) * 2) >> 8;
}

void decodeBgrx(const GstVideoFrame& out, const std::vector<uint8_t>& frame, int x, int y, int border, int& bad)
{
    const int fx = x + border, fy = y + border;
    const auto* pixel = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&out, 0)) +
                        y * GST_VIDEO_FRAME_PLANE_STRIDE(&out, 0) + x * 4;
    // The viewer's colour of the pixel's 12-bit words.
    const qdx::viewer::Bgr want = qdx::viewer::yuvToBgr(word(frame, fx, fy, 1 + (fx & 1) * 2) >> 4,
                                                        (word(frame, fx, fy, 0) >> 4) - 2048,
                                                        (word(frame, fx, fy, 2) >> 4) - 2048);
    bad += (qdx::viewer::Bgr{pixel[0], pixel[1], pixel[2]} != want);
}

struct WordsCase {
    const char* format;
    Decode decode;
    bool crop;
    std::string name() const { return std::string(format) + (crop ? "_400" : "_404"); }
    friend void PrintTo(const WordsCase& c, std::ostream* out) { *out << c.name(); }
};
class QdxSrcWordsTest : public QdxSrcTest, public ::testing::WithParamInterface<WordsCase> {};

// Guards against planes swapped, chroma pairs split at the border or samples shifted wrongly.
TEST_P(QdxSrcWordsTest, BufferHoldsTheFramesWords)
{
    const auto [format, decode, crop] = GetParam();
    const int side = crop ? 400 : 404, border = crop ? 2 : 0;
    play(std::string("crop-border=") + (crop ? "true" : "false"), std::string("video/x-raw,format=") + format);

    // The frame the element took last is the process's last returned frame:
    // read again here it comes back as repeated, with its index.
    std::vector<uint8_t> frame(QDX_FRAME_BYTES);
    QDX_FRAME_INFO info{};
    info.size = sizeof info;
    GstSample* s = nullptr;
    for (int attempt = 0; attempt < 100; ++attempt) {
        s = pull();
        ASSERT_NE(s, nullptr);
        if (QDX_GetFrameEx(frame.data(), QDX_FRAME_BYTES, &info) == QDX_FRAME_REPEATED)
            break;
        gst_sample_unref(s);
        s = nullptr;
    }
    ASSERT_NE(s, nullptr) << "never read the element's own frame";
    ASSERT_EQ(info.check, QDX_FRAME_WHOLE);

    for (int i = 0; i < 10; ++i, s = pull()) {  // the one just pulled, or one still to come
        ASSERT_NE(s, nullptr);
        const Sample sample{s};
        if (GST_BUFFER_OFFSET(sample.buffer()) != info.index)
            continue;
        GstVideoInfo vinfo;
        ASSERT_TRUE(gst_video_info_from_caps(&vinfo, gst_sample_get_caps(s)));
        GstVideoFrame out;
        ASSERT_TRUE(gst_video_frame_map(&out, &vinfo, sample.buffer(), GST_MAP_READ));
        int mismatches = 0;
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                decode(out, frame, x, y, border, mismatches);
        gst_video_frame_unmap(&out);
        EXPECT_EQ(mismatches, 0);
        return;
    }
    FAIL() << "frame " << info.index << " never came out";
}

INSTANTIATE_TEST_SUITE_P(Formats, QdxSrcWordsTest,
                         ::testing::Values(WordsCase{"I422_12LE", decodeI422, true},
                                           WordsCase{"I422_12LE", decodeI422, false},
                                           WordsCase{"GRAY16_LE", decodeGray16, true},
                                           WordsCase{"UYVY", decodeUyvy, true},
                                           WordsCase{"BGRx", decodeBgrx, false}),
                         [](const auto& param) {
                             return param.param.name();
                         });

// ---- Settings ---------------------------------------------------------------

// Guards against properties written to the camera around its rules (FPN Mode2's gain cap).
TEST_F(QdxSrcTest, SettingsReachTheCameraByItsRules)
{
    play("raw-gain=200");
    GstSample* first = pull();
    ASSERT_NE(first, nullptr);
    gst_sample_unref(first);

    int reg = -1;
    ASSERT_EQ(QDXSim_GetRegister(QDX_REG_RAW_GAIN, &reg), QDX_OK);
    EXPECT_EQ(reg, 200) << "a property set before start reaches the camera";

    g_object_set(src_, "fpn-correction", 2, nullptr);
    EXPECT_EQ(intProperty("fpn-correction"), 2);
    ASSERT_EQ(QDXSim_GetRegister(QDX_REG_RAW_GAIN, &reg), QDX_OK);
    EXPECT_EQ(reg, 64) << "FPN Mode2 caps the RAW gain";
    EXPECT_EQ(intProperty("raw-gain"), 64) << "read back from the camera";

    g_object_set(src_, "raw-gain", 100, nullptr);  // held by Mode2: refused with a warning
    ASSERT_EQ(QDXSim_GetRegister(QDX_REG_RAW_GAIN, &reg), QDX_OK);
    EXPECT_EQ(reg, 64) << "the cap holds against a later gain";
    GstMessage* warning = waitFor(GST_MESSAGE_WARNING);
    ASSERT_NE(warning, nullptr);
    gst_message_unref(warning);
}

// ---- Unplugged camera, damaged frames -----------------------------------------

TEST_F(QdxSrcTest, WaitsForAnUnpluggedCameraAndMarksTheGap)
{
    play("");
    GstSample* s = pull();
    ASSERT_NE(s, nullptr);
    gst_sample_unref(s);

    QDXSim_SetPlugged(0, 0);
    GstMessage* warning = waitFor(GST_MESSAGE_WARNING);
    ASSERT_NE(warning, nullptr);
    gst_message_unref(warning);
    QDXSim_SetPlugged(0, 1);

    bool discont = false;
    for (int i = 0; i < 30 && !discont; ++i) {
        GstSample* next = pull();
        ASSERT_NE(next, nullptr);
        const Sample sample{next};
        discont = GST_BUFFER_FLAG_IS_SET(sample.buffer(), GST_BUFFER_FLAG_DISCONT);
    }
    EXPECT_TRUE(discont);
    for (int i = 0; i < 3; ++i) {
        GstSample* after = pull();
        ASSERT_NE(after, nullptr) << "frames again after the camera came back";
        gst_sample_unref(after);
    }
    EXPECT_EQ(stat("reconnections"), 1u);

    // Short and damaged frames: counted, never handed out (each buffer is whole).
    QDXSim_InjectFrames(1, 2);
    QDXSim_InjectFrames(2, 2);
    for (int i = 0; i < 10; ++i) {
        GstSample* later = pull();
        ASSERT_NE(later, nullptr);
        gst_sample_unref(later);
    }
    EXPECT_EQ(stat("dropped"), stat("short") + stat("damaged"));
    EXPECT_EQ(stat("short") + stat("damaged") + stat("skipped") > 0, true);
}

// Guards against a stop that waits for a frame of a silent camera (the flush ignored).
TEST_F(QdxSrcTest, StopsWhileTheCameraIsSilent)
{
    play("");
    GstSample* s = pull();
    ASSERT_NE(s, nullptr);
    gst_sample_unref(s);
    QDXSim_SetStalled(1);
    EXPECT_EQ(gst_element_set_state(pipeline_, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
}

// Guards against a start without a camera that waits silently, even with reconnect=false.
TEST_F(QdxSrcTest, CameraMissingAtStartIsAnErrorWithoutReconnect)
{
    QDXSim_SetPlugged(0, 0);
    play("reconnect=false");
    GstMessage* error = waitFor(GST_MESSAGE_ERROR);
    ASSERT_NE(error, nullptr);
    GError* why = nullptr;
    gst_message_parse_error(error, &why, nullptr);
    EXPECT_NE(std::string(why->message).find("No camera"), std::string::npos) << why->message;
    g_error_free(why);
    gst_message_unref(error);
}

// Guards against a start without a camera that waits silently, and a stop that waits for it.
TEST_F(QdxSrcTest, CameraMissingAtStartWarnsOnceAndWaits)
{
    QDXSim_SetPlugged(0, 0);
    play("");
    GstMessage* warning = waitFor(GST_MESSAGE_WARNING);
    ASSERT_NE(warning, nullptr);
    GError* why = nullptr;
    gst_message_parse_warning(warning, &why, nullptr);
    EXPECT_NE(std::string(why->message).find("waiting"), std::string::npos) << why->message;
    g_error_free(why);
    gst_message_unref(warning);

    // Stopped while waiting, then started again with the camera there.
    ASSERT_EQ(gst_element_set_state(pipeline_, GST_STATE_READY), GST_STATE_CHANGE_SUCCESS);
    QDXSim_SetPlugged(0, 1);
    ASSERT_NE(gst_element_set_state(pipeline_, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    for (int i = 0; i < 3; ++i) {
        GstSample* s = pull();
        ASSERT_NE(s, nullptr) << "frames once the camera is there";
        gst_sample_unref(s);
    }
    GstBus* bus = gst_element_get_bus(pipeline_);
    GstMessage* more = gst_bus_pop_filtered(bus, GST_MESSAGE_WARNING);
    gst_object_unref(bus);
    EXPECT_EQ(more, nullptr) << "one warning only";
    if (more)
        gst_message_unref(more);
}

TEST_F(QdxSrcTest, UnpluggedCameraEndsTheStreamWithoutReconnect)
{
    play("reconnect=false");
    GstSample* s = pull();
    ASSERT_NE(s, nullptr);
    gst_sample_unref(s);
    QDXSim_SetPlugged(0, 0);
    GstMessage* error = waitFor(GST_MESSAGE_ERROR);
    ASSERT_NE(error, nullptr);
    gst_message_unref(error);
}

}  // namespace
