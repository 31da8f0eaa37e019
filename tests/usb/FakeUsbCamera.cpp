#include "usb/FakeUsbCamera.h"

#include <sys/ioctl.h>
#include <umockdev.h>

#include <linux/usbdevice_fs.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <utility>

#include "TestPattern.h"
#include "protocol/FrameFormat.h"

namespace qdx::test::usb {

namespace {

// What a current kernel reports; without scatter-gather and no packet-size
// limit libusb would split a 1 MiB read into 16 KiB URBs.
constexpr uint32_t kCapabilities = USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_BULK_CONTINUATION |
                                   USBDEVFS_CAP_NO_PACKET_SIZE_LIM | USBDEVFS_CAP_REAP_AFTER_DISCONNECT |
                                   USBDEVFS_CAP_ZERO_PACKET;

constexpr uint8_t kGetDescriptor = 0x06;
constexpr uint8_t kDescriptorDevice = 0x01;
constexpr uint8_t kDescriptorConfiguration = 0x02;
constexpr uint8_t kDescriptorString = 0x03;
constexpr uint8_t kDescriptorBos = 0x0F;
constexpr uint8_t kOsStringIndex = 0xEE;
constexpr uint16_t kMsOs20SetIndex = 7;
constexpr uint16_t kMsOs10PropertiesIndex = 5;
constexpr uint8_t kVendorInInterface = 0xC1;

// A reference to umockdev's view of client memory, released on scope exit.
class Data {
public:
    explicit Data(UMockdevIoctlData* data) : data_(data) {}
    ~Data()
    {
        if (data_)
            g_object_unref(data_);
    }
    Data(const Data&) = delete;
    Data& operator=(const Data&) = delete;

    UMockdevIoctlData* get() const { return data_; }
    UMockdevIoctlData* release() { return std::exchange(data_, nullptr); }
    explicit operator bool() const { return data_ != nullptr; }
    template <typename T>
    T* as() const
    {
        return reinterpret_cast<T*>(data_->data);
    }

private:
    UMockdevIoctlData* data_;
};

// Copies length bytes at the pointer stored at offset inside parent from the
// client; changes are written back when the ioctl completes.
UMockdevIoctlData* resolve(UMockdevIoctlData* parent, std::size_t offset, std::size_t length)
{
    GError* error = nullptr;
    UMockdevIoctlData* data = umockdev_ioctl_data_resolve(parent, offset, length, &error);
    if (error) {
        std::fprintf(stderr, "fake camera: cannot read client memory: %s\n", error->message);
        g_error_free(error);
    }
    return data;
}

void complete(UMockdevIoctlClient* client, long result, int error)
{
    umockdev_ioctl_client_complete(client, result, error);
}

SetupPacket parseSetup(const std::array<uint8_t, 8>& bytes)
{
    return {bytes[0], bytes[1], static_cast<uint16_t>(bytes[2] | bytes[3] << 8),
            static_cast<uint16_t>(bytes[4] | bytes[5] << 8), static_cast<uint16_t>(bytes[6] | bytes[7] << 8)};
}

// A descriptor request answers at most wLength bytes of the descriptor.
bool answerWith(const Bytes& descriptor, std::vector<uint8_t>& data)
{
    const auto length = static_cast<std::ptrdiff_t>(std::min(descriptor.size(), data.size()));
    data.assign(descriptor.begin(), descriptor.begin() + length);
    return true;
}

}  // namespace

FakeUsbCamera::FakeUsbCamera(const DeviceDescription& description, int address)
    : description_(description),
      address_(address),
      descriptors_(deviceDescriptors({description.vendor, description.product,
                                      static_cast<uint16_t>(description.msOs20Guid.empty() ? 0x0200 : 0x0210),
                                      description.interfaceClass, description.isochronousEndpoint})),
      model_(std::string()),
      heldElsewhere_(description.heldElsewhere),
      streaming_(description.streaming),
      interval_(description.frameInterval),
      runStart_(Clock::now()),
      frame_(kFrameBytes)
{
}

FakeUsbCamera::~FakeUsbCamera()
{
    for (const Urb& urb : urbs_) {
        g_object_unref(urb.data);
        g_object_unref(urb.client);
    }
}

std::string FakeUsbCamera::node() const
{
    char path[32];
    std::snprintf(path, sizeof path, "/dev/bus/usb/001/%03d", address_);
    return path;
}

std::string FakeUsbCamera::sysPath() const
{
    return "/sys/devices/usb1/1-" + std::to_string(description_.port);
}

std::string FakeUsbCamera::udevRecord() const
{
    char address[8];
    std::snprintf(address, sizeof address, "%03d", address_);
    std::string hex;
    for (const uint8_t b : descriptors_) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", b);
        hex += pair;
    }
    char product[24];
    std::snprintf(product, sizeof product, "%x/%x/100", description_.vendor, description_.product);
    // Attribute values are C-escaped: "\\n" is the newline sysfs ends them with.
    return "P: /devices/usb1/1-" + std::to_string(description_.port) + "\n" + "N: bus/usb/001/" + address + "\n" +
           "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nE: DRIVER=usb\n" + "E: PRODUCT=" + product + "\n" +
           "E: BUSNUM=001\nE: DEVNUM=" + address + "\nE: DEVNAME=/dev/bus/usb/001/" + address + "\n" +
           "A: busnum=1\\n\nA: devnum=" + std::to_string(address_) + "\\n\n" +
           "A: speed=480\\n\nA: bConfigurationValue=1\\n\n" + "H: descriptors=" + hex + "\n";
}

// --- Test side ---------------------------------------------------------------

void FakeUsbCamera::startStreaming(int count)
{
    {
        std::lock_guard lock(mutex_);
        streaming_ = true;
        framesLeft_ = count;
        runStart_ = Clock::now();
        nextFrame_ = 0;
        sentInRun_ = 0;
    }
    changed_.notify_all();
}

void FakeUsbCamera::stopStreaming()
{
    std::lock_guard lock(mutex_);
    streaming_ = false;
}

void FakeUsbCamera::sendShortFrame(std::size_t bytes)
{
    {
        std::lock_guard lock(mutex_);
        injected_.push_back({bytes, false});
    }
    changed_.notify_all();
}

void FakeUsbCamera::sendDamagedFrame()
{
    {
        std::lock_guard lock(mutex_);
        injected_.push_back({kFrameBytes, true});
    }
    changed_.notify_all();
}

void FakeUsbCamera::holdControlRequests(bool hold)
{
    {
        std::lock_guard lock(mutex_);
        holdControl_ = hold;
    }
    changed_.notify_all();
}

void FakeUsbCamera::injectControlFault(ControlFault fault)
{
    std::lock_guard lock(mutex_);
    fault_ = fault;
}

std::vector<ControlExchange> FakeUsbCamera::controlLog() const
{
    std::lock_guard lock(mutex_);
    return log_;
}

std::vector<ControlExchange> FakeUsbCamera::cameraRequests() const
{
    std::lock_guard lock(mutex_);
    std::vector<ControlExchange> requests;
    std::copy_if(log_.begin(), log_.end(), std::back_inserter(requests),
                 [](const ControlExchange& e) { return e.isCameraRequest(); });
    return requests;
}

std::vector<BulkEvent> FakeUsbCamera::bulkEvents() const
{
    std::lock_guard lock(mutex_);
    return bulkEvents_;
}

StreamCounters FakeUsbCamera::counters() const
{
    std::lock_guard lock(mutex_);
    return counters_;
}

int FakeUsbCamera::opens() const
{
    std::lock_guard lock(mutex_);
    return opens_;
}

int FakeUsbCamera::claims() const
{
    std::lock_guard lock(mutex_);
    return claims_;
}

int FakeUsbCamera::releases() const
{
    std::lock_guard lock(mutex_);
    return releases_;
}

sim::FrameSettings FakeUsbCamera::frameSettings() const
{
    std::lock_guard lock(mutex_);
    return model_.frameSettings();
}

std::vector<std::string> FakeUsbCamera::unexpectedIoctls() const
{
    std::lock_guard lock(mutex_);
    return unexpected_;
}

// --- Bus side ----------------------------------------------------------------

void FakeUsbCamera::disconnect()
{
    {
        std::lock_guard lock(mutex_);
        gone_ = true;
        advance(Clock::now());
    }
    changed_.notify_all();
}

void FakeUsbCamera::clientConnected()
{
    std::lock_guard lock(mutex_);
    ++opens_;
}

void FakeUsbCamera::handleIoctl(UMockdevIoctlClient* client)
{
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    Lock lock(mutex_);

    // After a disconnect the kernel still hands out the URBs it failed.
    if (request == USBDEVFS_REAPURBNDELAY) {
        reap(lock, client, arg);
        return;
    }
    if (gone_) {
        complete(client, -1, ENODEV);
        return;
    }
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        const Data caps(resolve(arg, 0, sizeof(uint32_t)));
        if (!caps)
            return unexpected(client, "GET_CAPABILITIES without a result pointer");
        *caps.as<uint32_t>() = kCapabilities;
        complete(client, 0, 0);
        return;
    }
    case USBDEVFS_CLAIMINTERFACE: {
        const Data interface(resolve(arg, 0, sizeof(unsigned)));
        if (!interface)
            return unexpected(client, "CLAIMINTERFACE without an interface");
        claim(client, *interface.as<unsigned>());
        return;
    }
    // libusb claims this way when asked to detach kernel drivers automatically.
    case USBDEVFS_DISCONNECT_CLAIM: {
        const Data claimRequest(resolve(arg, 0, sizeof(usbdevfs_disconnect_claim)));
        if (!claimRequest)
            return unexpected(client, "DISCONNECT_CLAIM without its record");
        claim(client, claimRequest.as<usbdevfs_disconnect_claim>()->interface);
        return;
    }
    case USBDEVFS_RELEASEINTERFACE:
        release(client, arg);
        return;
    // After a release with automatic detaching, libusb asks the kernel to
    // bind a driver again; there is none for a vendor-specific interface.
    case USBDEVFS_IOCTL: {
        const Data command(resolve(arg, 0, sizeof(usbdevfs_ioctl)));
        if (command && command.as<usbdevfs_ioctl>()->ioctl_code == static_cast<int>(USBDEVFS_CONNECT)) {
            complete(client, 0, 0);
            return;
        }
        return unexpected(client, "USBDEVFS_IOCTL other than CONNECT");
    }
    case USBDEVFS_SUBMITURB:
        submit(client, arg);
        return;
    case USBDEVFS_DISCARDURB:
        discard(client, arg);
        return;
    default: {
        char what[48];
        std::snprintf(what, sizeof what, "ioctl 0x%lx", request);
        unexpected(client, what);
        return;
    }
    }
}

void FakeUsbCamera::unexpected(UMockdevIoctlClient* client, const std::string& what)
{
    unexpected_.push_back(node() + ": " + what);
    complete(client, -1, ENOTTY);
}

void FakeUsbCamera::holdElsewhere(bool held)
{
    std::lock_guard lock(mutex_);
    heldElsewhere_ = held;
}

void FakeUsbCamera::claim(UMockdevIoctlClient* client, unsigned interface)
{
    if (interface != 0) {
        complete(client, -1, ENOENT);
        return;
    }
    if (heldElsewhere_) {
        complete(client, -1, EBUSY);
        return;
    }
    ++claims_;
    complete(client, 0, 0);
}

void FakeUsbCamera::release(UMockdevIoctlClient* client, UMockdevIoctlData* arg)
{
    const Data interface(resolve(arg, 0, sizeof(unsigned)));
    if (!interface || *interface.as<unsigned>() != 0) {
        complete(client, -1, EINVAL);
        return;
    }
    ++releases_;
    complete(client, 0, 0);
}

void FakeUsbCamera::submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg)
{
    Data data(resolve(arg, 0, sizeof(usbdevfs_urb)));
    if (!data)
        return unexpected(client, "SUBMITURB without a URB");
    const auto* submitted = data.as<usbdevfs_urb>();
    const auto now = Clock::now();

    Urb urb;
    urb.clientAddress = data.get()->client_addr;
    urb.submitted = now;
    urb.bufferLength = submitted->buffer_length;

    if (submitted->type == USBDEVFS_URB_TYPE_CONTROL) {
        if (submitted->buffer_length < 8)
            return unexpected(client, "control URB shorter than its setup packet");
        const Data buffer(resolve(data.get(), offsetof(usbdevfs_urb, buffer),
                                  static_cast<std::size_t>(submitted->buffer_length)));
        if (!buffer)
            return unexpected(client, "control URB without a buffer");
        ControlExchange exchange;
        std::copy_n(buffer.get()->data, 8, exchange.setup.begin());
        const SetupPacket setup = parseSetup(exchange.setup);
        const auto length =
            std::min<std::size_t>(setup.wLength, static_cast<std::size_t>(submitted->buffer_length - 8));
        if (!setup.isDeviceToHost())
            exchange.dataOut.assign(buffer.get()->data + 8, buffer.get()->data + 8 + length);
        urb.control = true;
        urb.logIndex = log_.size();
        log_.push_back(exchange);
    } else if (submitted->type == USBDEVFS_URB_TYPE_BULK && submitted->endpoint == kBulkInEndpoint) {
        bulkEvents_.push_back({BulkEventKind::Submitted, now, static_cast<std::size_t>(submitted->buffer_length)});
        ++counters_.submitted;
    } else {
        char what[64];
        std::snprintf(what, sizeof what, "URB of type %d on endpoint 0x%02x", submitted->type, submitted->endpoint);
        return unexpected(client, what);
    }

    urb.data = data.release();
    urb.client = UMOCKDEV_IOCTL_CLIENT(g_object_ref(client));
    urbs_.push_back(std::move(urb));
    if (urbs_.back().control && !holdControl_)
        answerControl(urbs_.back(), now);
    complete(client, 0, 0);
}

void FakeUsbCamera::reap(Lock& lock, UMockdevIoctlClient* client, UMockdevIoctlData* arg)
{
    const auto nextDone = [&]() -> std::deque<Urb>::iterator {
        advance(Clock::now());
        auto found = urbs_.end();
        for (auto it = urbs_.begin(); it != urbs_.end(); ++it)
            if (it->done && it->client == client && (found == urbs_.end() || it->doneOrder < found->doneOrder))
                found = it;
        return found;
    };

    auto urb = nextDone();
    if (urb == urbs_.end() && !gone_ && description_.idleReapWait.count() > 0) {
        changed_.wait_until(lock, std::min(Clock::now() + description_.idleReapWait, nextFrameDue()));
        urb = nextDone();
    }
    if (urb == urbs_.end()) {
        complete(client, -1, gone_ ? ENODEV : EAGAIN);
        return;
    }

    auto* reaped = reinterpret_cast<usbdevfs_urb*>(urb->data->data);
    reaped->status = urb->status;
    reaped->actual_length = urb->status == 0 ? static_cast<int>(urb->payload.size()) : 0;
    if (urb->control && urb->status == 0 && !setupOf(*urb).isDeviceToHost())
        reaped->actual_length = static_cast<int>(log_[urb->logIndex].dataOut.size()) - urb->shortBy;
    if (!urb->payload.empty()) {
        // The data stage of a control transfer follows the setup packet.
        const std::size_t offset = urb->control ? 8 : 0;
        const Data buffer(resolve(urb->data, offsetof(usbdevfs_urb, buffer), offset + urb->payload.size()));
        if (buffer)
            std::copy(urb->payload.begin(), urb->payload.end(), buffer.get()->data + offset);
    }
    const Data pointer(resolve(arg, 0, sizeof(void*)));
    if (!pointer)
        return unexpected(client, "REAPURBNDELAY without a result pointer");
    umockdev_ioctl_data_set_ptr(pointer.get(), 0, urb->data);
    complete(client, 0, 0);

    g_object_unref(urb->data);
    g_object_unref(urb->client);
    urbs_.erase(urb);
}

void FakeUsbCamera::discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg)
{
    // The ioctl's argument is the URB's address itself.
    const unsigned long address = *reinterpret_cast<const unsigned long*>(arg->data);
    for (Urb& urb : urbs_) {
        if (urb.client == client && urb.clientAddress == address && !urb.done) {
            finish(urb, -ENOENT);
            complete(client, 0, 0);
            return;
        }
    }
    // Completed already: the kernel cannot unlink it any more.
    complete(client, -1, EINVAL);
}

// --- The device's behaviour --------------------------------------------------

void FakeUsbCamera::advance(Clock::time_point now)
{
    for (Urb& urb : urbs_) {
        if (urb.done)
            continue;
        if (gone_)
            finish(urb, -ENODEV);
        else if (urb.control && !holdControl_)
            answerControl(urb, now);
    }
    if (!gone_)
        deliverFrames(now);
}

SetupPacket FakeUsbCamera::setupOf(const Urb& urb) const
{
    return parseSetup(log_[urb.logIndex].setup);
}

void FakeUsbCamera::answerControl(Urb& urb, Clock::time_point now)
{
    ControlExchange& exchange = log_[urb.logIndex];
    const SetupPacket setup = parseSetup(exchange.setup);
    std::vector<uint8_t> data = setup.isDeviceToHost() ? std::vector<uint8_t>(setup.wLength) : exchange.dataOut;

    bool ok = false;
    switch (setup.bmRequestType & 0x60) {
    case 0x00:
        ok = answerStandard(setup, data);
        break;
    case 0x40:
        ok = answerVendor(setup, data, now);
        break;
    default:
        break;
    }
    if (ok && fault_ && exchange.isCameraRequest()) {
        if (*fault_ == ControlFault::Stall)
            ok = false;
        else if (setup.isDeviceToHost())
            data.resize(data.empty() ? 0 : data.size() - 1);
        else
            urb.shortBy = data.empty() ? 0 : 1;
        fault_.reset();
    }
    if (!ok) {
        finish(urb, -EPIPE);
        return;
    }
    if (setup.isDeviceToHost()) {
        exchange.dataIn = data;
        urb.payload = std::move(data);
    }
    finish(urb, 0);
}

bool FakeUsbCamera::answerStandard(const SetupPacket& setup, std::vector<uint8_t>& data)
{
    if (setup.bmRequestType != 0x80 || setup.bRequest != kGetDescriptor)
        return false;
    const auto type = static_cast<uint8_t>(setup.wValue >> 8);
    const auto index = static_cast<uint8_t>(setup.wValue & 0xFF);
    switch (type) {
    case kDescriptorDevice:
        return answerWith(Bytes(descriptors_.begin(), descriptors_.begin() + 18), data);
    case kDescriptorConfiguration:
        return answerWith(Bytes(descriptors_.begin() + 18, descriptors_.end()), data);
    case kDescriptorBos:
        return !description_.msOs20Guid.empty() &&
               answerWith(msOs20Bos(static_cast<uint16_t>(msOs20DescriptorSet(description_.msOs20Guid).size())), data);
    case kDescriptorString:
        return index == kOsStringIndex && !description_.msOs10Guid.empty() && answerWith(msOs10String(), data);
    default:
        return false;
    }
}

bool FakeUsbCamera::answerVendor(const SetupPacket& setup, std::vector<uint8_t>& data, Clock::time_point now)
{
    if (!description_.msOs20Guid.empty() && setup.bRequest == kMsOs20VendorCode)
        return setup.bmRequestType == kVendorIn && setup.wIndex == kMsOs20SetIndex &&
               answerWith(msOs20DescriptorSet(description_.msOs20Guid), data);
    // Extended properties are an interface request: wValue names interface 0, page 0.
    if (!description_.msOs10Guid.empty() && setup.bRequest == kMsOs10VendorCode)
        return setup.bmRequestType == kVendorInInterface && setup.wIndex == kMsOs10PropertiesIndex &&
               setup.wValue == 0 && answerWith(msOs10ExtendedProperties(description_.msOs10Guid), data);
    if (setup.bRequest < request::kDeviceInfo || setup.bRequest > request::kRegisterWrite)
        return false;
    data.resize(setup.wLength);
    return model_.handleControl(setup, data.data(), now);
}

FakeUsbCamera::Urb* FakeUsbCamera::oldestPendingBulk()
{
    for (Urb& urb : urbs_)
        if (!urb.control && !urb.done)
            return &urb;
    return nullptr;
}

Clock::time_point FakeUsbCamera::nextFrameDue() const
{
    const bool pending = std::any_of(urbs_.begin(), urbs_.end(), [](const Urb& u) { return !u.control && !u.done; });
    if (!pending || !streaming_ || framesLeft_ == 0 || interval_.count() <= 0)
        return Clock::time_point::max();
    return runStart_ + nextFrame_ * interval_;
}

void FakeUsbCamera::deliverFrames(Clock::time_point now)
{
    while (Urb* urb = oldestPendingBulk()) {
        std::size_t length = std::min(description_.frameBytes, kFrameBytes);
        bool badMarker = false;
        if (!injected_.empty()) {
            length = std::min(injected_.front().bytes, kFrameBytes);
            badMarker = injected_.front().badMarker;
            injected_.pop_front();
        } else {
            if (!streaming_ || framesLeft_ == 0)
                return;
            if (interval_.count() > 0) {
                // The first frame to start after the read was submitted; the
                // ones that started before it found no read and were lost.
                const auto since = std::chrono::duration_cast<std::chrono::nanoseconds>(urb->submitted - runStart_);
                const auto step = std::chrono::duration_cast<std::chrono::nanoseconds>(interval_);
                const int64_t first = since.count() <= 0 ? 0 : (since.count() + step.count() - 1) / step.count();
                if (first > nextFrame_) {
                    if (sentInRun_ > 0)
                        counters_.lostStarts += static_cast<uint64_t>(first - nextFrame_);
                    nextFrame_ = first;
                }
                if (now < runStart_ + nextFrame_ * interval_)
                    return;
            }
            ++nextFrame_;
            ++sentInRun_;
            if (framesLeft_ > 0)
                --framesLeft_;
        }

        sim::renderTestPattern(model_.frameSettings(), sequence_++, frame_.data());
        length = std::min(length, static_cast<std::size_t>(std::max(urb->bufferLength, 0)));
        // A short transfer is the end of a frame, as when reading starts mid-frame.
        urb->payload.assign(frame_.end() - static_cast<std::ptrdiff_t>(length), frame_.end());
        if (badMarker && !urb->payload.empty())
            urb->payload.back() ^= 0xFF;
        if (length < kFrameBytes)
            ++counters_.shortFrames;
        else
            ++counters_.frames;
        counters_.bytes += length;
        finish(*urb, 0);
    }
}

void FakeUsbCamera::finish(Urb& urb, int status)
{
    urb.done = true;
    urb.doneOrder = ++doneCount_;
    urb.status = status;
    if (status != 0)
        urb.payload.clear();
    if (urb.control) {
        log_[urb.logIndex].status = status;
        log_[urb.logIndex].answered = true;
        return;
    }
    const auto now = Clock::now();
    if (status == 0) {
        bulkEvents_.push_back({BulkEventKind::Completed, now, urb.payload.size()});
    } else if (status == -ENOENT) {
        bulkEvents_.push_back({BulkEventKind::Discarded, now, 0});
        ++counters_.discarded;
    } else {
        bulkEvents_.push_back({BulkEventKind::Failed, now, 0});
    }
}

}  // namespace qdx::test::usb
