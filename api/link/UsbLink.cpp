// libusb backend of the link: finds the camera by its configured VID:PID or by
// the device-interface GUID in its Microsoft OS descriptors, claims interface 0
// and reads frames from its bulk-IN endpoint.
#include <libusb.h>

#include <algorithm>
#include <array>
#include <climits>
#include <compare>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <span>
#include <thread>
#include <utility>
#include <vector>

#include "link/DeviceIds.h"
#include "link/Link.h"
#include "link/MsOsDescriptors.h"

namespace qdx {

namespace {

constexpr int kCameraInterface = 0;
constexpr uint8_t kVendorSpecificClass = 0xFF;
constexpr uint16_t kFirstUsbWithBos = 0x0201;

// How long one wait for USB events may sleep before a bulk read looks at its
// limit and keep-reading flag again; interruptRead() cuts it short.
constexpr std::chrono::milliseconds kEventSlice{20};
// Probing runs on the connection thread; an unresponsive device must not hold it long.
constexpr std::chrono::milliseconds kProbeTimeout{1000};
// udev may grant access a moment after the device node appears: a probe that
// cannot open the device is retried for about two seconds of quick retries.
constexpr int kProbeOpenAttempts = 40;

constexpr uint8_t kStandardIn = 0x80;         // device-to-host, standard, device
constexpr uint8_t kVendorInInterface = 0xC1;  // device-to-host, vendor, interface

unsigned int milliseconds(std::chrono::milliseconds duration)
{
    return static_cast<unsigned int>(duration.count());
}

// Where a device sits: bus, port path and address. The address is new on every
// plug-in, so an equal location means the same plug-in of the same device.
// Ordered by bus and port path so that "the first camera" does not depend on
// the order in which libusb happens to list devices.
struct DeviceLocation {
    uint8_t bus = 0;
    std::array<uint8_t, 7> ports{};  // USB allows at most 7 tiers of hubs
    uint8_t portCount = 0;
    uint8_t address = 0;

    auto operator<=>(const DeviceLocation&) const = default;
};

DeviceLocation locationOf(libusb_device* device)
{
    DeviceLocation location;
    location.bus = libusb_get_bus_number(device);
    location.address = libusb_get_device_address(device);
    const int count = libusb_get_port_numbers(device, location.ports.data(), static_cast<int>(location.ports.size()));
    location.portCount = static_cast<uint8_t>(std::max(count, 0));
    return location;
}

// libusb_get_device_list() with its release; an empty list when enumeration failed.
class DeviceList {
public:
    explicit DeviceList(libusb_context* context)
    {
        const ssize_t count = libusb_get_device_list(context, &list_);
        if (count < 0)
            list_ = nullptr;
        else
            count_ = static_cast<std::size_t>(count);
    }
    ~DeviceList()
    {
        if (list_)
            libusb_free_device_list(list_, 1);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;

    bool enumerated() const { return list_ != nullptr; }
    std::span<libusb_device* const> devices() const { return {list_, count_}; }

private:
    libusb_device** list_ = nullptr;
    std::size_t count_ = 0;
};

struct ConfigDescriptorFree {
    void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};
using ConfigDescriptor = std::unique_ptr<libusb_config_descriptor, ConfigDescriptorFree>;

// The active configuration, or the first one when the device is not configured.
ConfigDescriptor configurationOf(libusb_device* device)
{
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS &&
        libusb_get_config_descriptor(device, 0, &config) != LIBUSB_SUCCESS)
        return nullptr;
    return ConfigDescriptor(config);
}

struct HandleClose {
    void operator()(libusb_device_handle* handle) const { libusb_close(handle); }
};
using ProbeHandle = std::unique_ptr<libusb_device_handle, HandleClose>;

bool hasVendorSpecificInterface(libusb_device* device)
{
    const ConfigDescriptor config = configurationOf(device);
    if (!config)
        return false;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int alt = 0; alt < interface.num_altsetting; ++alt)
            if (interface.altsetting[alt].bInterfaceClass == kVendorSpecificClass)
                return true;
    }
    return false;
}

// One device-to-host control request during a probe: the bytes that came back,
// none when it failed.
std::vector<uint8_t> probeRead(libusb_device_handle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                               uint16_t index, uint16_t length)
{
    std::vector<uint8_t> bytes(length);
    const int moved = libusb_control_transfer(handle, requestType, request, value, index, bytes.data(), length,
                                              milliseconds(kProbeTimeout));
    bytes.resize(moved > 0 ? static_cast<std::size_t>(moved) : 0);
    return bytes;
}

std::vector<uint8_t> readDescriptor(libusb_device_handle* handle, uint8_t type, uint8_t index, uint16_t length)
{
    return probeRead(handle, kStandardIn, LIBUSB_REQUEST_GET_DESCRIPTOR, static_cast<uint16_t>((type << 8) | index),
                     0, length);
}

bool msOs20NamesCamera(libusb_device_handle* handle)
{
    const auto total = msos::bosTotalLength(readDescriptor(handle, LIBUSB_DT_BOS, 0, msos::kBosHeaderLength));
    if (!total)
        return false;
    for (const auto& set : msos::msOs20DescriptorSets(readDescriptor(handle, LIBUSB_DT_BOS, 0, *total))) {
        const auto bytes = probeRead(handle, kVendorIn, set.vendorCode, 0, msos::kDescriptorSetIndex, set.totalLength);
        if (msos::descriptorSetNamesCamera(bytes))
            return true;
    }
    return false;
}

bool msOs10NamesCamera(libusb_device_handle* handle)
{
    const auto vendorCode =
        msos::osStringVendorCode(readDescriptor(handle, LIBUSB_DT_STRING, msos::kOsStringIndex, msos::kOsStringLength));
    if (!vendorCode)
        return false;
    // The request is addressed to the interface; some firmware answers it only
    // when addressed to the device. wValue: interface 0, page 0.
    for (const uint8_t requestType : {kVendorInInterface, kVendorIn}) {
        const auto length = msos::extendedPropertiesLength(probeRead(
            handle, requestType, *vendorCode, 0, msos::kExtendedPropertiesIndex, msos::kExtendedPropertiesHeaderLength));
        if (!length)
            continue;
        const auto request = static_cast<uint16_t>(std::min<uint32_t>(*length, UINT16_MAX));
        return msos::extendedPropertiesNameCamera(
            probeRead(handle, requestType, *vendorCode, 0, msos::kExtendedPropertiesIndex, request));
    }
    return false;
}

// Completion of the bulk transfer in flight. The callback runs on whichever
// thread is handling libusb events at the time, possibly not the reader.
struct ReadCompletion {
    int libusbCompleted = 0;        // for libusb_handle_events_timeout_completed(), read under libusb's locks
    std::atomic<bool> done{false};  // for the reader's own loop
};

void LIBUSB_CALL onReadDone(libusb_transfer* transfer)
{
    auto* completion = static_cast<ReadCompletion*>(transfer->user_data);
    completion->libusbCompleted = 1;
    completion->done.store(true, std::memory_order_release);
}

class UsbLink final : public Link {
public:
    UsbLink();
    ~UsbLink() override;
    UsbLink(const UsbLink&) = delete;
    UsbLink& operator=(const UsbLink&) = delete;

    OpenResult open() override;
    void close() override;
    bool isOpen() const override;
    bool isOpenDevicePresent() override;
    bool controlTransfer(const SetupPacket& setup, uint8_t* data) override;
    ReadResult bulkRead(uint8_t* buffer, std::size_t size, std::size_t& received, std::chrono::milliseconds limit,
                        const std::atomic<bool>& keepReading) override;
    void interruptRead() override;
    DeviceProblem problem() const override { return problems_.current(); }
    bool waitForBusChange(std::chrono::milliseconds limit) override;
    void wakeBusWait() override;
    bool retryOpenSoon() const override { return retrySoon_; }

private:
    struct ProbeVerdict {
        bool decided = false;
        bool camera = false;
        int failedOpens = 0;
    };

    libusb_context* context();
    void watchBus(libusb_context* ctx);
    static int LIBUSB_CALL onHotplug(libusb_context* ctx, libusb_device* device, libusb_hotplug_event event,
                                     void* self);
    void markGone();
    bool isCamera(libusb_device* device, const DeviceLocation& location);
    bool probe(libusb_device* device, ProbeVerdict& verdict);
    void forgetDepartedDevices(const DeviceList& list);
    OpenResult openDevice(libusb_device* device, const DeviceLocation& location, DeviceProblem& problem);
    bool waitForEvents(std::chrono::milliseconds slice, ReadCompletion& completion);
    ReadResult finishRead(bool gaveUp, std::size_t& received);

    // Created by the constructor or, if that failed, by a later open(); released
    // by the destructor. Written only by the connection thread.
    std::atomic<libusb_context*> context_{nullptr};
    // IDs that identify the camera without a probe; fixed at construction.
    const UsbIdList ids_;
    // Set with the context when libusb reports devices arriving and leaving;
    // written by the constructor or the connection thread's context().
    bool hotplug_ = false;
    // Connection thread only: the last open() found a device it could not open or probe yet.
    bool retrySoon_ = false;

    // Connection thread only: probe verdicts of devices seen, by location.
    std::map<DeviceLocation, ProbeVerdict> probed_;
    // The camera the last open attempts found but could not open.
    ProblemReport problems_;

    // Cleared by close() before it waits for handleMutex_, so that new requests
    // fail at once and cannot keep the exclusive lock from close(); set by open().
    std::atomic<bool> usable_{false};
    // Set by any thread whose transfer reported that the device is gone; cleared by open().
    std::atomic<bool> deviceGone_{false};

    // Protects handle_ and bulkIn_ against release while in use: requests and
    // bulk reads hold it shared for the whole transfer, open() and close()
    // exclusively to install and release the handle.
    std::shared_mutex handleMutex_;
    libusb_device_handle* handle_ = nullptr;
    uint8_t bulkIn_ = 0;

    // Connection thread only: the opened device, for isOpenDevicePresent().
    DeviceLocation location_;

    // Reader thread only, apart from cancellation: the one bulk transfer,
    // reused for every read; freed by the destructor.
    libusb_transfer* transfer_ = nullptr;
    // Protects transferInFlight_, so that close() either cancels a submitted
    // transfer or the reader sees usable_ cleared before it submits one.
    std::mutex transferMutex_;
    bool transferInFlight_ = false;
};

UsbLink::UsbLink()
    : ids_(configuredUsbIds())
{
    for (const auto& entry : ids_.rejected)
        std::fprintf(stderr, "QDX: ignoring malformed USB ID \"%s\" (expected vvvv:pppp, hex)\n", entry.c_str());
    libusb_context* created = nullptr;
    if (libusb_init(&created) == LIBUSB_SUCCESS) {
        context_.store(created, std::memory_order_release);
        watchBus(created);
    }
    transfer_ = libusb_alloc_transfer(0);
}

UsbLink::~UsbLink()
{
    close();
    if (transfer_)
        libusb_free_transfer(transfer_);
    if (libusb_context* created = context_.load(std::memory_order_acquire))
        libusb_exit(created);
}

libusb_context* UsbLink::context()
{
    libusb_context* current = context_.load(std::memory_order_acquire);
    if (!current && libusb_init(&current) == LIBUSB_SUCCESS) {
        context_.store(current, std::memory_order_release);
        watchBus(current);
    }
    return current;
}

// Any device, not just cameras: a camera may be known only by its probe.
// Without hotplug support the connection thread finds devices by its safety poll.
void UsbLink::watchBus(libusb_context* ctx)
{
    if (!libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
        return;
    const int events = LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT;
    hotplug_ = libusb_hotplug_register_callback(ctx, events, 0, LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                                                LIBUSB_HOTPLUG_MATCH_ANY, &UsbLink::onHotplug, this,
                                                nullptr) == LIBUSB_SUCCESS;
}

// Runs on whichever of our threads handles libusb's events; libusb_exit()
// drops the registration, and no thread handles events by then.
int LIBUSB_CALL UsbLink::onHotplug(libusb_context*, libusb_device*, libusb_hotplug_event, void* self)
{
    static_cast<UsbLink*>(self)->busChanged_.notify();
    return 0;  // stay registered
}

void UsbLink::markGone()
{
    deviceGone_.store(true, std::memory_order_release);
    busChanged_.notify();
}

bool UsbLink::waitForBusChange(std::chrono::milliseconds limit)
{
    // While a camera is open the reader thread handles libusb's events, and
    // with them the hotplug ones; otherwise no thread does, so this one
    // handles them while it waits.
    libusb_context* ctx = context_.load(std::memory_order_acquire);
    if (!ctx || !hotplug_ || isOpen())
        return busChanged_.wait(limit);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (busChanged_.take())
            return true;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= std::chrono::milliseconds::zero())
            return false;
        ReadCompletion none;
        if (!waitForEvents(left, none))
            return busChanged_.wait(left);  // never spin on a failing event loop
    }
}

void UsbLink::wakeBusWait()
{
    busChanged_.notify();
    if (libusb_context* ctx = context_.load(std::memory_order_acquire))
        libusb_interrupt_event_handler(ctx);
}

OpenResult UsbLink::open()
{
    close();
    retrySoon_ = false;
    libusb_context* ctx = context();
    if (!ctx)
        return OpenResult::NotFound;
    const DeviceList list(ctx);
    if (!list.enumerated())
        return OpenResult::NotFound;
    forgetDepartedDevices(list);

    std::vector<std::pair<DeviceLocation, libusb_device*>> devices;
    for (libusb_device* device : list.devices())
        devices.emplace_back(locationOf(device), device);
    std::sort(devices.begin(), devices.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    // A camera that cannot be opened (another program holds it, no access)
    // does not keep the library from the next one; the first refusal is
    // what problem() reports when none opens.
    OpenResult result = OpenResult::NotFound;
    DeviceProblem first;
    for (const auto& [location, device] : devices) {
        if (!isCamera(device, location))
            continue;
        DeviceProblem problem;
        const OpenResult opened = openDevice(device, location, problem);
        if (opened == OpenResult::Opened) {
            problems_.attempt({});
            return opened;
        }
        if (first.reason == AccessProblem::None && problem.reason != AccessProblem::None) {
            first = problem;
            result = opened;
        }
    }
    problems_.attempt(first);
    retrySoon_ = retrySoon_ || first.reason != AccessProblem::None;
    return result;
}

bool UsbLink::isCamera(libusb_device* device, const DeviceLocation& location)
{
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(device, &descriptor) != LIBUSB_SUCCESS)
        return false;
    if (ids_.contains({descriptor.idVendor, descriptor.idProduct}))
        return true;

    ProbeVerdict& verdict = probed_[location];
    if (!verdict.decided) {
        if (!hasVendorSpecificInterface(device)) {
            verdict.decided = true;
        } else if (probe(device, verdict)) {
            verdict.decided = true;
        } else if (++verdict.failedOpens >= kProbeOpenAttempts) {
            verdict.decided = true;
        } else {
            retrySoon_ = true;
        }
    }
    return verdict.camera;
}

// Reads the device's MS OS descriptors through a handle of its own. False when
// the device could not be opened (the verdict then stays open).
bool UsbLink::probe(libusb_device* device, ProbeVerdict& verdict)
{
    libusb_device_handle* opened = nullptr;
    if (libusb_open(device, &opened) != LIBUSB_SUCCESS)
        return false;
    const ProbeHandle handle(opened);

    libusb_device_descriptor descriptor{};
    const bool hasBos =
        libusb_get_device_descriptor(device, &descriptor) == LIBUSB_SUCCESS && descriptor.bcdUSB >= kFirstUsbWithBos;
    // Devices older than USB 2.01 have no BOS and may take the request badly.
    verdict.camera = (hasBos && msOs20NamesCamera(handle.get())) || msOs10NamesCamera(handle.get());
    return true;
}

void UsbLink::forgetDepartedDevices(const DeviceList& list)
{
    std::vector<DeviceLocation> present;
    for (libusb_device* device : list.devices())
        present.push_back(locationOf(device));
    std::erase_if(probed_, [&present](const auto& entry) {
        return std::find(present.begin(), present.end(), entry.first) == present.end();
    });
}

// Why libusb refused: the reason a person can act on.
AccessProblem problemOf(int libusbError)
{
    switch (libusbError) {
    case LIBUSB_ERROR_ACCESS:
        return AccessProblem::PermissionDenied;
    case LIBUSB_ERROR_BUSY:
        return AccessProblem::Busy;
    case LIBUSB_ERROR_NO_DEVICE:
        return AccessProblem::None;  // gone meanwhile: absent, not refused
    default:
        return AccessProblem::Other;
    }
}

OpenResult UsbLink::openDevice(libusb_device* device, const DeviceLocation& location, DeviceProblem& problem)
{
    const auto refused = [&](AccessProblem reason) {
        libusb_device_descriptor descriptor{};
        libusb_get_device_descriptor(device, &descriptor);
        char node[32];
        std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", unsigned{location.bus}, unsigned{location.address});
        problem = {reason, location.bus, location.address, descriptor.idVendor, descriptor.idProduct, node};
    };

    libusb_device_handle* handle = nullptr;
    if (const int opened = libusb_open(device, &handle); opened != LIBUSB_SUCCESS) {
        refused(problemOf(opened));
        return OpenResult::NotFound;
    }

    const auto fail = [&](bool claimed, int error) {
        if (claimed)
            libusb_release_interface(handle, kCameraInterface);
        libusb_close(handle);
        refused(problemOf(error));
        return OpenResult::SetupFailed;
    };

    // Not supported on every platform; claiming then fails if a driver holds the interface.
    libusb_set_auto_detach_kernel_driver(handle, 1);
    const ConfigDescriptor config = configurationOf(device);
    if (!config)
        return fail(false, LIBUSB_ERROR_OTHER);
    int active = 0;
    if (libusb_get_configuration(handle, &active) == LIBUSB_SUCCESS && active == 0) {
        if (const int set = libusb_set_configuration(handle, config->bConfigurationValue); set != LIBUSB_SUCCESS)
            return fail(false, set);
    }
    if (const int claimed = libusb_claim_interface(handle, kCameraInterface); claimed != LIBUSB_SUCCESS)
        return fail(false, claimed);

    const libusb_interface_descriptor* setting = nullptr;
    for (int i = 0; i < config->bNumInterfaces && !setting; ++i) {
        const libusb_interface& interface = config->interface[i];
        for (int alt = 0; alt < interface.num_altsetting; ++alt) {
            const auto& candidate = interface.altsetting[alt];
            if (candidate.bInterfaceNumber == kCameraInterface && candidate.bAlternateSetting == 0)
                setting = &candidate;
        }
    }
    if (!setting)
        return fail(true, LIBUSB_ERROR_OTHER);

    // Bulk OUT and interrupt endpoints are allowed and unused; with several
    // bulk-IN endpoints the last one carries the frames.
    std::optional<uint8_t> bulkIn;
    for (int i = 0; i < setting->bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& endpoint = setting->endpoint[i];
        switch (endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) {
        case LIBUSB_TRANSFER_TYPE_BULK:
            if (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_IN)
                bulkIn = endpoint.bEndpointAddress;
            break;
        case LIBUSB_TRANSFER_TYPE_INTERRUPT:
            break;
        default:
            return fail(true, LIBUSB_ERROR_OTHER);
        }
    }
    if (!bulkIn)
        return fail(true, LIBUSB_ERROR_OTHER);

    std::unique_lock lock(handleMutex_);
    handle_ = handle;
    bulkIn_ = *bulkIn;
    location_ = location;
    deviceGone_.store(false, std::memory_order_release);
    usable_.store(true, std::memory_order_release);
    return OpenResult::Opened;
}

void UsbLink::close()
{
    usable_.store(false, std::memory_order_release);
    {
        // A bulk read in flight comes back cancelled, so the wait below is short.
        std::lock_guard lock(transferMutex_);
        if (transferInFlight_)
            libusb_cancel_transfer(transfer_);
    }
    std::unique_lock lock(handleMutex_);
    if (!handle_)
        return;
    libusb_release_interface(handle_, kCameraInterface);
    libusb_close(handle_);
    handle_ = nullptr;
    bulkIn_ = 0;
    location_ = {};
}

bool UsbLink::isOpen() const
{
    return usable_.load(std::memory_order_acquire);
}

bool UsbLink::isOpenDevicePresent()
{
    if (!isOpen())
        return true;
    if (deviceGone_.load(std::memory_order_acquire))
        return false;
    libusb_context* ctx = context_.load(std::memory_order_acquire);
    const DeviceList list(ctx);
    // An enumeration error never reports the camera gone.
    if (!list.enumerated())
        return true;
    for (libusb_device* device : list.devices())
        if (libusb_get_bus_number(device) == location_.bus && libusb_get_device_address(device) == location_.address &&
            locationOf(device) == location_)
            return true;
    return false;
}

bool UsbLink::controlTransfer(const SetupPacket& setup, uint8_t* data)
{
    if (!usable_.load(std::memory_order_acquire) || (setup.wLength > 0 && !data))
        return false;
    std::shared_lock lock(handleMutex_);
    if (!handle_ || deviceGone_.load(std::memory_order_acquire))
        return false;
    const int moved = libusb_control_transfer(handle_, setup.bmRequestType, setup.bRequest, setup.wValue,
                                              setup.wIndex, data, setup.wLength, milliseconds(kControlTimeout));
    if (moved == LIBUSB_ERROR_NO_DEVICE)
        markGone();
    return moved == setup.wLength;
}

ReadResult UsbLink::bulkRead(uint8_t* buffer, std::size_t size, std::size_t& received,
                             std::chrono::milliseconds limit, const std::atomic<bool>& keepReading)
{
    received = 0;
    if (!usable_.load(std::memory_order_acquire) || !transfer_ || (size > 0 && !buffer))
        return ReadResult::Failed;
    if (!keepReading.load(std::memory_order_acquire) || limit <= std::chrono::milliseconds::zero())
        return ReadResult::Abandoned;

    std::shared_lock handleLock(handleMutex_);
    if (!handle_ || deviceGone_.load(std::memory_order_acquire))
        return ReadResult::Failed;

    ReadCompletion completion;
    // Reading fewer bytes than asked is within the contract; libusb counts in int.
    const auto length = static_cast<int>(std::min<std::size_t>(size, INT_MAX));
    libusb_fill_bulk_transfer(transfer_, handle_, bulkIn_, buffer, length, onReadDone, &completion, 0);
    {
        std::lock_guard lock(transferMutex_);
        if (!usable_.load(std::memory_order_acquire))
            return ReadResult::Failed;
        const int submitted = libusb_submit_transfer(transfer_);
        if (submitted != LIBUSB_SUCCESS) {
            if (submitted == LIBUSB_ERROR_NO_DEVICE)
                markGone();
            return ReadResult::Failed;
        }
        transferInFlight_ = true;
    }

    // libusb owns the buffer until the callback has run: once given up, the
    // transfer is cancelled and events are handled until it is back.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    bool gaveUp = false;
    while (!completion.done.load(std::memory_order_acquire)) {
        auto slice = kEventSlice;
        if (!gaveUp) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left <= std::chrono::milliseconds::zero() || !keepReading.load(std::memory_order_acquire)) {
                gaveUp = true;
                libusb_cancel_transfer(transfer_);
                continue;
            }
            slice = std::min(slice, left);
        }
        if (!waitForEvents(slice, completion))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // never spin on a failing event loop
    }
    {
        std::lock_guard lock(transferMutex_);
        transferInFlight_ = false;
    }
    return finishRead(gaveUp, received);
}

// Sleeps in libusb's poll (or on the thread that is handling events) for at
// most slice. False when event handling itself failed.
bool UsbLink::waitForEvents(std::chrono::milliseconds slice, ReadCompletion& completion)
{
    const auto micro = std::chrono::duration_cast<std::chrono::microseconds>(slice).count();
    timeval timeout{};
    timeout.tv_sec = static_cast<decltype(timeout.tv_sec)>(micro / 1'000'000);
    timeout.tv_usec = static_cast<decltype(timeout.tv_usec)>(micro % 1'000'000);
    const int result =
        libusb_handle_events_timeout_completed(context_.load(std::memory_order_acquire), &timeout, &completion.libusbCompleted);
    return result == LIBUSB_SUCCESS || result == LIBUSB_ERROR_INTERRUPTED || result == LIBUSB_ERROR_TIMEOUT;
}

// Called with the handle lock held shared, after the transfer came back.
ReadResult UsbLink::finishRead(bool gaveUp, std::size_t& received)
{
    switch (transfer_->status) {
    case LIBUSB_TRANSFER_COMPLETED:
        // Even when given up: the frame arrived before the cancellation did.
        received = static_cast<std::size_t>(std::max(transfer_->actual_length, 0));
        return ReadResult::Received;
    case LIBUSB_TRANSFER_NO_DEVICE:
        markGone();
        return ReadResult::Failed;
    case LIBUSB_TRANSFER_CANCELLED:
        // Not given up here means close() cancelled it: the link is going away.
        return gaveUp ? ReadResult::Abandoned : ReadResult::Failed;
    case LIBUSB_TRANSFER_STALL:
        // A halted endpoint stays halted until cleared; the next read would fail too.
        libusb_clear_halt(handle_, bulkIn_);
        return ReadResult::Failed;
    default:
        return ReadResult::Failed;
    }
}

void UsbLink::interruptRead()
{
    if (libusb_context* ctx = context_.load(std::memory_order_acquire))
        libusb_interrupt_event_handler(ctx);
}

}  // namespace

std::unique_ptr<Link> makeUsbLink()
{
    return std::make_unique<UsbLink>();
}

}  // namespace qdx
