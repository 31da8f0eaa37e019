// qdx-rtsp: one camera over RTSP to any number of clients, through one shared
// pipeline: qdxsrc ! leaky queue ! encoder ! payloader. Loopback only unless
// clients authenticate (RTSP digest); rtsps with a certificate.
#include <gio/gio.h>
#include <glib-unix.h>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "Options.h"
#include "Secrets.h"
#include "core/commands/ProgramVersion.h"
#include "core/files/RegularFile.h"

// qdxsrc is compiled into this program from the plugin's own sources and
// registered statically: the server always runs the element of its own build,
// installed or in a build tree, whatever GST_PLUGIN_PATH and the registry say,
// and an installed libgstqdx.so of another version is never loaded beside it
// (the static registration takes the element's name over from it).
G_BEGIN_DECLS
GST_PLUGIN_STATIC_DECLARE(qdx);
G_END_DECLS

namespace {

using qdx::rtsp::Encoder;
using qdx::rtsp::Options;

constexpr std::size_t kMaxSecretBytes = 64 * 1024;
// Who may watch: the role every authenticated user (or, without credentials,
// everyone) gets.
constexpr const char* kViewerRole = "viewer";

template <typename T>
struct GObjectUnref {
    void operator()(T* object) const { g_object_unref(object); }
};
template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref<T>>;

struct TokenUnref {
    void operator()(GstRTSPToken* token) const { gst_rtsp_token_unref(token); }
};
using TokenPtr = std::unique_ptr<GstRTSPToken, TokenUnref>;

struct Element {
    const char* name;
    const char* package;
};

// The camera in 8 bits for the encoders; the queue drops the oldest frame
// rather than hold up the camera when encoding falls behind. Every client is
// fed from the payloader's output by gst-rtsp-server's own sinks, so a slow
// or vanished client never reaches back to this pipeline.
std::string launchLine(Encoder encoder)
{
    const std::string head = "( qdxsrc ! video/x-raw,format=UYVY"
                             " ! queue leaky=downstream max-size-buffers=2 max-size-bytes=0 max-size-time=0";
    if (encoder == Encoder::H264)
        return head + " ! videoconvert ! video/x-raw,format=I420"
                      " ! x264enc tune=zerolatency speed-preset=veryfast key-int-max=30"
                      " ! rtph264pay name=pay0 pt=96 config-interval=-1 )";
    return head + " ! jpegenc ! rtpjpegpay name=pay0 pt=26 )";
}

std::vector<Element> elementsNeeded(Encoder encoder)
{
    // The encoder first: the one most often missing.
    if (encoder == Encoder::H264)
        return {{"x264enc", "gstreamer1.0-plugins-ugly"},
                {"rtph264pay", "gstreamer1.0-plugins-good"},
                {"videoconvert", "gstreamer1.0-plugins-base"},
                {"queue", "libgstreamer1.0-0"}};
    return {{"jpegenc", "gstreamer1.0-plugins-good"},
            {"rtpjpegpay", "gstreamer1.0-plugins-good"},
            {"queue", "libgstreamer1.0-0"}};
}

// "--encoder h264 needs x264enc ..." for the first element not installed.
bool checkElements(Encoder encoder, std::string& why)
{
    for (const Element& element : elementsNeeded(encoder)) {
        GstElementFactory* factory = gst_element_factory_find(element.name);
        if (factory) {
            gst_object_unref(factory);
            continue;
        }
        why = std::string("--encoder ") + (encoder == Encoder::H264 ? "h264" : "mjpeg") +
              " needs the GStreamer element " + element.name + " (Debian package " + element.package + ")";
        return false;
    }
    return true;
}

// The key (or the certificate's file holding it) read as a secret, owner
// only; both handed to GLib as PEM text, so that a FIFO or a huge file named
// here cannot hang it.
GTlsCertificate* loadCertificate(const Options& options, std::string& why)
{
    std::string pem;
    if (options.key.empty()) {
        if (!qdx::rtsp::readOwnerOnlyFile(options.cert, kMaxSecretBytes, pem, why))
            return nullptr;
    } else {
        std::string key;
        if (!qdx::viewer::readRegularFile(options.cert, kMaxSecretBytes, pem, why) ||
            !qdx::rtsp::readOwnerOnlyFile(options.key, kMaxSecretBytes, key, why))
            return nullptr;
        pem += "\n" + key;
    }
    GError* error = nullptr;
    GTlsCertificate* certificate = g_tls_certificate_new_from_pem(pem.c_str(), -1, &error);
    const std::string named = options.cert + (options.key.empty() ? "" : " with " + options.key);
    if (!certificate) {
        why = named + ": " + error->message;
        g_error_free(error);
        return nullptr;
    }
    // GLib takes a certificate without its key (none found in the text):
    // every client's handshake would then fail.
    gchar* hasKey = nullptr;
    g_object_get(certificate, "private-key-pem", &hasKey, nullptr);
    if (!hasKey) {
        why = named + ": no PEM private key";
        g_object_unref(certificate);
        return nullptr;
    }
    g_free(hasKey);
    return certificate;
}

// The server's authentication: digest users from the credentials file, the
// certificate for rtsps. Null when neither is configured (everyone on the
// bound address may watch). False with why when the certificate fails.
bool makeAuth(const Options& options, const std::vector<qdx::rtsp::Credential>& users, GObjectPtr<GstRTSPAuth>& out,
              std::string& why)
{
    if (users.empty() && options.cert.empty())
        return true;
    out.reset(gst_rtsp_auth_new());
    GstRTSPAuth* auth = out.get();
    const TokenPtr viewer(gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kViewerRole, nullptr));
    if (users.empty()) {
        gst_rtsp_auth_set_default_token(auth, viewer.get());
    } else {
        gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
        for (const auto& user : users)
            gst_rtsp_auth_add_digest(auth, user.user.c_str(), user.password.c_str(), viewer.get());
    }
    if (!options.cert.empty()) {
        GTlsCertificate* certificate = loadCertificate(options, why);
        if (!certificate)
            return false;
        gst_rtsp_auth_set_tls_certificate(auth, certificate);
        g_object_unref(certificate);
    }
    return true;
}

gboolean quit(gpointer loop)
{
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_CONTINUE;  // removed with the other one after the loop
}

// The server closes each client removed.
GstRTSPFilterResult closeClient(GstRTSPServer*, GstRTSPClient*, gpointer)
{
    return GST_RTSP_FILTER_REMOVE;
}

GstRTSPFilterResult removeSession(GstRTSPSessionPool*, GstRTSPSession*, gpointer)
{
    return GST_RTSP_FILTER_REMOVE;
}

int fail(const std::string& why, int status)
{
    std::fprintf(stderr, "qdx-rtsp: %s\n", why.c_str());
    return status;
}

int serve(const Options& options, GInetAddress* address, const std::vector<qdx::rtsp::Credential>& users)
{
    GST_PLUGIN_STATIC_REGISTER(qdx);
    std::string why;
    if (!checkElements(options.encoder, why))
        return fail(why, 1);

    GObjectPtr<GstRTSPServer> server(gst_rtsp_server_new());
    gst_rtsp_server_set_address(server.get(), options.bind.c_str());
    gst_rtsp_server_set_service(server.get(), std::to_string(options.port).c_str());

    GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
    gst_rtsp_media_factory_set_launch(factory, launchLine(options.encoder).c_str());
    // One pipeline, one camera, for every client.
    gst_rtsp_media_factory_set_shared(factory, TRUE);
    gst_rtsp_media_factory_add_role(factory, kViewerRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN, TRUE,
                                    GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, nullptr);
    // Over rtsps the video too travels inside the TLS connection, never as plain UDP beside it.
    if (!options.cert.empty())
        gst_rtsp_media_factory_set_protocols(factory, GST_RTSP_LOWER_TRANS_TCP);
    GObjectPtr<GstRTSPMountPoints> mounts(gst_rtsp_server_get_mount_points(server.get()));
    gst_rtsp_mount_points_add_factory(mounts.get(), options.path.c_str(), factory);

    GObjectPtr<GstRTSPAuth> auth;
    if (!makeAuth(options, users, auth, why))
        return fail(why, 1);
    if (auth)
        gst_rtsp_server_set_auth(server.get(), auth.get());

    GError* error = nullptr;
    GSource* source = gst_rtsp_server_create_source(server.get(), nullptr, &error);
    if (!source) {
        why = "cannot listen on " + options.bind + " port " + std::to_string(options.port) + ": " +
              (error ? error->message : "unknown error");
        g_clear_error(&error);
        return fail(why, 1);
    }
    // Ctrl+C handled from before the URL is printed: whoever waits for it may stop the server at once.
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    const guint onInt = g_unix_signal_add(SIGINT, quit, loop);
    const guint onTerm = g_unix_signal_add(SIGTERM, quit, loop);
    g_source_attach(source, nullptr);

    gchar* host = g_inet_address_to_string(address);
    const bool v6 = g_inet_address_get_family(address) == G_SOCKET_FAMILY_IPV6;
    std::printf("%s://%s%s%s:%d%s\n", options.cert.empty() ? "rtsp" : "rtsps", v6 ? "[" : "", host, v6 ? "]" : "",
                gst_rtsp_server_get_bound_port(server.get()), options.path.c_str());
    std::fflush(stdout);
    g_free(host);

    g_main_loop_run(loop);
    g_source_remove(onInt);
    g_source_remove(onTerm);

    // No new clients; the connected ones are closed and their sessions
    // removed, which brings the shared pipeline (and the camera) down.
    g_source_destroy(source);
    g_source_unref(source);
    gst_rtsp_server_client_filter(server.get(), closeClient, nullptr);
    GObjectPtr<GstRTSPSessionPool> sessions(gst_rtsp_server_get_session_pool(server.get()));
    gst_rtsp_session_pool_filter(sessions.get(), removeSession, nullptr);
    g_main_loop_unref(loop);
    sessions.reset();
    mounts.reset();
    auth.reset();
    server.reset();
    gst_rtsp_thread_pool_cleanup();
    std::fprintf(stderr, "qdx-rtsp: stopped\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    std::string why;
    if (!qdx::rtsp::parseOptions(argc, argv, options, why)) {
        std::fprintf(stderr, "qdx-rtsp: %s\nTry 'qdx-rtsp --help'.\n", why.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(qdx::rtsp::usage(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("%s\n", qdx::viewer::versionLine("qdx-rtsp").c_str());
        return 0;
    }

    GObjectPtr<GInetAddress> address(g_inet_address_new_from_string(options.bind.c_str()));
    if (!address)
        return fail("--bind " + options.bind + ": not a numeric IPv4 or IPv6 address", 2);
    // Beyond this machine only to those who authenticate.
    if (!g_inet_address_get_is_loopback(address.get()) && options.credentials.empty())
        return fail("--bind " + options.bind +
                        ": refusing to serve beyond loopback without --credentials FILE "
                        "(anyone who reaches the port could watch the camera)",
                    2);
    std::vector<qdx::rtsp::Credential> users;
    if (!options.credentials.empty()) {
        std::string text;
        if (!qdx::rtsp::readOwnerOnlyFile(options.credentials, kMaxSecretBytes, text, why) ||
            !qdx::rtsp::parseCredentials(options.credentials, text, users, why))
            return fail(why, 1);
    }

    gst_init(nullptr, nullptr);
    const int status = serve(options, address.get(), users);
    address.reset();
    gst_deinit();
    return status;
}
