// qdxsrc: the camera as a GStreamer live source. Frames are taken with
// QDX_GetFrameEx into a scratch frame and converted straight into the output
// buffer (the one pass); their arrival times become the buffers' PTS on the
// pipeline clock. Every camera setting is a property, sent by the camera's
// rules between settings as `qdxctl set` sends it.
#include <gst/base/gstpushsrc.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <semaphore.h>
#include <time.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "FrameFormats.h"
#include "QdxSrc.h"
#include "QDX_API.h"
#include "core/model/SettingRules.h"
#include "core/model/Settings.h"

namespace {

using qdx::gst::OutputFormat;
using qdx::viewer::Setting;
using qdx::viewer::SettingId;
namespace viewer = qdx::viewer;

// The simulated camera's and the camera's usual pace; the caps say "variable"
// (the camera's rate follows its exposure) with this as the most.
constexpr int kNominalFps = 30;
// How long one wait on the data semaphore lasts: how soon a flush or an
// unplugged camera is noticed.
constexpr long kWaitNs = 20'000'000;
// How long a start waits for the camera before saying it is not there, as
// `qdxctl --wait` by default: the library opens it on a thread of its own.
constexpr guint kDefaultCameraWait = 2;

enum {
    PROP_0,
    PROP_CROP_BORDER,
    PROP_RECONNECT,
    PROP_CAMERA_WAIT,
    PROP_STATS,
    PROP_FIRST_SETTING,  // then one per setting of the table, in its order
};

struct Stats {
    guint64 delivered = 0, taken = 0, shortFrames = 0, damaged = 0, skipped = 0, reconnections = 0;
};

}  // namespace

G_BEGIN_DECLS
#define GST_TYPE_QDX_SRC (gst_qdx_src_get_type())
G_DECLARE_FINAL_TYPE(GstQdxSrc, gst_qdx_src, GST, QDX_SRC, GstPushSrc)
G_END_DECLS

struct _GstQdxSrc {
    GstPushSrc parent;

    // Everything below is built in init and destroyed in finalize.
    struct State {
        std::mutex lock;  // the properties and stats against the streaming thread
        bool cropBorder = true;
        bool reconnect = true;
        guint cameraWait = kDefaultCameraWait;  // seconds
        // Values set on the element, sent on start and again after a reconnection.
        std::array<std::optional<int>, viewer::kSettingCount> chosen;
        Stats stats;
        // One sender at a time (application and streaming thread), so the
        // rules see the values the previous one left, and none while the
        // library starts or stops; guards savedFpnGain.
        std::mutex sending;
        // The RAW gain FPN Mode2 brings back, once a Mode2 was chosen here.
        std::optional<int> savedFpnGain;

        // Streaming thread only (start/stop/create), bar the flag.
        std::atomic<bool> flushing{false};
        bool running = false;
        bool connected = false;
        bool seenCamera = false;
        bool toldAbsent = false;  // the camera missing at start was reported
        gint64 cameraDeadline = 0;  // g_get_monotonic_time() when it is reported
        bool discont = true;
        guint64 lastIndex = 0;  // of the last frame taken, 0 before the first
        sem_t* semaphore = nullptr;
        std::vector<uint8_t> scratch = std::vector<uint8_t>(QDX_FRAME_BYTES);
        GstVideoInfo info{};
        OutputFormat format = OutputFormat::I422_12LE;
    }* state;
};

G_DEFINE_TYPE(GstQdxSrc, gst_qdx_src, GST_TYPE_PUSH_SRC)

GST_DEBUG_CATEGORY_STATIC(qdx_src_debug);
#define GST_CAT_DEFAULT qdx_src_debug

namespace {

GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/x-raw, format=(string){ I422_12LE, GRAY16_LE, UYVY, BGRx }, "
                    "width=(int){ 400, 404 }, height=(int){ 400, 404 }, framerate=(fraction)0/1, "
                    "max-framerate=(fraction)30/1, pixel-aspect-ratio=(fraction)1/1"));

std::optional<OutputFormat> outputFormat(GstVideoFormat format)
{
    switch (format) {
    case GST_VIDEO_FORMAT_I422_12LE: return OutputFormat::I422_12LE;
    case GST_VIDEO_FORMAT_GRAY16_LE: return OutputFormat::Gray16LE;
    case GST_VIDEO_FORMAT_UYVY: return OutputFormat::Uyvy;
    case GST_VIDEO_FORMAT_BGRx: return OutputFormat::Bgrx;
    default: return std::nullopt;
    }
}

// ---- Settings --------------------------------------------------------------

// The settings the rules look at, as the camera holds them now (as qdxctl set).
constexpr SettingId kRuleInputs[] = {SettingId::Mode, SettingId::Alc, SettingId::FpnCorrection,
                                     SettingId::RawGain, SettingId::ImageFlip, SettingId::ImageRotation};

int shownValue(SettingId id, int cameraValue)
{
    return id == SettingId::Mode ? viewer::modeFromCamera(cameraValue) : cameraValue;
}

// Sends value for id and whatever the camera's rules then require, as
// `qdxctl set` does; a setting another one holds is refused, nothing sent.
bool sendByRules(SettingId id, int value, std::optional<int>& savedFpnGain, std::string& why)
{
    viewer::RuleValues values;
    for (const SettingId input : kRuleInputs) {
        int v = 0;
        if (viewer::setting(input).read(&v) != QDX_OK) {
            why = std::string(viewer::setting(input).name) + " could not be read for the rules between settings";
            return false;
        }
        values[input] = shownValue(input, v);
    }
    values.savedFpnGain = savedFpnGain.value_or(viewer::savedFpnGainOf(values));
    if (const auto holder = viewer::heldBy(values, id)) {
        why = std::string(viewer::setting(id).name) + " is held by " + viewer::setting(*holder).name;
        return false;
    }
    const auto rawGain = [&values] { return std::optional(values[SettingId::RawGain]); };
    const auto follow = viewer::followChoice(values, id, shownValue(id, value), rawGain);
    savedFpnGain = values.savedFpnGain;
    if (viewer::setting(id).send(value) != QDX_OK) {
        why = std::string(viewer::setting(id).name) + ": the camera did not take the value";
        return false;
    }
    for (const auto& [changed, shown] : follow) {
        if (viewer::setting(changed).send(viewer::comboCameraValue(changed, shown)) != QDX_OK) {
            why = std::string(viewer::setting(changed).name) + ": the camera did not take the value";
            return false;
        }
    }
    return true;
}

int settingMaximum(SettingId id)
{
    const Setting& s = viewer::setting(id);
    if (s.control != viewer::ControlKind::Combo)
        return s.scale.maximum;
    return viewer::comboCameraValue(id, static_cast<int>(s.entries.size()) - 1);
}

int settingDefault(SettingId id)
{
    const Setting& s = viewer::setting(id);
    return s.control == viewer::ControlKind::Combo ? viewer::comboCameraValue(id, s.scale.defaultValue)
                                                   : s.scale.defaultValue;
}

std::string settingBlurb(SettingId id)
{
    const Setting& s = viewer::setting(id);
    std::string text = std::string(s.caption) + ": " + viewer::settingValuesText(id);
    if (s.control == viewer::ControlKind::Combo) {
        text += " (";
        for (std::size_t j = 0; j < s.entries.size(); ++j) {
            text += (j ? ", " : "") + std::to_string(viewer::comboCameraValue(id, static_cast<int>(j))) + " " +
                    s.entries[j];
        }
        text += ")";
    } else if (s.scale.format != viewer::LabelFormat::Integer) {
        text += " (" + s.scale.labelText(s.scale.maximum) + " at " + std::to_string(s.scale.maximum) + ")";
    }
    return text + "; read back from the camera while running";
}

void sendChosen(GstQdxSrc* self)
{
    std::array<std::optional<int>, viewer::kSettingCount> chosen;
    {
        std::lock_guard guard(self->state->lock);
        chosen = self->state->chosen;
    }
    for (int i = 0; i < viewer::kSettingCount; ++i) {
        std::string why;
        std::lock_guard guard(self->state->sending);
        if (chosen[i] && !sendByRules(static_cast<SettingId>(i), *chosen[i], self->state->savedFpnGain, why))
            GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS, ("%s", why.c_str()), (nullptr));
    }
}

// ---- GObject ---------------------------------------------------------------

void setProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec)
{
    GstQdxSrc* self = GST_QDX_SRC(object);
    auto& st = *self->state;
    switch (id) {
    case PROP_CROP_BORDER: {
        const bool crop = g_value_get_boolean(value);
        bool changed;
        {
            std::lock_guard guard(st.lock);
            changed = st.cropBorder != crop;
            st.cropBorder = crop;
        }
        // A running stream takes the new size at its next buffer.
        if (changed)
            gst_pad_mark_reconfigure(GST_BASE_SRC_PAD(self));
        return;
    }
    case PROP_RECONNECT: {
        std::lock_guard guard(st.lock);
        st.reconnect = g_value_get_boolean(value);
        return;
    }
    case PROP_CAMERA_WAIT: {
        std::lock_guard guard(st.lock);
        st.cameraWait = g_value_get_uint(value);
        return;
    }
    default: break;
    }
    if (id < PROP_FIRST_SETTING || id >= PROP_FIRST_SETTING + viewer::kSettingCount) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        return;
    }
    const auto setting = static_cast<SettingId>(id - PROP_FIRST_SETTING);
    const int v = g_value_get_int(value);
    if (!viewer::settingTakes(setting, v)) {
        GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS,
                            ("%s takes %s, not %d", viewer::setting(setting).name,
                             viewer::settingValuesText(setting).c_str(), v),
                            (nullptr));
        return;
    }
    std::lock_guard sending(st.sending);
    bool running;
    {
        std::lock_guard guard(st.lock);
        st.chosen[static_cast<std::size_t>(setting)] = v;
        running = st.running;
    }
    std::string why;
    if (running && !sendByRules(setting, v, st.savedFpnGain, why))
        GST_ELEMENT_WARNING(self, RESOURCE, SETTINGS, ("%s", why.c_str()), (nullptr));
}

GstStructure* statsStructure(const Stats& s)
{
    return gst_structure_new("qdxsrc-stats", "delivered", G_TYPE_UINT64, s.delivered, "taken", G_TYPE_UINT64, s.taken,
                             "dropped", G_TYPE_UINT64, s.shortFrames + s.damaged, "short", G_TYPE_UINT64,
                             s.shortFrames, "damaged", G_TYPE_UINT64, s.damaged, "skipped", G_TYPE_UINT64, s.skipped,
                             "reconnections", G_TYPE_UINT64, s.reconnections, nullptr);
}

void getProperty(GObject* object, guint id, GValue* value, GParamSpec* spec)
{
    GstQdxSrc* self = GST_QDX_SRC(object);
    auto& st = *self->state;
    std::lock_guard guard(st.lock);
    switch (id) {
    case PROP_CROP_BORDER: g_value_set_boolean(value, st.cropBorder); return;
    case PROP_RECONNECT: g_value_set_boolean(value, st.reconnect); return;
    case PROP_CAMERA_WAIT: g_value_set_uint(value, st.cameraWait); return;
    case PROP_STATS: g_value_take_boxed(value, statsStructure(st.stats)); return;
    default: break;
    }
    if (id < PROP_FIRST_SETTING || id >= PROP_FIRST_SETTING + viewer::kSettingCount) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
        return;
    }
    const auto setting = static_cast<SettingId>(id - PROP_FIRST_SETTING);
    int v = 0;
    if (st.running && viewer::setting(setting).read(&v) == QDX_OK)
        g_value_set_int(value, v);
    else
        g_value_set_int(value, st.chosen[static_cast<std::size_t>(setting)].value_or(settingDefault(setting)));
}

void finalize(GObject* object)
{
    delete GST_QDX_SRC(object)->state;
    G_OBJECT_CLASS(gst_qdx_src_parent_class)->finalize(object);
}

// ---- Base source -----------------------------------------------------------

int side(GstQdxSrc* self)
{
    std::lock_guard guard(self->state->lock);
    return self->state->cropBorder ? 400 : QDX_FRAME_WIDTH;
}

GstCaps* getCaps(GstBaseSrc* src, GstCaps* filter)
{
    GstCaps* caps = gst_pad_get_pad_template_caps(GST_BASE_SRC_PAD(src));
    caps = gst_caps_make_writable(caps);
    const int s = side(GST_QDX_SRC(src));
    gst_caps_set_simple(caps, "width", G_TYPE_INT, s, "height", G_TYPE_INT, s, nullptr);
    if (filter) {
        GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    return caps;
}

gboolean setCaps(GstBaseSrc* src, GstCaps* caps)
{
    auto& st = *GST_QDX_SRC(src)->state;
    GstVideoInfo info;
    if (!gst_video_info_from_caps(&info, caps))
        return FALSE;
    const auto format = outputFormat(GST_VIDEO_INFO_FORMAT(&info));
    // Either side: crop-border may change again while these caps are settled;
    // the change then renegotiates once more.
    const int width = GST_VIDEO_INFO_WIDTH(&info);
    if (!format || (width != 400 && width != QDX_FRAME_WIDTH) || GST_VIDEO_INFO_HEIGHT(&info) != width)
        return FALSE;
    st.info = info;
    st.format = *format;
    gst_base_src_set_blocksize(src, static_cast<guint>(GST_VIDEO_INFO_SIZE(&info)));
    return TRUE;
}

// The lossless format whenever downstream takes it, whatever it prefers
// (an encoder may list 8-bit formats first).
GstCaps* fixate(GstBaseSrc* src, GstCaps* caps)
{
    GstCaps* lossless = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I422_12LE", nullptr);
    if (gst_caps_can_intersect(caps, lossless)) {
        GstCaps* both = gst_caps_intersect_full(lossless, caps, GST_CAPS_INTERSECT_FIRST);
        gst_caps_unref(caps);
        caps = both;
    }
    gst_caps_unref(lossless);
    return GST_BASE_SRC_CLASS(gst_qdx_src_parent_class)->fixate(src, caps);
}

gboolean start(GstBaseSrc* src)
{
    GstQdxSrc* self = GST_QDX_SRC(src);
    auto& st = *self->state;
    std::lock_guard sending(st.sending);
    if (QDX_Init() != QDX_OK) {
        GST_ELEMENT_ERROR(self, RESOURCE, OPEN_READ, ("The camera library could not start"), (nullptr));
        return FALSE;
    }
    QDX_HANDLE handle = nullptr;
    QDX_GetDataSemaphoHandle(&handle);
    st.semaphore = static_cast<sem_t*>(handle);
    // Frames from before this start are not this stream's.
    while (st.semaphore && sem_trywait(st.semaphore) == 0) {
    }
    st.lastIndex = 0;
    std::lock_guard guard(st.lock);
    st.running = true;
    st.connected = false;
    st.discont = true;
    st.stats = {};
    st.seenCamera = false;
    st.toldAbsent = false;
    st.cameraDeadline = g_get_monotonic_time() + static_cast<gint64>(st.cameraWait) * G_TIME_SPAN_SECOND;
    return TRUE;
}

gboolean stop(GstBaseSrc* src)
{
    auto& st = *GST_QDX_SRC(src)->state;
    std::lock_guard sending(st.sending);
    {
        std::lock_guard guard(st.lock);
        st.running = false;
    }
    st.semaphore = nullptr;
    QDX_Term();
    return TRUE;
}

gboolean unlock(GstBaseSrc* src)
{
    GST_QDX_SRC(src)->state->flushing = true;
    return TRUE;
}

gboolean unlockStop(GstBaseSrc* src)
{
    GST_QDX_SRC(src)->state->flushing = false;
    return TRUE;
}

gboolean query(GstBaseSrc* src, GstQuery* q)
{
    if (GST_QUERY_TYPE(q) == GST_QUERY_LATENCY) {
        // A frame is handed out once its last byte is in: one frame period late.
        gst_query_set_latency(q, TRUE, gst_util_uint64_scale_int(GST_SECOND, 1, kNominalFps), GST_CLOCK_TIME_NONE);
        return TRUE;
    }
    return GST_BASE_SRC_CLASS(gst_qdx_src_parent_class)->query(src, q);
}

// The arrival on CLOCK_MONOTONIC as running time of the element's clock;
// GST_CLOCK_TIME_NONE without a clock; nullopt for a frame from before the
// pipeline ran.
std::optional<GstClockTime> runningTime(GstElement* element, int64_t monotonicNs)
{
    GstClock* clock = gst_element_get_clock(element);
    if (!clock)
        return GST_CLOCK_TIME_NONE;
    GstClockTimeDiff offset = 0;
    int type = -1;
    if (GST_IS_SYSTEM_CLOCK(clock))
        g_object_get(clock, "clock-type", &type, nullptr);
    if (type != GST_CLOCK_TYPE_MONOTONIC) {
        // Another clock: its distance from CLOCK_MONOTONIC now.
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        offset = GST_CLOCK_DIFF(static_cast<GstClockTime>(now.tv_sec * GST_SECOND + now.tv_nsec),
                                gst_clock_get_time(clock));
    }
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(element);
    const GstClockTimeDiff at = monotonicNs + offset;
    if (at < static_cast<GstClockTimeDiff>(base))
        return std::nullopt;
    return static_cast<GstClockTime>(at) - base;
}

// Why no camera opened: none there, or one there that the library was refused.
std::string missingCameraText()
{
    QDX_DEVICE_PROBLEM problem{};
    if (QDX_GetDeviceProblem(&problem) != QDX_OK || problem.reason == QDX_DEVICE_PROBLEM_NONE)
        return "No camera is connected";
    const char* why = problem.reason == QDX_DEVICE_PROBLEM_PERMISSION ? "permission denied (see the udev rule)"
                      : problem.reason == QDX_DEVICE_PROBLEM_BUSY     ? "another program holds it"
                                                                      : "it could not be set up";
    const std::string path(problem.devicePath, strnlen(problem.devicePath, sizeof problem.devicePath));
    return std::string("A camera is there but could not be opened: ") + why + (path.empty() ? "" : " (" + path + ")");
}

// No camera within camera-wait of the start: an error, or one warning and
// waiting for it.
GstFlowReturn reportAbsentCamera(GstQdxSrc* self)
{
    auto& st = *self->state;
    st.toldAbsent = true;
    bool reconnect;
    {
        std::lock_guard guard(st.lock);
        reconnect = st.reconnect;
    }
    const std::string text = missingCameraText();
    if (!reconnect) {
        GST_ELEMENT_ERROR(self, RESOURCE, NOT_FOUND, ("%s", text.c_str()),
                          ("none opened within camera-wait of the start, and reconnect is false"));
        return GST_FLOW_ERROR;
    }
    GST_ELEMENT_WARNING(self, RESOURCE, NOT_FOUND, ("%s; waiting for it", text.c_str()), (nullptr));
    return GST_FLOW_OK;
}

// The camera went away (or came back) since the last look.
GstFlowReturn followConnection(GstQdxSrc* self)
{
    auto& st = *self->state;
    int status = 0;
    QDX_GetStatus(&status);
    const bool connected = status & QDX_STATUS_CONNECTED;
    if (!connected && !st.seenCamera && !st.toldAbsent && g_get_monotonic_time() >= st.cameraDeadline)
        return reportAbsentCamera(self);
    if (connected == st.connected)
        return GST_FLOW_OK;
    bool reconnect;
    {
        std::lock_guard guard(st.lock);
        reconnect = st.reconnect;
        if (connected && st.seenCamera)
            ++st.stats.reconnections;
        st.seenCamera = st.seenCamera || connected;
    }
    st.connected = connected;
    if (connected) {
        GST_INFO_OBJECT(self, "camera connected");
        sendChosen(self);
        return GST_FLOW_OK;
    }
    st.discont = true;
    if (!reconnect) {
        GST_ELEMENT_ERROR(self, RESOURCE, READ, ("The camera was unplugged"), (nullptr));
        return GST_FLOW_ERROR;
    }
    GST_ELEMENT_WARNING(self, RESOURCE, READ, ("The camera was unplugged; waiting for it"), (nullptr));
    return GST_FLOW_OK;
}

GstFlowReturn fill(GstPushSrc* src, GstBuffer* buffer)
{
    GstQdxSrc* self = GST_QDX_SRC(src);
    auto& st = *self->state;
    if (!st.semaphore)
        return GST_FLOW_ERROR;
    for (;;) {
        if (st.flushing)
            return GST_FLOW_FLUSHING;
        if (const GstFlowReturn flow = followConnection(self); flow != GST_FLOW_OK)
            return flow;
        // On CLOCK_MONOTONIC: a step of the wall clock must not stretch the wait.
        timespec until{};
        clock_gettime(CLOCK_MONOTONIC, &until);
        until.tv_nsec += kWaitNs;
        if (until.tv_nsec >= 1'000'000'000) {
            until.tv_nsec -= 1'000'000'000;
            ++until.tv_sec;
        }
        if (sem_clockwait(st.semaphore, CLOCK_MONOTONIC, &until) != 0)
            continue;  // time-out or signal: look at flushing and the camera again

        QDX_FRAME_INFO info{};
        info.size = sizeof info;
        const int result = QDX_GetFrameEx(st.scratch.data(), QDX_FRAME_BYTES, &info);
        if (result != QDX_OK)
            continue;  // repeated, or none since the camera came
        {
            std::lock_guard guard(st.lock);
            ++st.stats.taken;
            st.stats.skipped += info.skipped;
            if (info.check == QDX_FRAME_SHORT)
                ++st.stats.shortFrames;
            else if (info.check != QDX_FRAME_WHOLE)
                ++st.stats.damaged;
        }
        // A gap: frames the ring overwrote, a frame taken by another caller
        // of this process, a frame dropped here.
        if (info.skipped > 0 || (st.lastIndex && info.index != st.lastIndex + 1) || info.check != QDX_FRAME_WHOLE)
            st.discont = true;
        st.lastIndex = info.index;
        if (info.check != QDX_FRAME_WHOLE)
            continue;
        const auto pts = runningTime(GST_ELEMENT(src), info.monotonicNs);
        if (!pts)
            continue;  // waited in the library since before this stream ran

        GstVideoFrame frame;
        if (!gst_video_frame_map(&frame, &st.info, buffer, GST_MAP_WRITE))
            return GST_FLOW_ERROR;
        qdx::gst::Planes planes;
        for (guint p = 0; p < GST_VIDEO_FRAME_N_PLANES(&frame) && p < 3; ++p) {
            planes.data[p] = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, p));
            planes.stride[p] = static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, p));
        }
        qdx::gst::convertFrame(st.scratch.data(), GST_VIDEO_INFO_WIDTH(&st.info), st.format, planes);
        gst_video_frame_unmap(&frame);

        GST_BUFFER_PTS(buffer) = *pts;
        GST_BUFFER_DTS(buffer) = GST_CLOCK_TIME_NONE;
        GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale_int(GST_SECOND, 1, kNominalFps);
        GST_BUFFER_OFFSET(buffer) = info.index;
        GST_BUFFER_OFFSET_END(buffer) = info.index + 1;
        if (st.discont) {
            GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
            st.discont = false;
        }
        std::lock_guard guard(st.lock);
        ++st.stats.delivered;
        return GST_FLOW_OK;
    }
}

}  // namespace

static void gst_qdx_src_init(GstQdxSrc* self)
{
    self->state = new _GstQdxSrc::State;
    gst_base_src_set_live(GST_BASE_SRC(self), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(self), GST_FORMAT_TIME);
    gst_base_src_set_do_timestamp(GST_BASE_SRC(self), FALSE);
}

static void gst_qdx_src_class_init(GstQdxSrcClass* klass)
{
    GObjectClass* object = G_OBJECT_CLASS(klass);
    GstElementClass* element = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass* base = GST_BASE_SRC_CLASS(klass);
    object->set_property = setProperty;
    object->get_property = getProperty;
    object->finalize = finalize;

    constexpr auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(
        object, PROP_CROP_BORDER,
        g_param_spec_boolean("crop-border", "Crop border",
                             "The 400x400 picture without the 2-pixel boundary (as recordings); false: 404x404. "
                             "Changed while playing, the caps are negotiated again",
                             TRUE, flags));
    g_object_class_install_property(
        object, PROP_RECONNECT,
        g_param_spec_boolean("reconnect", "Reconnect",
                             "Wait for an unplugged camera (a warning on the bus); false: an error ends the stream",
                             TRUE, flags));
    g_object_class_install_property(
        object, PROP_CAMERA_WAIT,
        g_param_spec_uint("camera-wait", "Camera wait",
                          "Seconds a start waits for the camera before reporting it missing: an error with "
                          "reconnect=false, else a warning and waiting on",
                          0, 3600, kDefaultCameraWait, flags));
    g_object_class_install_property(
        object, PROP_STATS,
        g_param_spec_boxed("stats", "Statistics",
                           "Frames delivered, taken, dropped (short, damaged), skipped by the library, reconnections",
                           GST_TYPE_STRUCTURE, static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    for (int i = 0; i < viewer::kSettingCount; ++i) {
        const auto id = static_cast<SettingId>(i);
        const Setting& s = viewer::setting(id);
        // Installed once per process: the class holds the text for good.
        const char* blurb = g_intern_string(settingBlurb(id).c_str());
        g_object_class_install_property(
            object, static_cast<guint>(PROP_FIRST_SETTING + i),
            g_param_spec_int(s.name, s.caption, blurb, s.scale.minimum, settingMaximum(id), settingDefault(id),
                             static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_NICK |
                                                      G_PARAM_STATIC_NAME | G_PARAM_STATIC_BLURB)));
    }

    gst_element_class_set_static_metadata(element, "QDX camera source", "Source/Video",
                                          "Frames of a QDX camera, 12-bit 4:2:2 losslessly as I422_12LE",
                                          "QDX project");
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    base->get_caps = getCaps;
    base->set_caps = setCaps;
    base->fixate = fixate;
    base->start = start;
    base->stop = stop;
    base->unlock = unlock;
    base->unlock_stop = unlockStop;
    base->query = query;
    GST_PUSH_SRC_CLASS(klass)->fill = fill;
    GST_DEBUG_CATEGORY_INIT(qdx_src_debug, "qdxsrc", 0, "QDX camera source");
}

gboolean qdx_src_register(GstPlugin* plugin)
{
    return gst_element_register(plugin, "qdxsrc", GST_RANK_NONE, GST_TYPE_QDX_SRC);
}
