#include "lifecycle/RequestObserver.h"

#include <mutex>

namespace qdx {
namespace {

static_assert(QDX_REQUEST_DEVICE_INFO == request::kDeviceInfo && QDX_REQUEST_FORMAT_INFO == request::kFormatInfo &&
              QDX_REQUEST_DEVICE_STATUS == request::kDeviceStatus &&
              QDX_REQUEST_DEVICE_CONTROL == request::kDeviceControl && QDX_REQUEST_I2C_READ == request::kI2CRead &&
              QDX_REQUEST_I2C_WRITE == request::kI2CWrite && QDX_REQUEST_MEMORY_READ == request::kMemoryRead &&
              QDX_REQUEST_MEMORY_WRITE == request::kMemoryWrite &&
              QDX_REQUEST_REGISTER_READ == request::kRegisterRead &&
              QDX_REQUEST_REGISTER_WRITE == request::kRegisterWrite);
static_assert(QDX_DEVSTATUS_FX2_MEMORY_STATE == status::kFx2MemoryState &&
              QDX_DEVSTATUS_CIS_MEMORY_STATE == status::kCisMemoryState && QDX_MEMORY_READY == int{kMemoryReady} &&
              QDX_MEMORY_BUSY == int{kMemoryBusy} && QDX_MEMORY_ERROR == int{kMemoryError} &&
              QDX_MEMORY_ABSENT == int{kMemoryAbsent});

// This thread is inside the observer: its own requests are not reported, and
// it may not set another (the lock it holds would never be given up).
thread_local bool insideObserver = false;

struct Inside {
    Inside() { insideObserver = true; }
    ~Inside() { insideObserver = false; }
};

}  // namespace

bool RequestObserver::set(QDX_REQUEST_OBSERVER observer, void* context)
{
    if (insideObserver)
        return false;
    std::unique_lock lock(mutex_);
    observer_ = observer;
    context_ = context;
    return true;
}

void RequestObserver::report(const SetupPacket& setup, const uint8_t* data, bool ok)
{
    if (insideObserver)
        return;
    std::shared_lock lock(mutex_);
    if (!observer_)
        return;
    const bool hasData = setup.wLength > 0 && (!setup.isDeviceToHost() || ok);
    const QDX_REQUEST request{setup.bmRequestType, setup.bRequest, setup.wValue, setup.wIndex, setup.wLength,
                              hasData ? data : nullptr, ok ? QDX_OK : QDX_ERR_TRANSFER};
    const Inside inside;
    observer_(&request, context_);
}

bool StatusObserver::set(QDX_STATUS_OBSERVER observer, void* context)
{
    if (insideObserver)
        return false;
    std::unique_lock lock(mutex_);
    observer_ = observer;
    context_ = context;
    return true;
}

void StatusObserver::report(int status)
{
    std::shared_lock lock(mutex_);
    if (!observer_)
        return;
    const Inside inside;
    observer_(status, context_);
}

}  // namespace qdx
