#include "usb/EmulatedUsbBus.h"

#include <umockdev.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qdx::test::usb {

namespace {

std::string rootHubRecord()
{
    std::string hex;
    for (const uint8_t b : rootHubDescriptors()) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", b);
        hex += pair;
    }
    return "P: /devices/usb1\nN: bus/usb/001/001\n"
           "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n"
           "E: BUSNUM=001\nE: DEVNUM=001\nE: DEVNAME=/dev/bus/usb/001/001\n"
           "A: busnum=1\\n\nA: devnum=1\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\n"
           "H: descriptors=" +
           hex + "\n";
}

}  // namespace

struct EmulatedUsbBusSignals {
    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* bus = static_cast<EmulatedUsbBus*>(self);
        const char* node = umockdev_ioctl_client_get_devnode(client);
        if (FakeUsbCamera* camera = bus->cameraAt(node)) {
            camera->handleIoctl(client);
        } else {
            std::lock_guard lock(bus->mutex_);
            bus->strays_.push_back(std::string(node ? node : "?") + ": ioctl on a node of no device");
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
        }
        return TRUE;
    }

    static void onClientConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* bus = static_cast<EmulatedUsbBus*>(self);
        if (FakeUsbCamera* camera = bus->cameraAt(umockdev_ioctl_client_get_devnode(client)))
            camera->clientConnected();
    }
};

EmulatedUsbBus::EmulatedUsbBus()
{
    testbed_ = umockdev_testbed_new();
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", reinterpret_cast<GCallback>(&EmulatedUsbBusSignals::onIoctl), this);
    g_signal_connect(handler_, "client-connected",
                     reinterpret_cast<GCallback>(&EmulatedUsbBusSignals::onClientConnected), this);
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(testbed_, rootHubRecord().c_str(), &error)) {
        std::fprintf(stderr, "emulated bus: no root hub: %s\n", error ? error->message : "?");
        g_clear_error(&error);
    }
}

EmulatedUsbBus::~EmulatedUsbBus()
{
    // The test bed's worker thread calls into the cameras: it goes first.
    g_object_unref(testbed_);
    g_object_unref(handler_);
}

bool EmulatedUsbBus::emulationActive()
{
    return umockdev_in_mock_environment();
}

FakeUsbCamera& EmulatedUsbBus::plug(const DeviceDescription& description)
{
    FakeUsbCamera* camera = nullptr;
    {
        std::lock_guard lock(mutex_);
        cameras_.push_back(std::make_unique<FakeUsbCamera>(description, nextAddress_++));
        camera = cameras_.back().get();
    }
    // The handler must be in place before the device appears: libusb may
    // open it as soon as the add uevent arrives.
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed_, camera->node().c_str(), handler_, &error)) {
        std::fprintf(stderr, "emulated bus: cannot attach %s: %s\n", camera->node().c_str(),
                     error ? error->message : "?");
        g_clear_error(&error);
    }
    if (!umockdev_testbed_add_from_string(testbed_, camera->udevRecord().c_str(), &error)) {
        std::fprintf(stderr, "emulated bus: cannot add %s: %s\n", camera->sysPath().c_str(),
                     error ? error->message : "?");
        g_clear_error(&error);
    }
    return *camera;
}

void EmulatedUsbBus::unplug(FakeUsbCamera& camera)
{
    // As the kernel does it: transfers fail first, then user space hears of it.
    camera.disconnect();
    umockdev_testbed_uevent(testbed_, camera.sysPath().c_str(), "remove");
    umockdev_testbed_remove_device(testbed_, camera.sysPath().c_str());
}

void EmulatedUsbBus::setNodeMode(const FakeUsbCamera& camera, unsigned mode)
{
    gchar* root = umockdev_testbed_get_root_dir(testbed_);
    const std::string node = std::string(root) + camera.node();
    g_free(root);
    if (chmod(node.c_str(), static_cast<mode_t>(mode)) != 0)
        std::fprintf(stderr, "emulated bus: cannot chmod %s: %s\n", node.c_str(), std::strerror(errno));
}

std::vector<std::string> EmulatedUsbBus::unexpectedIoctls() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> all = strays_;
    for (const auto& camera : cameras_) {
        const auto more = camera->unexpectedIoctls();
        all.insert(all.end(), more.begin(), more.end());
    }
    return all;
}

FakeUsbCamera* EmulatedUsbBus::cameraAt(const char* node) const
{
    if (!node)
        return nullptr;
    std::lock_guard lock(mutex_);
    // A node is reused by no later camera, so the newest match is the one.
    for (auto it = cameras_.rbegin(); it != cameras_.rend(); ++it)
        if ((*it)->node() == node)
            return it->get();
    return nullptr;
}

}  // namespace qdx::test::usb

#if defined(__SANITIZE_THREAD__)
// umockdev hands work to its worker thread through glib, whose mutexes are
// futexes that ThreadSanitizer cannot see (glib is not instrumented); races
// inside those two libraries are not ours to find. The preload library and
// libusb synchronise with pthreads and sockets, which it does see. libudev
// keeps global state unguarded; only a test process has two users of it
// (umockdev sending uevents, libusb's monitor receiving them).
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libumockdev.so.0\n"
           "race:libglib-2.0.so.0\n"
           "race:libgio-2.0.so.0\n"
           "race:libgobject-2.0.so.0\n"
           "race:libudev.so.1\n";
}
#endif
